#include "tools/qtsource/WavHeader.h"

namespace {

// Writers into a header sized up front: GCC 12 at -O3 misreads inserts that
// grow an empty vector as writes into nothing.
void PutLittleEndian32(uint8_t* at, uint64_t value)
{
    const uint32_t clamped = value > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(value);
    for (int i = 0; i < 4; ++i)
        at[i] = uint8_t(clamped >> (8 * i));
}

void PutText(uint8_t* at, const char (&text)[5])
{
    for (int i = 0; i < 4; ++i)
        at[i] = uint8_t(text[i]);
}

} // namespace

std::vector<uint8_t> WavHeader(const uint8_t* format, size_t formatSize, uint64_t dataSize)
{
    // Chunks are padded to an even size.
    const size_t formatPadding = formatSize % 2;
    const uint64_t riffSize = 4 + 8 + formatSize + formatPadding + 8 + dataSize + dataSize % 2;
    std::vector<uint8_t> bytes(20 + formatSize + formatPadding + 8, 0);
    uint8_t* at = bytes.data();
    PutText(at, "RIFF");
    PutLittleEndian32(at + 4, riffSize);
    PutText(at + 8, "WAVE");
    PutText(at + 12, "fmt ");
    PutLittleEndian32(at + 16, formatSize);
    for (size_t i = 0; format && i < formatSize; ++i)
        at[20 + i] = format[i];
    PutText(at + 20 + formatSize + formatPadding, "data");
    PutLittleEndian32(at + 24 + formatSize + formatPadding, dataSize);
    return bytes;
}
