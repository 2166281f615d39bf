#include "parser/SampleDescription.h"

#include "parser/AacDecoderConfig.h"
#include "parser/DolbyAudioConfig.h"
#include "parser/EsDescriptor.h"
#include "parser/HevcDecoderConfig.h"

#include <cstring>
#include <new>

namespace {

// Reserved bytes, data reference index, version, revision, vendor, temporal and
// spatial quality: what precedes the width in a visual sample entry.
constexpr int64_t kVisualFieldsBeforeSize = 24;
// Resolutions, data size, frame count and the 32-byte compressor name.
constexpr int64_t kVisualFieldsBeforeDepth = 46;
// The colour table id closes the 78 bytes of visual fields.
constexpr int64_t kColourTableIdSize = 2;

// Reserved bytes and data reference index, then the sound description version.
constexpr int64_t kSoundFieldsBeforeVersion = 8;
// Revision and vendor.
constexpr int64_t kSoundFieldsBeforeChannels = 6;

// An elementary stream descriptor is a few dozen bytes; what it needs to say
// comes first, so a longer one is read only this far. An MPEG-4 video
// configuration (its object layer header) is a few dozen bytes too.
constexpr size_t kMaxDecoderConfigBytes = 1024;
// An HEVC configuration holds a few parameter sets of some dozen bytes each;
// one larger than this is damage, not a stream worth a pin.
constexpr int64_t kMaxHevcConfigBytes = 64 * 1024;
// "dec3" grows by a few bytes per substream, of which there are at most eight.
constexpr size_t kMaxDolbyConfigBytes = 64;

// MPEG-1 and MPEG-2 audio (layers I to III) in an elementary stream descriptor.
constexpr uint8_t kMpeg1AudioObject = 0x6B;
constexpr uint8_t kMpeg2AudioObject = 0x69;

// One parameter set behind its 16-bit length; the set stays empty when the
// box does not hold all of it.
bool ReadParameterSet(BoxCursor& box, ParameterSet* set)
{
    uint16_t size = 0;
    if (!box.Read16(&size) || size > box.Remaining())
        return false;
    if (size == 0)
        return true;
    std::unique_ptr<BYTE[]> data(new (std::nothrow) BYTE[size]);
    if (!data || !box.ReadBytes(data.get(), size))
        return false;
    set->data = std::move(data);
    set->size = size;
    return true;
}

bool SkipParameterSet(BoxCursor& box)
{
    uint16_t size = 0;
    return box.Read16(&size) && box.Skip(size);
}

// The H.264 decoder configuration record: the NAL length size, the first
// sequence and the first picture parameter set.
void ReadAvcConfiguration(BoxCursor& box, SampleEntry* entry, ParameterSet* sps, ParameterSet* pps)
{
    uint8_t lengthSize = 0;
    uint8_t count = 0;
    // Version, profile, profile compatibility, level, then the NAL length size.
    box.Skip(4);
    if (!box.Read8(&lengthSize) || !box.Read8(&count))
        return;
    entry->nalLengthSize = uint8_t((lengthSize & 0x03) + 1);
    count &= 0x1F;
    for (uint8_t i = 0; i < count; ++i) {
        if (!(i == 0 ? ReadParameterSet(box, sps) : SkipParameterSet(box)))
            return;
    }
    if (box.Read8(&count) && count > 0)
        ReadParameterSet(box, pps);
}

// The whole payload of a small configuration box, after a check of its size.
template <size_t capacity> bool ReadSmallBox(BoxCursor& box, BYTE (&bytes)[capacity], size_t* size)
{
    *size = box.Remaining() < int64_t(capacity) ? size_t(box.Remaining()) : capacity;
    return box.ReadBytes(bytes, *size);
}

bool ReadEsDescriptorBox(BoxCursor& esds, BYTE (&bytes)[kMaxDecoderConfigBytes], EsDecoderInfo* info)
{
    size_t size = 0;
    return ReadSmallBox(esds, bytes, &size) && ParseEsDescriptor(bytes, size, info);
}

void ReadHevcConfiguration(BoxCursor& box, SampleEntry* entry)
{
    if (box.Remaining() > kMaxHevcConfigBytes)
        return;
    const size_t size = size_t(box.Remaining());
    std::unique_ptr<BYTE[]> bytes(new (std::nothrow) BYTE[size ? size : 1]);
    HevcDecoderConfig config;
    if (!bytes || !box.ReadBytes(bytes.get(), size) || !ParseHevcDecoderConfig(bytes.get(), size, &config))
        return;
    entry->kind = EntryKind::Hevc;
    entry->nalLengthSize = config.lengthSize;
    entry->profile = config.profile;
    entry->level = config.level;
    entry->configuration = std::move(config.parameterSets);
}

void ReadMpeg4VideoConfiguration(BoxCursor& box, SampleEntry* entry)
{
    BYTE bytes[kMaxDecoderConfigBytes];
    EsDecoderInfo info;
    if (ReadEsDescriptorBox(box, bytes, &info))
        entry->configuration.CopyFrom(info.specificInfo, int32_t(info.specificInfoSize));
}

// The configuration box is found by its type among the entry's child boxes,
// which follow the visual fields.
void ReadVisualEntry(BoxCursor& box, MovieRecord& movie, SampleEntry* entry)
{
    uint16_t width = 0;
    uint16_t height = 0;
    uint16_t depth = 0;
    box.Skip(kVisualFieldsBeforeSize);
    box.Read16(&width);
    box.Read16(&height);
    box.Skip(kVisualFieldsBeforeDepth);
    box.Read16(&depth);
    if (box.Skip(kColourTableIdSize)) {
        movie.videoWidth = entry->width = width;
        movie.videoHeight = entry->height = height;
        movie.videoDepth = entry->depth = depth;
    }

    const bool avc = entry->code == FourCC("avc1") || entry->code == FourCC("avc3");
    const bool hevc = entry->code == FourCC("hvc1") || entry->code == FourCC("hev1");
    if (avc || entry->code == FourCC("mp4v"))
        entry->kind = avc ? EntryKind::Avc : EntryKind::MpegVideo;

    // Every video track replaces the parameter sets, with none when it has no
    // H.264 configuration.
    ParameterSet sps;
    ParameterSet pps;
    BoxHeader child;
    while (box.NextBox(&child)) {
        if (avc && child.type == FourCC("avcC")) {
            ReadAvcConfiguration(child.payload, entry, &sps, &pps);
            break;
        }
        if (hevc && child.type == FourCC("hvcC")) {
            ReadHevcConfiguration(child.payload, entry);
            break;
        }
        if (entry->code == FourCC("mp4v") && child.type == FourCC("esds")) {
            ReadMpeg4VideoConfiguration(child.payload, entry);
            break;
        }
    }
    // A 3-byte length size is reserved; no stream uses it.
    if (avc && entry->nalLengthSize == 3)
        entry->kind = EntryKind::None;
    movie.StoreParameterSets(std::move(sps.data), sps.size, std::move(pps.data), pps.size);
}

// The boxes that qualify a sound entry, among its children or inside the
// QuickTime "wave" box that some entries carry.
class SoundBoxes {
public:
    explicit SoundBoxes(SampleEntry& entry, PcmEntryFields& pcm) : entry(entry), pcm(pcm) {}

