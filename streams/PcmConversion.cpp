#include "streams/PcmConversion.h"

#include <algorithm>

namespace {

constexpr uint32_t kDeliveriesPerSecond = 10; // 100 ms each

} // namespace

void ConvertPcmToPlatform(const PcmFormat& format, uint8_t* samples, size_t size)
{
    if (!samples)
        return;
    if (format.signed8) {
        for (size_t i = 0; i < size; ++i)
            samples[i] ^= 0x80;
        return;
    }
    const size_t width = format.bitsPerSample / 8;
    if (!format.bigEndian || width < 2)
        return;
    for (size_t at = 0; size - at >= width; at += width)
        std::reverse(samples + at, samples + at + width);
}

uint32_t PcmFramesPerDelivery(uint32_t sampleRate)
{
    return std::max<uint32_t>(1, sampleRate / kDeliveriesPerSecond);
}
