#include "parser/MpegAudioHeader.h"

#include "parser/BitReader.h"

namespace {

// Rates of MPEG-1 by the 2-bit rate index (3 is reserved); MPEG-2 halves them
// and MPEG-2.5 quarters them.
constexpr uint32_t kMpeg1Rates[3] = {44100, 48000, 32000};

// Bit rates in kbit/s by the 4-bit index, 1 to 14 (0 is free format, 15 is
// reserved): MPEG-1 layers I, II, III, then MPEG-2/2.5 layer I, layers II/III.
constexpr uint16_t kBitRates[5][15] = {
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
};

constexpr uint32_t kVersionMpeg25 = 0;
constexpr uint32_t kVersionReserved = 1;
constexpr uint32_t kVersionMpeg1 = 3;

uint32_t FrameSize(const MpegAudioHeader& header)
{
    if (header.bitRate == 0)
        return 0;
    const uint32_t padding = header.padded ? 1 : 0;
    if (header.layer == 1)
        return (12 * header.bitRate / header.sampleRate + padding) * 4;
    // Layer III of MPEG-2 and 2.5 has 576 samples a frame, the others 1152.
    const uint32_t samplesPerEighthByte = header.layer == 3 && !header.mpeg1 ? 72 : 144;
    return samplesPerEighthByte * header.bitRate / header.sampleRate + padding;
}

} // namespace

bool ParseMpegAudioHeader(const BYTE* bytes, size_t size, MpegAudioHeader* header)
{
    *header = MpegAudioHeader();
    if (!bytes || size < 4)
        return false;
    BitReader bits(bytes, 4);
    uint32_t sync = 0, version = 0, layerCode = 0, noCrc = 0, rateIndex = 0, sampleIndex = 0, padding = 0, mode = 0;
    bits.Read(11, &sync);
    bits.Read(2, &version);
    bits.Read(2, &layerCode);
    bits.Read(1, &noCrc);
    bits.Read(4, &rateIndex);
    bits.Read(2, &sampleIndex);
    bits.Read(1, &padding);
    bits.Skip(1); // private
    bits.Read(2, &mode);
    if (sync != 0x7FF || version == kVersionReserved || layerCode == 0 || rateIndex == 15 || sampleIndex == 3)
        return false;

    MpegAudioHeader read;
    read.layer = int(4 - layerCode);
    read.mpeg1 = version == kVersionMpeg1;
    const uint32_t divisor = read.mpeg1 ? 1 : version == kVersionMpeg25 ? 4 : 2;
    read.sampleRate = kMpeg1Rates[sampleIndex] / divisor;
    const int table = read.mpeg1 ? read.layer - 1 : read.layer == 1 ? 3 : 4;
    read.bitRate = uint32_t(kBitRates[table][rateIndex]) * 1000;
    read.channelMode = int(mode);
    read.channels = mode == 3 ? 1 : 2;
    read.padded = padding != 0;
    read.crcProtected = noCrc == 0;
    read.frameSize = FrameSize(read);
    *header = read;
    return true;
}
