// Hostile movies whose box tree is wrong while every size is right: boxes
// twice, boxes missing, boxes out of order, boxes nested without end, and far
// more boxes than any movie has.
#include "tests/support/HostileMovieFamilies.h"

#include "tests/support/BoxBuilder.h"

namespace hostile {

namespace {

// depth boxes of type, each holding the next.
std::vector<uint8_t> NestedBoxes(const std::string& type, int depth)
{
    BoxBuilder box;
    for (int i = 0; i < depth; ++i)
        box.Begin(type);
    for (int i = 0; i < depth; ++i)
        box.End();
    return box.Data();
}

std::vector<uint8_t> RepeatedBoxes(const std::string& type, int count)
{
    BoxBuilder box;
    for (int i = 0; i < count; ++i)
        box.Begin(type).End();
    return box.Data();
}

uint32_t Code(const char (&code)[5])
{
    return uint32_t(uint8_t(code[0])) << 24 | uint32_t(uint8_t(code[1])) << 16 | uint32_t(uint8_t(code[2])) << 8 |
           uint32_t(uint8_t(code[3]));
}

// Where the handler type stands in a handler box.
constexpr size_t kHandlerType = 16;

} // namespace

// Only the first movie box is read. A second header, table or configuration
// box is read too, the later one standing. A track's second sample table, in
// whatever box it comes, is not read: a track has one pin at most.
void AddDuplicateMovies(Family& family)
{
    const MovieEdit base = BaseEdit();
    family.Add("movie-box", MovieEdit(base).Duplicate("moov"), kBasePins);
    family.Add("empty-movie-box-first", MovieEdit(base).Insert("", base.Box("moov").start, EmptyBox("moov")), 0, 0);
    family.Add("movie-header", MovieEdit(base).Duplicate("moov.mvhd"), kBasePins);
    family.Add("track-header", MovieEdit(base).Duplicate(kVideoTrack + ".tkhd"), kBasePins);
    MovieEdit mediaHeaders(base);
    mediaHeaders.Duplicate(kVideoMedia + ".mdhd").PutIn(kVideoMedia + ".mdhd2", 20, 0);
    family.Add("media-header-second-with-time-scale-0", mediaHeaders, kBasePins);

    // A second handler box that says "soun" makes the video track a sound
    // track, whose "avc1" entry no sound pin takes; an unknown type changes
    // nothing.
    MovieEdit soundHandler(base);
    soundHandler.Duplicate(kVideoMedia + ".hdlr").PutIn(kVideoMedia + ".hdlr2", kHandlerType, Code("soun"));
    family.Add("handler-video-then-sound", soundHandler, 1);
    MovieEdit unknownHandler(base);
    unknownHandler.Duplicate(kVideoMedia + ".hdlr").PutIn(kVideoMedia + ".hdlr2", kHandlerType, Code("abcd"));
    family.Add("handler-video-then-unknown", unknownHandler, kBasePins);

    family.Add("sample-description", MovieEdit(base).Duplicate(kVideoTable + ".stsd"), kBasePins);
    family.Add("sample-entry", MovieEdit(base).Duplicate(kVideoEntry), kBasePins);
    family.Add("sample-sizes", MovieEdit(base).Duplicate(kVideoTable + ".stsz"), kBasePins);
    family.Add("chunk-offsets", MovieEdit(base).Duplicate(kVideoTable + ".stco"), kBasePins);
    family.Add("sample-to-chunk", MovieEdit(base).Duplicate(kVideoTable + ".stsc"), kBasePins);
    family.Add("sound-sample-to-chunk", MovieEdit(base).Duplicate(kSoundTable + ".stsc"), kBasePins);
    family.Add("avc-configuration", MovieEdit(base).Duplicate(kAvcConfig), kBasePins);
    family.Add("decoder-configuration", MovieEdit(base).Duplicate(kDecoderConfig), kBasePins);
    // Both 32-bit and 64-bit chunk offsets: which one is meant cannot be told.
    family.Add("chunk-offsets-32-and-64-bit", MovieEdit(base).InsertAfter(kVideoTable + ".stco", FullBox("co64", {0})),
               1);

    family.Add("sample-table", MovieEdit(base).Duplicate(kVideoTable), kBasePins);
    family.Add("media-information", MovieEdit(base).Duplicate(kVideoInfo), kBasePins);
    family.Add("media-box", MovieEdit(base).Duplicate(kVideoMedia), kBasePins);
    family.Add("video-track", MovieEdit(base).Duplicate(kVideoTrack), kBasePins + 1, kBaseTracks + 1);
    family.Add("sound-track", MovieEdit(base).Duplicate(kSoundTrack), kBasePins + 1, kBaseTracks + 1);
}

// A track without a table that locates its samples, or without the handler
// that says its kind, gets no pin; headers and configurations are optional.
void AddMissingBoxMovies(Family& family)
{
    const struct {
        const char* name;
        std::string path;
        int pins;
        int tracks;
    } missing[] = {
        {"sample-sizes", kVideoTable + ".stsz", 1, kBaseTracks},
        {"chunk-offsets", kVideoTable + ".stco", 1, kBaseTracks},
        {"sample-to-chunk", kVideoTable + ".stsc", 1, kBaseTracks},
        {"sample-description", kVideoTable + ".stsd", 1, kBaseTracks},
        {"time-to-sample", kVideoTable + ".stts", kBasePins, kBaseTracks},
        {"handler", kVideoMedia + ".hdlr", 1, kBaseTracks},
        {"media-header", kVideoMedia + ".mdhd", kBasePins, kBaseTracks},
        {"track-header", kVideoTrack + ".tkhd", kBasePins, kBaseTracks},
        {"media-information", kVideoInfo, 1, kBaseTracks},
        {"sample-table", kVideoTable, 1, kBaseTracks},
        {"media-box", kVideoMedia, 1, kBaseTracks},
        {"data-information", kVideoInfo + ".dinf", kBasePins, kBaseTracks},
        {"avc-configuration", kAvcConfig, kBasePins, kBaseTracks},
        {"decoder-configuration", kDecoderConfig, kBasePins, kBaseTracks},
        {"data-handler", kSoundInfo + ".hdlr", kBasePins, kBaseTracks},
        {"sound-sample-sizes", kSoundTable + ".stsz", 1, kBaseTracks},
        {"sound-chunk-offsets", kSoundTable + ".stco", 1, kBaseTracks},
        {"movie-header", "moov.mvhd", kBasePins, kBaseTracks},
        {"movie-box", "moov", 0, 0},
        {"file-type", "ftyp", kBasePins, kBaseTracks},
        {"media-data", "mdat", kBasePins, kBaseTracks},
    };
    const MovieEdit base = BaseEdit();
    for (const auto& box : missing)
        family.Add(box.name, MovieEdit(base).Remove(box.path), box.pins, box.tracks);
}

// The formats fix an order that the walk relies on only where it must: the
// kind comes from a handler box before the media information box.
void AddOrderMovies(Family& family)
{
    const MovieEdit base = BaseEdit();
    family.Add("handler-after-media-information", MovieEdit(base).MoveAfter(kVideoMedia + ".hdlr", kVideoInfo), 1);
    family.Add("media-header-after-media-information", MovieEdit(base).MoveAfter(kVideoMedia + ".mdhd", kVideoInfo),
               kBasePins);
    family.Add("sample-description-last", MovieEdit(base).MoveAfter(kVideoTable + ".stsd", kVideoTable + ".stco"),
               kBasePins);
    MovieEdit offsetsFirst(base);
    const std::vector<uint8_t> offsets = offsetsFirst.Copy(kVideoTable + ".stco");
    offsetsFirst.Remove(kVideoTable + ".stco").InsertFirst(kVideoTable, offsets);
    family.Add("chunk-offsets-first", offsetsFirst, kBasePins);
    family.Add("tracks-before-movie-header", MovieEdit(base).MoveAfter("moov.mvhd", "moov.trak3"), kBasePins);
    family.Add("video-track-last", MovieEdit(base).MoveAfter(kVideoTrack, "moov.trak3"), kBasePins);
}

// Walks never recurse past the levels they know and stop counting tracks at
// their bound, so neither depth nor number costs more than time linear in the
// file.
void AddNestingMovies(Family& family)
{
    const MovieEdit base = BaseEdit();
    family.Add("user-data-65536-deep", MovieEdit(base).InsertAfter("moov.mvhd", NestedBoxes("udta", 65536)), kBasePins);
    family.Add("track-10000-deep", MovieEdit(base).InsertAfter("moov.trak3", NestedBoxes("trak", 10000)), kBasePins,
               kBaseTracks + 1);
    family.Add("sample-table-10000-deep", MovieEdit(base).InsertFirst(kVideoTable, NestedBoxes("stbl", 10000)),
               kBasePins);
    family.Add("media-information-10000-deep", MovieEdit(base).InsertFirst(kVideoInfo, NestedBoxes("minf", 10000)),
               kBasePins);
    family.Add("wave-10000-deep-in-sound-entry", MovieEdit(base).InsertFirst(kSoundEntry, NestedBoxes("wave", 10000)),
               kBasePins);
    family.Add("avc-entry-children-10000-deep", MovieEdit(base).InsertFirst(kVideoEntry, NestedBoxes("pasp", 10000)),
               kBasePins);
    // The track count stops at its bound of 1024; the text stays 1000 bytes a track.
    family.Add("3000-empty-tracks", MovieEdit(base).InsertAfter("moov.trak3", RepeatedBoxes("trak", 3000)), kBasePins,
               1024);
    family.Add("100000-free-boxes-in-sample-table",
               MovieEdit(base).InsertFirst(kVideoTable, RepeatedBoxes("free", 100000)), kBasePins);
    // A track has one pin however many sample tables it holds.
    std::vector<uint8_t> tables;
    const std::vector<uint8_t> table = base.Copy(kVideoTable);
    for (int i = 0; i < 1000; ++i)
        tables.insert(tables.end(), table.begin(), table.end());
    family.Add("1000-sample-tables-in-video-track", MovieEdit(base).InsertAfter(kVideoTable, tables), kBasePins);
    MovieEdit manyTracks(base);
    for (int i = 0; i < 16; ++i)
        manyTracks.Duplicate(kVideoTrack);
    family.Add("16-more-video-tracks", manyTracks, kBasePins + 16, kBaseTracks + 16);
}

} // namespace hostile
