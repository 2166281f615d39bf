#include "parser/DolbyAudioConfig.h"

#include "parser/BitReader.h"

namespace {

// The rates of the 2-bit sample rate code; 3 is reserved.
constexpr uint32_t kSampleRates[3] = {48000, 44100, 32000};
// The full-range channels of each audio coding mode (1+1, 1/0, 2/0, 3/0,
// 2/1, 3/1, 2/2, 3/2).
constexpr int32_t kModeChannels[8] = {2, 1, 2, 3, 3, 4, 4, 5};
// The AC-3 bit rates in kbit/s by the 5-bit code.
constexpr uint32_t kAc3BitRates[19] = {32,  40,  48,  56,  64,  80,  96,  112, 128, 160,
                                       192, 224, 256, 320, 384, 448, 512, 576, 640};

// The rate code, stream id, service mode, coding mode and the low-frequency
// flag, which both boxes share for each stream.
bool ReadStreamFields(BitReader& bits, bool afterStreamIdReserved, DolbyAudioConfig* config)
{
    uint32_t rateCode = 0;
    uint32_t mode = 0;
    uint32_t lowFrequency = 0;
    if (!bits.Read(2, &rateCode) || !bits.Skip(5) || (afterStreamIdReserved && !bits.Skip(2)) || !bits.Skip(3) ||
        !bits.Read(3, &mode) || !bits.Read(1, &lowFrequency) || rateCode >= 3)
        return false;
    config->sampleRate = kSampleRates[rateCode];
    config->channels = kModeChannels[mode] + int32_t(lowFrequency);
    return true;
}

} // namespace

bool ParseAc3Config(const BYTE* bytes, size_t size, DolbyAudioConfig* config)
{
    *config = DolbyAudioConfig();
    BitReader bits(bytes, size);
    uint32_t rateCode = 0;
    DolbyAudioConfig read;
    if (size < 3 || !ReadStreamFields(bits, false, &read) || !bits.Read(5, &rateCode))
        return false;
    read.bitRate = rateCode < 19 ? kAc3BitRates[rateCode] * 1000 : 0;
    *config = read;
    return true;
}

bool ParseEac3Config(const BYTE* bytes, size_t size, DolbyAudioConfig* config)
{
    *config = DolbyAudioConfig();
    BitReader bits(bytes, size);
    uint32_t dataRate = 0;
    uint32_t substreams = 0;
    DolbyAudioConfig read;
    // The data rate, the count of independent substreams less one, then the
    // first substream, whose stream id is followed by a reserved bit and the
    // audio service flag.
    if (!bits.Read(13, &dataRate) || !bits.Read(3, &substreams) || !ReadStreamFields(bits, true, &read))
        return false;
    read.bitRate = dataRate * 1000;
    *config = read;
    return true;
}
