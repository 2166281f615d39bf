#include "tools/qtsource/WavHeader.h"

namespace {

void PutLittleEndian32(std::vector<uint8_t>& bytes, uint64_t value)
{
    const uint32_t clamped = value > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(value);
    for (int i = 0; i < 4; ++i)
        bytes.push_back(uint8_t(clamped >> (8 * i)));
}

void PutText(std::vector<uint8_t>& bytes, const char (&text)[5])
{
    bytes.insert(bytes.end(), text, text + 4);
}

} // namespace

std::vector<uint8_t> WavHeader(const uint8_t* format, size_t formatSize, uint64_t dataSize)
{
    // Chunks are padded to an even size.
    const size_t formatPadding = formatSize % 2;
    const uint64_t riffSize = 4 + 8 + formatSize + formatPadding + 8 + dataSize + dataSize % 2;
    std::vector<uint8_t> bytes;
    PutText(bytes, "RIFF");
    PutLittleEndian32(bytes, riffSize);
    PutText(bytes, "WAVE");
    PutText(bytes, "fmt ");
    PutLittleEndian32(bytes, formatSize);
    if (format)
        bytes.insert(bytes.end(), format, format + formatSize);
    bytes.resize(bytes.size() + formatPadding, 0);
    PutText(bytes, "data");
    PutLittleEndian32(bytes, dataSize);
    return bytes;
}
