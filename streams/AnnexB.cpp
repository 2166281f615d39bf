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

bool IsLengthSize(size_t lengthSize)
{
    return lengthSize == 1 || lengthSize == 2 || lengthSize == 4;
}

uint32_t ReadLength(const uint8_t* at, size_t lengthSize)
{
    uint32_t length = 0;
    for (size_t i = 0; i < lengthSize; ++i)
        length = length << 8 | at[i];
    return length;
}

// Walks the NAL units of a sample and returns the size of its start-code
// form; with out set it also writes that form there (the caller has checked
// that it fits). Payloads are moved, not copied, since out may be the sample.
size_t WalkLengthPrefixes(const uint8_t* sample, size_t size, size_t lengthSize, uint8_t* out, size_t* units)
{
    size_t pos = 0;
    size_t written = 0;
    const bool convert =
        sample && IsLengthSize(lengthSize) && size >= lengthSize && ReadLength(sample, lengthSize) != 0;
    while (convert && size - pos >= lengthSize) {
        const uint32_t length = ReadLength(sample + pos, lengthSize);
        if (length > size - pos - lengthSize)
            break;
        if (out) {
            std::memmove(out + written + kStartCodeSize, sample + pos + lengthSize, length);
            std::memcpy(out + written, kStartCode, kStartCodeSize);
        }
        pos += lengthSize + length;
        written += kStartCodeSize + length;
        ++*units;
    }
    if (out && size > pos)
        std::memmove(out + written, sample + pos, size - pos);
    return written + (size - pos);
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
    size_t units = 0;
    WalkLengthPrefixes(sample, size, kStartCodeSize, sample, &units);
    return units;
}

size_t StartCodeSampleSize(const uint8_t* sample, size_t size, size_t lengthSize)
{
    size_t units = 0;
    return WalkLengthPrefixes(sample, size, lengthSize, nullptr, &units);
}

size_t CopyAsStartCodes(const uint8_t* sample, size_t size, size_t lengthSize, uint8_t* out, size_t capacity)
{
    const size_t needed = StartCodeSampleSize(sample, size, lengthSize);
    if (!out || needed > capacity)
        return 0;
    size_t units = 0;
    return WalkLengthPrefixes(sample, size, lengthSize, out, &units);
}