    void Walk(BoxCursor& children)
    {
        static const BoxHandler<SoundBoxes> handlers[] = {
            {FourCC("esds"), &SoundBoxes::ParseEsDescriptor}, {FourCC("wave"), &SoundBoxes::WalkWave},
            {FourCC("enda"), &SoundBoxes::ParseEndianness},   {FourCC("pcmC"), &SoundBoxes::ParsePcmConfig},
            {FourCC("dac3"), &SoundBoxes::ParseAc3Config},    {FourCC("dec3"), &SoundBoxes::ParseEac3Config},
        };
        WalkBoxes(children, handlers, *this);
    }

    bool hasEsDescriptor = false;
    uint8_t objectType = 0;
    bool hasDolbyConfig = false;

private:
    // The "wave" box holds the same boxes but never another "wave".
    void WalkWave(BoxCursor& wave)
    {
        static const BoxHandler<SoundBoxes> handlers[] = {
            {FourCC("esds"), &SoundBoxes::ParseEsDescriptor},
            {FourCC("enda"), &SoundBoxes::ParseEndianness},
        };
        WalkBoxes(wave, handlers, *this);
    }
    void ParseEsDescriptor(BoxCursor& box)
    {
        BYTE bytes[kMaxDecoderConfigBytes];
        EsDecoderInfo info;
        AacDecoderConfig config;
        if (hasEsDescriptor || !ReadEsDescriptorBox(box, bytes, &info))
            return;
        hasEsDescriptor = true;
        objectType = info.objectType;
        if (info.specificInfo && ParseAudioSpecificConfig(info.specificInfo, info.specificInfoSize, &config)) {
            if (config.sampleRate != 0)
                entry.sampleRate = config.sampleRate;
            if (config.channels != 0)
                entry.channels = config.channels;
        }
    }
    void ParseEndianness(BoxCursor& box)
    {
        uint16_t littleEndian = 0;
        if (box.Read16(&littleEndian))
            pcm.littleEndianBox = littleEndian != 0 ? 1 : 0;
    }
    void ParsePcmConfig(BoxCursor& box)
    {
        box.Skip(4); // version and flags
        box.Read8(&pcm.pcmcFlags);
        box.Read8(&pcm.pcmcBits);
    }
    void ParseAc3Config(BoxCursor& box) { ParseDolbyConfig(box, ::ParseAc3Config); }
    void ParseEac3Config(BoxCursor& box) { ParseDolbyConfig(box, ::ParseEac3Config); }
    void ParseDolbyConfig(BoxCursor& box, bool (*parse)(const BYTE*, size_t, DolbyAudioConfig*))
    {
        BYTE bytes[kMaxDolbyConfigBytes];
        size_t size = 0;
        DolbyAudioConfig config;
        if (!ReadSmallBox(box, bytes, &size) || !parse(bytes, size, &config))
            return;
        hasDolbyConfig = true;
        entry.sampleRate = config.sampleRate;
        entry.channels = config.channels;
        entry.bitRate = config.bitRate;
    }

