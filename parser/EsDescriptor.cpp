#include "parser/EsDescriptor.h"

namespace {

// Descriptor tags of the MPEG-4 systems layer.
constexpr uint8_t kEsDescriptorTag = 0x03;
constexpr uint8_t kDecoderConfigTag = 0x04;
constexpr uint8_t kDecoderSpecificInfoTag = 0x05;

// A descriptor length takes at most four bytes of seven bits.
constexpr int kMaxLengthBytes = 4;

// Stream type, buffer size, maximum and average bit rate after the object type.
constexpr size_t kDecoderConfigFieldsAfterType = 12;

// Reads over a byte range without ever leaving it.
class ByteSpan {
public:
    ByteSpan(const BYTE* data, size_t size) : data(data), size(size) {}

    bool Read8(uint8_t* value)
    {
        if (size == 0)
            return false;
        *value = *data++;
        --size;
        return true;
    }
    bool Skip(size_t count)
    {
        if (count > size)
            return false;
        data += count;
        size -= count;
        return true;
    }
    // The descriptor at the front: its tag, and its body as a span, which is
    // cut at the end of this span when its length runs past it.
    bool ReadDescriptor(uint8_t* tag, ByteSpan* body)
    {
        if (!Read8(tag))
            return false;
        size_t length = 0;
        for (int i = 0; i < kMaxLengthBytes; ++i) {
            uint8_t byte = 0;
            if (!Read8(&byte))
                return false;
            length = length << 7 | (byte & 0x7F);
            if (!(byte & 0x80))
                break;
        }
        if (length > size)
            length = size;
        *body = ByteSpan(data, length);
        data += length;
        size -= length;
        return true;
    }
    // The first descriptor with this tag among those at the front.
    bool FindDescriptor(uint8_t wanted, ByteSpan* body)
    {
        uint8_t tag = 0;
        while (ReadDescriptor(&tag, body))
            if (tag == wanted)
                return true;
        return false;
    }

    const BYTE* data;
    size_t size;
};

} // namespace

bool ParseEsDescriptor(const BYTE* esds, size_t size, EsDecoderInfo* info)
{
    *info = EsDecoderInfo();
    ByteSpan box(esds, size);
    ByteSpan descriptor(nullptr, 0);
    if (!box.Skip(4) || !box.FindDescriptor(kEsDescriptorTag, &descriptor))
        return false;

    // ES_ID, then flags that announce optional fields before the sub-descriptors.
    uint8_t flags = 0;
    if (!descriptor.Skip(2) || !descriptor.Read8(&flags))
        return false;
    if ((flags & 0x80) && !descriptor.Skip(2)) // depends on another stream: its ID
        return false;
    if (flags & 0x40) { // a URL, counted
        uint8_t length = 0;
        if (!descriptor.Read8(&length) || !descriptor.Skip(length))
            return false;
    }
    if ((flags & 0x20) && !descriptor.Skip(2)) // OCR stream ID
        return false;

    ByteSpan decoderConfig(nullptr, 0);
    uint8_t objectType = 0;
    if (!descriptor.FindDescriptor(kDecoderConfigTag, &decoderConfig) || !decoderConfig.Read8(&objectType) ||
        !decoderConfig.Skip(kDecoderConfigFieldsAfterType))
        return false;
    info->objectType = objectType;
    ByteSpan specificInfo(nullptr, 0);
    if (decoderConfig.FindDescriptor(kDecoderSpecificInfoTag, &specificInfo)) {
        info->specificInfo = specificInfo.data;
        info->specificInfoSize = specificInfo.size;
    }
    return true;
}
