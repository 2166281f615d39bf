#include "tools/qtsource/WavHeader.h"

#include <cstring>

namespace {

// Writers that return where the next field goes: the header is laid out in a
// buffer of its final size, which keeps the optimiser from seeing copies into
// a vector that may still be empty.
uint8_t* PutLittleEndian32(uint8_t* at, uint64_t value)
{
    const uint32_t clamped = value > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(value);
    for (int i = 0; i < 4; ++i)
        *at++ = uint8_t(clamped >> (8 * i));
    return at;
}

uint8_t* PutText(uint8_t* at, const char (&text)[5])
{
    std::memcpy(at, text, 4);
    return at + 4;
}

} // namespace

std::vector<uint8_t> WavHeader(const uint8_t* format, size_t formatSize, uint64_t dataSize)
{
    // Chunks are padded to an even size.
    const size_t formatPadding = formatSize % 2;
    const uint64_t riffSize = 4 + 8 + formatSize + formatPadding + 8 + dataSize + dataSize % 2;
    std::vector<uint8_t> bytes(12 + 8 + formatSize + formatPadding + 8, 0);
    uint8_t* at = bytes.data();
    at = PutText(at, "RIFF");
    at = PutLittleEndian32(at, riffSize);
    at = PutText(at, "WAVE");
    at = PutText(at, "fmt ");
    at = PutLittleEndian32(at, formatSize);
    if (format && formatSize > 0)
        std::memcpy(at, format, formatSize);
    at += formatSize + formatPadding;
    at = PutText(at, "data");
    PutLittleEndian32(at, dataSize);
    return bytes;
}