    SampleEntry& entry;
    PcmEntryFields& pcm;
};

// A version 2 rate is a double; one outside the 32-bit range is damage.
uint32_t RateFromDouble(uint64_t bits)
{
    double rate = 0;
    static_assert(sizeof rate == sizeof bits, "a version 2 rate is 8 bytes");
    std::memcpy(&rate, &bits, sizeof rate);
    return rate >= 1.0 && rate < 4294967296.0 ? uint32_t(rate) : 0;
}

// The version 1 and 2 fields after the 28 bytes that every version has.
void ReadSoundExtension(BoxCursor& box, uint16_t version, SampleEntry* entry, PcmEntryFields* pcm)
{
    pcm->version = version;
    if (version == 1) {
        uint32_t samplesPerPacket = 0;
        box.Read32(&samplesPerPacket);
        box.Read32(&pcm->bytesPerPacket);
        box.Skip(8); // bytes per frame, bytes per sample
    } else if (version == 2) {
        uint32_t structSize = 0;
        uint64_t rateBits = 0;
        uint32_t channels = 0;
        box.Read32(&structSize);
        box.Read64(&rateBits);
        box.Read32(&channels);
        box.Skip(4); // always 0x7F000000
        box.Read32(&pcm->lpcmBits);
        box.Read32(&pcm->lpcmFlags);
        if (!box.Skip(8)) // bytes per packet, frames per packet
            return;
        if (const uint32_t rate = RateFromDouble(rateBits))
            entry->sampleRate = rate;
        if (channels > 0 && channels <= 0xFFFF)
            entry->channels = int32_t(channels);
    }
}

// The kind of a sound entry once its boxes are read.
EntryKind SoundKind(const SampleEntry& entry, const SoundBoxes& boxes, const PcmEntryFields& fields, PcmFormat* pcm)
{
    const uint32_t code = entry.code;
    if (code == FourCC("mp4a"))
        return boxes.objectType == kMpeg1AudioObject || boxes.objectType == kMpeg2AudioObject ? EntryKind::MpegAudio
                                                                                              : EntryKind::Aac;
    if (code == FourCC(".mp3"))
        return EntryKind::MpegAudio;
    if (code == FourCC("ac-3") || code == FourCC("ec-3"))
        return boxes.hasDolbyConfig ? (code == FourCC("ac-3") ? EntryKind::Ac3 : EntryKind::Eac3) : EntryKind::None;
    return ResolvePcmFormat(code, fields, pcm) ? EntryKind::Pcm : EntryKind::None;
}

// The entry's own fields are the fallback: MP4 writers put 2 in the channel field
// of mono tracks, and rates above 65,535 Hz do not fit the rate's integer part,
// so the configuration, where there is one, says what the stream holds.
void ReadSoundEntry(BoxCursor& box, MovieRecord& movie, SampleEntry* entry)
{
    uint16_t version = 0;
    uint16_t channels = 0;
    uint16_t sampleSize = 0;
    uint16_t rate = 0;
    box.Skip(kSoundFieldsBeforeVersion);
    box.Read16(&version);
    box.Skip(kSoundFieldsBeforeChannels);
    box.Read16(&channels);
    box.Read16(&sampleSize);
    box.Skip(4); // compression id, packet size
    box.Read16(&rate);
    // A cut entry keeps the record's values but not its kind: an "mp4a"
    // track streams whatever its fields say.
    const bool fieldsRead = box.Skip(2); // the fraction of the 16.16 rate
    if (fieldsRead) {
        entry->channels = channels;
        entry->sampleSize = sampleSize;
        entry->sampleRate = rate;
    }

    PcmEntryFields fields;
    fields.sampleSize = sampleSize;
    ReadSoundExtension(box, version, entry, &fields);
    SoundBoxes boxes(*entry, fields);
    boxes.Walk(box);
    fields.channels = entry->channels;
    entry->kind = SoundKind(*entry, boxes, fields, &entry->pcm);
    if (entry->kind == EntryKind::Pcm)
        entry->sampleSize = entry->pcm.bitsPerSample;
    if (!fieldsRead)
        return;
    movie.audioChannels = entry->channels;
    movie.audioSampleSize = entry->sampleSize;
    movie.audioSampleRate = entry->sampleRate;
}

} // namespace

void ReadSampleEntry(BoxCursor& box, HandlerKind kind, MovieRecord& movie, TrackRecord& track, SampleEntry* entry)
{
    *entry = SampleEntry();
    // Version and flags, entry count: only the first entry is looked at.
    box.Skip(8);
    BoxHeader header;
    if (!box.NextBox(&header))
        return;
    FourCCText(header.type, track.sampleFormat);
    entry->code = header.type;
    if (kind == HandlerKind::Video)
        ReadVisualEntry(header.payload, movie, entry);
    else if (kind == HandlerKind::Sound)
        ReadSoundEntry(header.payload, movie, entry);
}

StreamFormat ReadSampleDescription(BoxCursor& box, HandlerKind kind, MovieRecord& movie, TrackRecord& track)
{
    SampleEntry entry;
    ReadSampleEntry(box, kind, movie, track, &entry);
    switch (entry.kind) {
    case EntryKind::Avc:
        return entry.code == FourCC("avc1") && entry.nalLengthSize == 4 ? StreamFormat::Avc : StreamFormat::None;
    case EntryKind::MpegVideo:
        return StreamFormat::MpegVideo;
    case EntryKind::Aac:
        return StreamFormat::Aac;
    default:
        return StreamFormat::None;
    }
}
