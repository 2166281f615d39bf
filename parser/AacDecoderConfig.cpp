#include "parser/AacDecoderConfig.h"

namespace {

// Descriptor tags of the MPEG-4 systems layer.
constexpr uint8_t kEsDescriptorTag = 0x03;
constexpr uint8_t kDecoderConfigTag = 0x04;
constexpr uint8_t kDecoderSpecificInfoTag = 0x05;

// A descriptor length takes at most four bytes of seven bits.
constexpr int kMaxLengthBytes = 4;

// The rates that the 4-bit sampling frequency index stands for; 13 and 14 are
// reserved, and 15 means an explicit 24-bit rate follows.
constexpr uint32_t kSampleRates[13] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                       22050, 16000, 12000, 11025, 8000,  7350};
constexpr uint32_t kExplicitRateIndex = 15;

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

// Reads bit fields most significant bit first.
class BitReader {
  public:
    explicit BitReader(const ByteSpan& span) : span(span) {}

    bool Read(int count, uint32_t* value)
    {
        uint32_t result = 0;
        for (int i = 0; i < count; ++i) {
            if (bit / 8 >= span.size)
                return false;
            result = result << 1 | ((span.data[bit / 8] >> (7 - bit % 8)) & 1);
            ++bit;
        }
        *value = result;
        return true;
    }

  private:
    ByteSpan span;
    size_t bit = 0;
};

bool ReadAudioSpecificConfig(const ByteSpan& bytes, AacDecoderConfig* config)
{
    BitReader bits(bytes);
    uint32_t objectType = 0;
    uint32_t rateIndex = 0;
    uint32_t rate = 0;
    uint32_t channelConfiguration = 0;
    if (!bits.Read(5, &objectType))
        return false;
    if (objectType == 31 && !bits.Read(6, &objectType))
        return false;
    if (!bits.Read(4, &rateIndex))
        return false;
    if (rateIndex == kExplicitRateIndex) {
        if (!bits.Read(24, &rate))
            return false;
    } else if (rateIndex < sizeof kSampleRates / sizeof kSampleRates[0]) {
        rate = kSampleRates[rateIndex];
    }
    if (!bits.Read(4, &channelConfiguration))
        return false;
    config->sampleRate = rate;
    config->channels = channelConfiguration <= 7 ? int32_t(channelConfiguration) : 0;
    return true;
}

} // namespace

bool ParseAacDecoderConfig(const BYTE* esds, size_t size, AacDecoderConfig* config)
{
    *config = AacDecoderConfig();
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
    ByteSpan specificInfo(nullptr, 0);
    // Object type, stream type, buffer size, maximum and average bit rate.
    constexpr size_t kDecoderConfigFields = 13;
    if (!descriptor.FindDescriptor(kDecoderConfigTag, &decoderConfig) || !decoderConfig.Skip(kDecoderConfigFields) ||
        !decoderConfig.FindDescriptor(kDecoderSpecificInfoTag, &specificInfo))
        return false;
    return ReadAudioSpecificConfig(specificInfo, config);
}
