#include "parser/SampleDescription.h"

#include "parser/AacDecoderConfig.h"
#include "parser/ParameterSet.h"

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
// The sound description's extension after the 28 bytes of version 0 fields.
constexpr int64_t kSoundVersion1Extension = 16;
constexpr int64_t kSoundVersion2Extension = 36;

// An elementary stream descriptor is a few dozen bytes; what it needs to say
// about AAC comes first, so a longer one is read only this far.
constexpr size_t kMaxDecoderConfigBytes = 256;

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

// The H.264 decoder configuration record: the first sequence and the first
// picture parameter set.
void ReadAvcConfiguration(BoxCursor& box, ParameterSet* sps, ParameterSet* pps)
{
    uint8_t count = 0;
    // Version, profile, profile compatibility, level, NAL length size.
    box.Skip(5);
    if (!box.Read8(&count))
        return;
    count &= 0x1F;
    for (uint8_t i = 0; i < count; ++i) {
        if (!(i == 0 ? ReadParameterSet(box, sps) : SkipParameterSet(box)))
            return;
    }
    if (box.Read8(&count) && count > 0)
        ReadParameterSet(box, pps);
}

// The configuration box is found by its type among the entry's child boxes,
// which follow the visual fields.
void ReadVisualEntry(BoxCursor& entry, MovieRecord& movie)
{
    uint16_t width = 0;
    uint16_t height = 0;
    uint16_t depth = 0;
    entry.Skip(kVisualFieldsBeforeSize);
    entry.Read16(&width);
    entry.Read16(&height);
    entry.Skip(kVisualFieldsBeforeDepth);
    entry.Read16(&depth);
    if (entry.Skip(kColourTableIdSize)) {
        movie.videoWidth = width;
        movie.videoHeight = height;
        movie.videoDepth = depth;
    }

    // Every video track replaces the parameter sets, with none when it has no
    // H.264 configuration.
    ParameterSet sps;
    ParameterSet pps;
    BoxHeader child;
    while (entry.NextBox(&child)) {
        if (child.type == FourCC("avcC")) {
            ReadAvcConfiguration(child.payload, &sps, &pps);
            break;
        }
    }
    movie.StoreParameterSets(std::move(sps.data), sps.size, std::move(pps.data), pps.size);
}

bool ReadDecoderConfigBox(BoxCursor& esds, AacDecoderConfig* config)
{
    BYTE bytes[kMaxDecoderConfigBytes];
    const size_t size = esds.Remaining() < int64_t(sizeof bytes) ? size_t(esds.Remaining()) : sizeof bytes;
    return esds.ReadBytes(bytes, size) && ParseAacDecoderConfig(bytes, size, config);
}

// The decoder configuration of a sound entry: an "esds" box among its children,
// or inside the QuickTime "wave" box that some entries carry instead.
bool FindDecoderConfig(BoxCursor& children, AacDecoderConfig* config)
{
    BoxHeader child;
    while (children.NextBox(&child)) {
        if (child.type == FourCC("esds"))
            return ReadDecoderConfigBox(child.payload, config);
        if (child.type == FourCC("wave")) {
            BoxHeader inner;
            while (child.payload.NextBox(&inner))
                if (inner.type == FourCC("esds"))
                    return ReadDecoderConfigBox(inner.payload, config);
        }
    }
    return false;
}

// The entry's own fields are the fallback: MP4 writers put 2 in the channel field
// of mono tracks, and rates above 65,535 Hz do not fit the rate's integer part,
// so the decoder configuration, where there is one, says what the stream holds.
void ReadSoundEntry(BoxCursor& entry, MovieRecord& movie)
{
    uint16_t version = 0;
    uint16_t channels = 0;
    uint16_t sampleSize = 0;
    uint16_t rate = 0;
    entry.Skip(kSoundFieldsBeforeVersion);
    entry.Read16(&version);
    entry.Skip(kSoundFieldsBeforeChannels);
    entry.Read16(&channels);
    entry.Read16(&sampleSize);
    entry.Skip(4); // compression id, packet size
    entry.Read16(&rate);
    if (!entry.Skip(2)) // the fraction of the 16.16 rate
        return;
    movie.audioChannels = channels;
    movie.audioSampleSize = sampleSize;
    movie.audioSampleRate = rate;

    if (version == 1)
        entry.Skip(kSoundVersion1Extension);
    else if (version == 2)
        entry.Skip(kSoundVersion2Extension);
    AacDecoderConfig config;
    if (!FindDecoderConfig(entry, &config))
        return;
    if (config.sampleRate != 0)
        movie.audioSampleRate = config.sampleRate;
    if (config.channels != 0)
        movie.audioChannels = config.channels;
}

} // namespace

StreamFormat ReadSampleDescription(BoxCursor& box, HandlerKind kind, MovieRecord& movie, TrackRecord& track)
{
    // Version and flags, entry count: only the first entry is looked at.
    box.Skip(8);
    BoxHeader entry;
    if (!box.NextBox(&entry))
        return StreamFormat::None;
    FourCCText(entry.type, track.sampleFormat);

    if (kind == HandlerKind::Video) {
        ReadVisualEntry(entry.payload, movie);
        if (entry.type == FourCC("avc1"))
            return StreamFormat::Avc;
        if (entry.type == FourCC("mp4v"))
            return StreamFormat::MpegVideo;
    } else if (kind == HandlerKind::Sound) {
        ReadSoundEntry(entry.payload, movie);
        if (entry.type == FourCC("mp4a"))
            return StreamFormat::Aac;
    }
    return StreamFormat::None;
}
