#include "parser/AacDecoderConfig.h"

#include "parser/BitReader.h"
#include "parser/EsDescriptor.h"

namespace {

// The rates that the 4-bit sampling frequency index stands for; 13 and 14 are
// reserved, and 15 means an explicit 24-bit rate follows.
constexpr uint32_t kSampleRates[13] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                       22050, 16000, 12000, 11025, 8000,  7350};
constexpr uint32_t kExplicitRateIndex = 15;

} // namespace

bool ParseAudioSpecificConfig(const BYTE* data, size_t size, AacDecoderConfig* config)
{
    *config = AacDecoderConfig();
    BitReader bits(data, size);
    uint32_t objectType = 0;
    uint32_t rateIndex = 0;
    uint32_t rate = 0;
    uint32_t channelConfiguration = 0;
    if (!bits.Read(5, &objectType))
        return false;
    if (objectType == 31 && !bits.Read(6, &objectType))
        return false;
    if (!bits.Read(4, &rateIndex))
        return false;
    if (rateIndex == kExplicitRateIndex) {
        if (!bits.Read(24, &rate))
            return false;
    } else if (rateIndex < sizeof kSampleRates / sizeof kSampleRates[0]) {
        rate = kSampleRates[rateIndex];
    }
    if (!bits.Read(4, &channelConfiguration))
        return false;
    config->sampleRate = rate;
    config->channels = channelConfiguration <= 7 ? int32_t(channelConfiguration) : 0;
    return true;
}

bool ParseAacDecoderConfig(const BYTE* esds, size_t size, AacDecoderConfig* config)
{
    *config = AacDecoderConfig();
    EsDecoderInfo info;
    return ParseEsDescriptor(esds, size, &info) && info.specificInfo &&
           ParseAudioSpecificConfig(info.specificInfo, info.specificInfoSize, config);
}
