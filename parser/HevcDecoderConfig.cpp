#include "parser/HevcDecoderConfig.h"

#include "parser/ByteOrder.h"

#include <cstring>
#include <new>

namespace {

// The fixed fields before the array count: version, profile space, tier and
// profile, 4 bytes of compatibility flags, 6 of constraint flags, the level,
// then segmentation, parallelism, chroma and bit depths, frame rate, and the
// byte that ends in the length size less one.
constexpr size_t kProfileOffset = 1;
constexpr size_t kLevelOffset = 12;
constexpr size_t kLengthSizeOffset = 21;
constexpr size_t kFixedFieldsSize = 23; // through the array count

constexpr uint8_t kVideoParameterSet = 32;
constexpr uint8_t kPictureParameterSet = 34;
constexpr uint8_t kStartCode[4] = {0, 0, 0, 1};

// Walks the arrays once per wanted NAL unit type and hands each unit of that
// type to the sink; false when an array or unit runs past the record.
template <typename Sink> bool ForEachUnit(const BYTE* bytes, size_t size, uint8_t wanted, Sink sink)
{
    size_t at = kFixedFieldsSize;
    for (uint8_t array = 0, arrays = bytes[kFixedFieldsSize - 1]; array < arrays; ++array) {
        uint16_t count = 0;
        if (size - at < 3)
            return false;
        const uint8_t type = bytes[at] & 0x3F;
        ReadBigEndian16(bytes + at + 1, &count);
        at += 3;
        for (uint16_t unit = 0; unit < count; ++unit) {
            uint16_t length = 0;
            if (size - at < 2 || !ReadBigEndian16(bytes + at, &length) || size - at - 2 < length)
                return false;
            if (type == wanted && length > 0)
                sink(bytes + at + 2, length);
            at += 2 + size_t(length);
        }
    }
    return true;
}

} // namespace

bool ParseHevcDecoderConfig(const BYTE* bytes, size_t size, HevcDecoderConfig* config)
{
    if (!bytes || size < kFixedFieldsSize)
        return false;
    const uint8_t lengthSize = uint8_t((bytes[kLengthSizeOffset] & 0x03) + 1);
    if (lengthSize == 3)
        return false;

    // One pass to size the sets, one to copy them, so the buffer is exact.
    size_t total = 0;
    for (uint8_t type = kVideoParameterSet; type <= kPictureParameterSet; ++type)
        if (!ForEachUnit(bytes, size, type, [&](const BYTE*, size_t length) { total += sizeof kStartCode + length; }))
            return false;
    // Every unit is at most 65,535 bytes and lies inside the record: the total
    // is bounded by a few times the record's size.
    std::unique_ptr<BYTE[]> sets(total ? new (std::nothrow) BYTE[total] : nullptr);
    if (total && !sets)
        return false;
    BYTE* out = sets.get();
    for (uint8_t type = kVideoParameterSet; type <= kPictureParameterSet; ++type)
        ForEachUnit(bytes, size, type, [&](const BYTE* unit, size_t length) {
            std::memcpy(out, kStartCode, sizeof kStartCode);
            std::memcpy(out + sizeof kStartCode, unit, length);
            out += sizeof kStartCode + length;
        });

    config->profile = bytes[kProfileOffset] & 0x1F;
    config->level = bytes[kLevelOffset];
    config->lengthSize = lengthSize;
    config->parameterSets.data = std::move(sets);
    config->parameterSets.size = int32_t(total);
    return true;
}
