// Hostile movies whose sample tables or headers hold damaging numbers: entries
// past the end of the file, counts past their boxes, empty tables, time scales
// of 0 and durations at their limits.
#include "tests/support/HostileMovieFamilies.h"

#include "tests/support/BoxBuilder.h"

#include <cstdint>

namespace hostile {

namespace {

const std::string kVideoSizes = kVideoTable + ".stsz";
const std::string kVideoOffsets = kVideoTable + ".stco";
const std::string kVideoChunkMap = kVideoTable + ".stsc";
const std::string kSoundSizes = kSoundTable + ".stsz";
const std::string kSoundOffsets = kSoundTable + ".stco";
const std::string kSoundChunkMap = kSoundTable + ".stsc";

// Where the entries of each table start and where its count stands, from the
// first byte of the box.
constexpr size_t kSizesCount = 16;
constexpr size_t kSizesEntries = 20;
constexpr size_t kOffsetsCount = 12;
constexpr size_t kOffsetsEntries = 16;
constexpr size_t kChunkMapCount = 12;
constexpr size_t kChunkMapEntries = 16;
// Time scale and duration of version 0 movie and media headers.
constexpr size_t kTimeScale = 20;
constexpr size_t kDuration = 24;
constexpr size_t kVersion = 8;

// Every 4-byte entry of a size or chunk offset table set to value.
MovieEdit EveryEntry(const std::string& path, size_t countAt, size_t entriesAt, uint32_t value)
{
    MovieEdit edit = BaseEdit();
    const BoxPlace& box = edit.Box(path);
    const uint32_t count = ReadBig32(edit.Bytes(), box.start + countAt);
    for (uint32_t i = 0; i < count; ++i)
        edit.Put32(box.start + entriesAt + 4 * size_t(i), value);
    return edit;
}

// One field of one chunk map entry (0: first chunk, 1: samples per chunk, 2:
// sample description index) set to value.
MovieEdit ChunkMapField(const std::string& path, size_t entry, size_t field, uint32_t value)
{
    MovieEdit edit = BaseEdit();
    return edit.PutIn(path, kChunkMapEntries + 12 * entry + 4 * field, value);
}

} // namespace

// Entries that the parser does not read but hands on: the tables stay whole
// and the pins are made; what the entries say is the streaming side's to bear.
// Chunk maps that break the order the sample locator counts on cost the pin.
void AddTableValueMovies(Family& family)
{
    const uint32_t fileSize = uint32_t(BaseEdit().Size());
    family.Add("chunk-offsets-past-end-of-file", EveryEntry(kVideoOffsets, kOffsetsCount, kOffsetsEntries, 0xFFFFFFF0),
               kBasePins);
    family.Add("chunk-offsets-at-end-of-file", EveryEntry(kVideoOffsets, kOffsetsCount, kOffsetsEntries, fileSize),
               kBasePins);
    family.Add("chunk-offsets-0", EveryEntry(kVideoOffsets, kOffsetsCount, kOffsetsEntries, 0), kBasePins);
    family.Add("sound-chunk-offsets-past-end-of-file",
               EveryEntry(kSoundOffsets, kOffsetsCount, kOffsetsEntries, 0xFFFFFFF0), kBasePins);
    family.Add("sample-sizes-ffffffff", EveryEntry(kVideoSizes, kSizesCount, kSizesEntries, 0xFFFFFFFF), kBasePins);
    family.Add("sample-sizes-7fffffff", EveryEntry(kVideoSizes, kSizesCount, kSizesEntries, 0x7FFFFFFF), kBasePins);
    family.Add("sample-sizes-0", EveryEntry(kVideoSizes, kSizesCount, kSizesEntries, 0), kBasePins);
    family.Add("sample-size-past-end-of-file", Patched(kVideoSizes, kSizesEntries, fileSize), kBasePins);
    family.Add("sound-sample-sizes-ffffffff", EveryEntry(kSoundSizes, kSizesCount, kSizesEntries, 0xFFFFFFFF),
               kBasePins);
    // Longer than the 13-bit frame length of an ADTS header can say.
    family.Add("sound-sample-sizes-8192", EveryEntry(kSoundSizes, kSizesCount, kSizesEntries, 8192), kBasePins);

    family.Add("chunk-map-first-chunk-0", ChunkMapField(kVideoChunkMap, 0, 0, 0), 1);
    family.Add("chunk-map-first-chunks-repeated", ChunkMapField(kVideoChunkMap, 1, 0, 1), 1);
    MovieEdit decreasing = ChunkMapField(kVideoChunkMap, 0, 0, 3);
    decreasing.PutIn(kVideoChunkMap, kChunkMapEntries + 12, 1);
    family.Add("chunk-map-first-chunks-decreasing", decreasing, 1);
    family.Add("chunk-map-samples-per-chunk-0", ChunkMapField(kVideoChunkMap, 0, 1, 0), 1);
    family.Add("sound-chunk-map-first-chunk-0", ChunkMapField(kSoundChunkMap, 0, 0, 0), 1);
    family.Add("chunk-map-samples-per-chunk-ffffffff", ChunkMapField(kVideoChunkMap, 0, 1, 0xFFFFFFFF), kBasePins);
    family.Add("chunk-map-first-chunk-ffffffff", ChunkMapField(kVideoChunkMap, 1, 0, 0xFFFFFFFF), kBasePins);
    family.Add("chunk-map-first-chunk-past-chunk-offsets", ChunkMapField(kVideoChunkMap, 1, 0, 100), kBasePins);
    family.Add("chunk-map-description-index-ffffffff", ChunkMapField(kVideoChunkMap, 0, 2, 0xFFFFFFFF), kBasePins);
}

// Entry counts that the boxes cannot hold, among them counts whose byte size
// wraps around in 32-bit arithmetic to something small. Nothing is allocated
// for them and the track gets no pin.
void AddCountMovies(Family& family)
{
    const struct {
        const char* name;
        uint32_t count;
    } huge[] = {
        {"7fffffff", 0x7FFFFFFF}, {"ffffffff", 0xFFFFFFFF}, {"40000000", 0x40000000}, // times 4 wraps to 0
        {"40000001", 0x40000001},                                                     // times 4 wraps to 4
        {"15555556", 0x15555556},                                                     // times 12 wraps to 8
    };
    for (const auto& count : huge) {
        family.Add(std::string("sample-to-chunk-") + count.name, Patched(kVideoChunkMap, kChunkMapCount, count.count),
                   1);
        family.Add(std::string("sample-sizes-") + count.name, Patched(kVideoSizes, kSizesCount, count.count), 1);
        family.Add(std::string("chunk-offsets-") + count.name, Patched(kVideoOffsets, kOffsetsCount, count.count), 1);
    }
    family.Add("sound-sample-to-chunk-7fffffff", Patched(kSoundChunkMap, kChunkMapCount, 0x7FFFFFFF), 1);
    family.Add("sound-sample-sizes-ffffffff", Patched(kSoundSizes, kSizesCount, 0xFFFFFFFF), 1);

    // One entry more than the box holds.
    MovieEdit base = BaseEdit();
    const auto oneMore = [&base](const std::string& path, size_t countAt) {
        return Patched(path, countAt, ReadBig32(base.Bytes(), base.Box(path).start + countAt) + 1);
    };
    family.Add("sample-to-chunk-one-more-than-held", oneMore(kVideoChunkMap, kChunkMapCount), 1);
    family.Add("sample-sizes-one-more-than-held", oneMore(kVideoSizes, kSizesCount), 1);
    family.Add("chunk-offsets-one-more-than-held", oneMore(kVideoOffsets, kOffsetsCount), 1);
    // Fewer chunk offsets than the chunk map needs: the pin learns the count.
    family.Add("chunk-offsets-count-1", Patched(kVideoOffsets, kOffsetsCount, 1), kBasePins);
    // Only the first sample description is read, whatever the count says.
    family.Add("sample-descriptions-0", Patched(kVideoTable + ".stsd", 12, 0), kBasePins);
    family.Add("sample-descriptions-ffffffff", Patched(kVideoTable + ".stsd", 12, 0xFFFFFFFF), kBasePins);
}

// Tables and containers with nothing in them.
void AddEmptyTableMovies(Family& family)
{
    family.Add("sample-to-chunk", Replaced(kVideoChunkMap, FullBox("stsc", {0})), 1);
    // No samples to stream: the pin is made and ends its stream at once.
    family.Add("sample-sizes", Replaced(kVideoSizes, FullBox("stsz", {0, 0})), kBasePins);
    family.Add("chunk-offsets", Replaced(kVideoOffsets, FullBox("stco", {0})), kBasePins);
    family.Add("sample-description", Replaced(kVideoTable + ".stsd", FullBox("stsd", {0})), 1);
    family.Add("time-to-sample", Replaced(kVideoTable + ".stts", FullBox("stts", {0})), kBasePins);
    family.Add("sound-sample-to-chunk", Replaced(kSoundChunkMap, FullBox("stsc", {0})), 1);
    family.Add("sound-sample-sizes", Replaced(kSoundSizes, FullBox("stsz", {0, 0})), kBasePins);
    // A constant size needs no table: every sample has it.
    family.Add("constant-sample-size", Replaced(kVideoSizes, FullBox("stsz", {8, 10})), kBasePins);
    family.Add("sound-constant-sample-size", Replaced(kSoundSizes, FullBox("stsz", {8, 12})), kBasePins);

    family.Add("sample-table", Replaced(kVideoTable, EmptyBox("stbl")), 1);
    family.Add("media-information", Replaced(kVideoInfo, EmptyBox("minf")), 1);
    family.Add("media-box", Replaced(kVideoMedia, EmptyBox("mdia")), 1);
    family.Add("track-box", Replaced(kVideoTrack, EmptyBox("trak")), 1);
    family.Add("sound-track-box", Replaced(kSoundTrack, EmptyBox("trak")), 1);
    family.Add("movie-box", Replaced("moov", EmptyBox("moov")), 0, 0);
}

// Time scales of 0 divide nowhere; durations at their limits stay in range.
void AddTimingMovies(Family& family)
{
    const std::string videoHeader = kVideoMedia + ".mdhd";
    const std::string soundHeader = kSoundMedia + ".mdhd";
    family.Add("video-time-scale-0", Patched(videoHeader, kTimeScale, 0), kBasePins);
    family.Add("sound-time-scale-0", Patched(soundHeader, kTimeScale, 0), kBasePins);
    family.Add("movie-time-scale-0", Patched("moov.mvhd", kTimeScale, 0), kBasePins);
    family.Add("video-duration-0", Patched(videoHeader, kDuration, 0), kBasePins);
    MovieEdit longest = Patched(videoHeader, kTimeScale, 1);
    longest.PutIn(videoHeader, kDuration, 0xFFFFFFFF);
    family.Add("video-duration-ffffffff-at-time-scale-1", longest, kBasePins);
    MovieEdit longestSound = Patched(soundHeader, kTimeScale, 1);
    longestSound.PutIn(soundHeader, kDuration, 0xFFFFFFFF);
    family.Add("sound-duration-ffffffff-at-time-scale-1", longestSound, kBasePins);

    // A version 1 header in a box of version 0 size: its fields run past the box.
    MovieEdit version1 = BaseEdit();
    version1.Put8(version1.Box(videoHeader).start + kVersion, 1);
    family.Add("version-1-media-header-in-version-0-box", version1, kBasePins);
    MovieEdit trackVersion1 = BaseEdit();
    trackVersion1.Put8(trackVersion1.Box(kVideoTrack + ".tkhd").start + kVersion, 1);
    family.Add("version-1-track-header-in-version-0-box", trackVersion1, kBasePins);
    MovieEdit movieVersion1 = BaseEdit();
    movieVersion1.Put8(movieVersion1.Box("moov.mvhd").start + kVersion, 1);
    family.Add("version-1-movie-header-in-version-0-box", movieVersion1, kBasePins);
    MovieEdit version255 = BaseEdit();
    version255.Put8(version255.Box(videoHeader).start + kVersion, 0xFF);
    family.Add("media-header-version-255", version255, kBasePins);

    MovieSpec spec = BaseSpec();
    spec.tracks[0].headerVersion = 1;
    spec.tracks[0].longDuration = 0xFFFFFFFFFFFFFFFF;
    family.Add("version-1-headers-with-largest-duration", BuildMovie(spec), kBasePins);
    spec.tracks[0].timeScale = 0;
    family.Add("version-1-headers-with-time-scale-0", BuildMovie(spec), kBasePins);
    spec.tracks[0].timeScale = 1;
    spec.tracks[0].longDuration = 0x0000000100000000; // one more than 32 bits hold
    family.Add("version-1-duration-past-32-bits", BuildMovie(spec), kBasePins);
}

} // namespace hostile
