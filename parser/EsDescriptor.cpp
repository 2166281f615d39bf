#include "parser/EsDescriptor.h"

#include "parser/MemoryBytes.h"

#include <algorithm>

namespace {

// Descriptor tags of the MPEG-4 systems layer.
constexpr uint8_t kEsDescriptorTag = 0x03;
constexpr uint8_t kDecoderConfigTag = 0x04;
constexpr uint8_t kDecoderSpecificInfoTag = 0x05;

// A descriptor length takes at most four bytes of seven bits.
constexpr int kMaxLengthBytes = 4;

// Stream type, buffer size, maximum and average bit rate after the object type.
constexpr size_t kDecoderConfigFieldsAfterType = 12;

// The descriptor at the front: its tag, and its body, which is cut at the
// end of the bytes when its length runs past them.
bool ReadDescriptor(MemoryBytes& bytes, uint8_t* tag, MemoryBytes* body)
{
    *tag = bytes.U8();
    size_t length = 0;
    for (int i = 0; i < kMaxLengthBytes; ++i) {
        const uint8_t byte = bytes.U8();
        length = length << 7 | (byte & 0x7F);
        if (!(byte & 0x80))
            break;
    }
    return bytes.Ok() && bytes.Take(std::min(length, bytes.Left()), body);
}

// The first descriptor with this tag among those at the front.
bool FindDescriptor(MemoryBytes& bytes, uint8_t wanted, MemoryBytes* body)
{
    uint8_t tag = 0;
    while (ReadDescriptor(bytes, &tag, body))
        if (tag == wanted)
            return true;
    return false;
}

} // namespace

bool ParseEsDescriptor(const BYTE* esds, size_t size, EsDecoderInfo* info)
{
    *info = EsDecoderInfo();
    MemoryBytes box(esds, size);
    MemoryBytes descriptor;
    if (!box.Skip(4) || !FindDescriptor(box, kEsDescriptorTag, &descriptor))
        return false;

    // ES_ID, then flags that announce optional fields before the sub-descriptors.
    descriptor.Skip(2);
    const uint8_t flags = descriptor.U8();
    if (flags & 0x80) // depends on another stream: its ID
        descriptor.Skip(2);
    if (flags & 0x40) // a URL, counted
        descriptor.Skip(descriptor.U8());
    if (flags & 0x20) // OCR stream ID
        descriptor.Skip(2);
    if (!descriptor.Ok())
        return false;

    MemoryBytes decoderConfig;
    if (!FindDescriptor(descriptor, kDecoderConfigTag, &decoderConfig))
        return false;
    const uint8_t objectType = decoderConfig.U8();
    if (!decoderConfig.Skip(kDecoderConfigFieldsAfterType))
        return false;
    info->objectType = objectType;
    MemoryBytes specificInfo;
    if (FindDescriptor(decoderConfig, kDecoderSpecificInfoTag, &specificInfo)) {
        info->specificInfo = specificInfo.Here();
        info->specificInfoSize = specificInfo.Left();
    }
    return true;
}
