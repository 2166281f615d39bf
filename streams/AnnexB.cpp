#include "streams/AnnexB.h"

#include "parser/ByteOrder.h"

#include <cstring>

namespace {

const uint8_t kStartCode[kStartCodeSize] = {0, 0, 0, 1};

size_t NalSize(size_t payloadSize)
{
    return payloadSize ? kStartCodeSize + payloadSize : 0;
}

uint8_t* WriteNal(uint8_t* at, const uint8_t* payload, size_t payloadSize)
{
    if (!payloadSize)
        return at;
    std::memcpy(at, kStartCode, kStartCodeSize);
    std::memcpy(at + kStartCodeSize, payload, payloadSize);
    return at + kStartCodeSize + payloadSize;
}

} // namespace

size_t AvcPrefixSize(bool withSequenceSet, size_t spsSize, size_t ppsSize)
{
    return (withSequenceSet ? NalSize(spsSize) : 0) + NalSize(ppsSize);
}

size_t WriteAvcPrefix(uint8_t* buffer, size_t capacity, bool withSequenceSet, const uint8_t* sps, size_t spsSize,
                      const uint8_t* pps, size_t ppsSize)
{
    size_t size = AvcPrefixSize(withSequenceSet, spsSize, ppsSize);
    if (size > capacity)
        return 0;
    uint8_t* at = buffer;
    if (withSequenceSet)
        at = WriteNal(at, sps, spsSize);
    WriteNal(at, pps, ppsSize);
    return size;
}

size_t ConvertLengthPrefixesToStartCodes(uint8_t* sample, size_t size)
{
    uint32_t first = 0;
    if (size < kStartCodeSize || !ReadBigEndian32(sample, &first) || first == 0)
        return 0;
    size_t converted = 0;
    size_t pos = 0;
    while (size - pos >= kStartCodeSize) {
        uint32_t length = 0;
        ReadBigEndian32(sample + pos, &length);
        if (length > size - pos - kStartCodeSize)
            break;
        std::memcpy(sample + pos, kStartCode, kStartCodeSize);
        pos += kStartCodeSize + length;
        ++converted;
    }
    return converted;
}
