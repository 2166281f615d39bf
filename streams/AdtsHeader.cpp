#include "streams/AdtsHeader.h"

uint32_t AacSampleRateIndex(uint32_t rate)
{
    // Lower bounds halfway between neighbouring standard rates.
    static const uint32_t lowerBounds[] = {92017, 75132, 55426, 46009, 37566, 27713, 23004, 18783, 13856, 11502, 9391};
    uint32_t index = 0;
    for (uint32_t bound : lowerBounds) {
        if (rate >= bound)
            return index;
        ++index;
    }
    return index; // 11: 8,000 Hz and below
}

bool BuildAdtsHeader(uint8_t header[kAdtsHeaderSize], uint32_t payloadSize, uint32_t sampleRateIndex, uint32_t channels)
{
    if (payloadSize > kAdtsMaxPayload)
        return false;
    const uint32_t frameLength = payloadSize + kAdtsHeaderSize;
    const uint32_t configuration = (channels >= 1 && channels <= 7) ? channels : 0;
    header[0] = 0xFF;
    header[1] = 0xF1; // syncword end, MPEG-4, layer 0, no CRC
    header[2] = static_cast<uint8_t>(0x40 | ((sampleRateIndex & 0xF) << 2) | (configuration >> 2)); // AAC LC
    header[3] = static_cast<uint8_t>(((configuration & 3) << 6) | ((frameLength >> 11) & 3));
    header[4] = static_cast<uint8_t>((frameLength >> 3) & 0xFF);
    header[5] = static_cast<uint8_t>(((frameLength & 7) << 5) | 0x1F); // buffer fullness 0x7FF: variable rate
    header[6] = 0xFC;                                                  // one raw data block
    return true;
}

AdtsHeaderCache::AdtsHeaderCache(uint32_t sampleRate, uint32_t channels)
    : sampleRateIndex(AacSampleRateIndex(sampleRate)), channels(channels)
{
}

const uint8_t* AdtsHeaderCache::HeaderFor(uint32_t payloadSize)
{
    if (!cached || payloadSize != cachedPayloadSize) {
        cached = BuildAdtsHeader(header, payloadSize, sampleRateIndex, channels);
        cachedPayloadSize = payloadSize;
    }
    return cached ? header : nullptr;
}
