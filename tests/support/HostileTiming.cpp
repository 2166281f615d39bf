// Hostile movies whose timing tables do not describe the track's samples:
// decoding times that miss samples, sync samples past the end or going back,
// composition offsets that run out, edit lists with impossible durations.
// Each keeps its pin, timed in steps of the average sample duration.
#include "tests/support/HostileMovieFamilies.h"

#include "tests/support/BoxBuilder.h"

#include <cstdint>

namespace hostile {

namespace {

const std::string kDecodeTimes = kVideoTable + ".stts";
const std::string kEditList = kVideoTrack + ".edts.elst";
constexpr uint32_t kBaseSamples = 10;

// Where the fields of the first entry stand, from the first byte of the box:
// count and duration of the time-to-sample table, media time of the edit list.
enum FirstEntryField : size_t { kDecodeCount = 16, kDecodeDelta = 20, kEditMediaTime = 20 };

// The base movie with a table box of 4-byte fields after the decoding times.
MovieEdit WithTable(const std::string& type, uint8_t version, std::initializer_list<uint32_t> fields)
{
    BoxBuilder box;
    box.BeginFull(type, version);
    for (uint32_t field : fields)
        box.U32(field);
    MovieEdit edit = BaseEdit();
    return edit.InsertAfter(kDecodeTimes, box.End().Data());
}

// A version 1 edit list of (duration, media time) entries.
MovieEdit WithLongEdits(std::initializer_list<std::pair<uint64_t, int64_t>> edits)
{
    BoxBuilder box;
    box.BeginFull("elst", 1).U32(uint32_t(edits.size()));
    for (const auto& [duration, mediaTime] : edits)
        box.U64(duration).U64(uint64_t(mediaTime)).U32(0x00010000);
    return Replaced(kEditList, box.End().Data());
}

} // namespace

void AddTimingTableMovies(Family& family)
{
    family.Add("decode-counts-one-short", Patched(kDecodeTimes, kDecodeCount, kBaseSamples - 1), kBasePins);
    family.Add("decode-counts-one-over", Patched(kDecodeTimes, kDecodeCount, kBaseSamples + 1), kBasePins);
    MovieEdit endless = Patched(kDecodeTimes, kDecodeDelta, 0xFFFFFFFF);
    endless.PutIn(kVideoMedia + ".mdhd", 20, 1); // a time scale of 1: 136 years a sample
    family.Add("decode-times-past-any-movie", endless, kBasePins);

    family.Add("sync-sample-past-the-end", WithTable("stss", 0, {1, kBaseSamples + 1}), kBasePins);
    family.Add("sync-samples-going-back", WithTable("stss", 0, {3, 5, 3, 7}), kBasePins);
    family.Add("sync-sample-0", WithTable("stss", 0, {1, 0}), kBasePins);
    family.Add("sync-count-past-its-box", WithTable("stss", 0, {1000, 1}), kBasePins);

    family.Add("composition-offsets-short", WithTable("ctts", 0, {1, kBaseSamples - 1, 0}), kBasePins);
    family.Add("composition-offsets-version-2", WithTable("ctts", 2, {1, kBaseSamples, 0}), kBasePins);

    family.Add("edit-negative-duration", WithLongEdits({{0xFFFFFFFFFFFFFFF0, 0}}), kBasePins);
    family.Add("edit-duration-of-centuries", WithLongEdits({{uint64_t(1) << 50, 0}}), kBasePins);
    family.Add("empty-edits-adding-up-past-limits",
               WithLongEdits({{uint64_t(1) << 40, -1}, {uint64_t(1) << 40, -1}, {10, 0}}), kBasePins);
    family.Add("edit-media-time-below-minus-1", Patched(kEditList, kEditMediaTime, 0xFFFFFFFE), kBasePins);
    family.Add("edit-starting-past-the-media", Patched(kEditList, kEditMediaTime, 0x7FFFFFFF), kBasePins);
    family.Add("edit-count-past-its-box", Patched(kEditList, 12, 1000), kBasePins);
}

} // namespace hostile
