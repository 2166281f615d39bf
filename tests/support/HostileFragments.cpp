// Hostile fragmented movies: a movie box whose tracks hold no samples, the
// track defaults in "mvex", then three fragments of four pictures and four
// sound frames each. Damage in a fragment ends the tracks at the last good
// sample before it; the pins stay, and a track left without samples ends its
// stream at once.
#include "tests/support/HostileMovieFamilies.h"

#include "parser/MovieFragment.h"
#include "tests/support/BoxBuilder.h"

namespace hostile {

namespace {

constexpr uint32_t kVideoId = 1;
constexpr uint32_t kSoundId = 2;
constexpr uint32_t kRunSamples = 4; // of each track in each fragment
constexpr size_t kAllSamples = 3 * kRunSamples;
constexpr uint32_t kSampleSize = 8;
constexpr uint32_t kVideoDuration = 3600; // 90,000 / 25
constexpr uint32_t kSoundDuration = 1024;

// tfhd: data offsets count from the fragment box. trun: a data offset, the
// first sample's flags, a size per sample.
constexpr uint32_t kBaseDataOffset = 0x000001;
constexpr uint32_t kBaseIsMoof = 0x020000;
constexpr uint32_t kDataOffset = 0x000001;
constexpr uint32_t kFirstSampleFlags = 0x000004;
constexpr uint32_t kSampleSizes = 0x000200;
constexpr uint32_t kSyncFlags = 0x02000000;    // depends on no other sample
constexpr uint32_t kNonSyncFlags = 0x01010000; // depends on others, not a sync sample

// Where fields stand, from the first byte of their box.
enum Field : size_t {
    kSizeField = 0,
    kTrackIdField = 12,
    kDecodeTimeHigh = 12, // of a version 1 "tfdt"
    kRunCount = 12,
    kRunDataOffset = 16,
    kRunSizes = 24,
    kDefaultSize = 24, // of a "trex"
};

// The video track's sizes are in its runs, the sound track's in its defaults.
std::vector<uint8_t> Extends()
{
    BoxBuilder box;
    box.Begin("mvex");
    box.Bytes(FullBox("trex", {kVideoId, 1, kVideoDuration, 0, kNonSyncFlags}));
    box.Bytes(FullBox("trex", {kSoundId, 1, kSoundDuration, kSampleSize, kSyncFlags}));
    return box.End().Data();
}

// The fragment of this sequence number (from 1) with a run for each track,
// and its media data box. A track other than the video one is timed and
// sized as the sound track is.
std::vector<uint8_t> Fragment(uint32_t sequence, std::initializer_list<uint32_t> trackIds)
{
    BoxBuilder box;
    box.Begin("moof").Bytes(FullBox("mfhd", {sequence}));
    std::vector<size_t> dataOffsets;
    for (const uint32_t trackId : trackIds) {
        const bool video = trackId == kVideoId;
        const uint64_t decodeTime = uint64_t(sequence - 1) * kRunSamples * (video ? kVideoDuration : kSoundDuration);
        box.Begin("traf").BeginFull("tfhd", 0, kBaseIsMoof).U32(trackId).End();
        box.BeginFull("tfdt", 1).U64(decodeTime).End();
        box.BeginFull("trun", 0, kDataOffset | (video ? kFirstSampleFlags | kSampleSizes : 0)).U32(kRunSamples);
        dataOffsets.push_back(box.Position());
        box.U32(0);
        if (video) {
            box.U32(kSyncFlags);
            for (uint32_t i = 0; i < kRunSamples; ++i)
                box.U32(kSampleSize);
        }
        box.End().End();
    }
    box.End();
    uint32_t dataOffset = uint32_t(box.Position()) + 8;
    for (const size_t at : dataOffsets) {
        box.Patch32(at, dataOffset);
        dataOffset += kRunSamples * kSampleSize;
    }
    box.Begin("mdat");
    for (uint32_t i = 0; i < dataOffsets.size() * kRunSamples * kSampleSize; ++i)
        box.U8(uint8_t(sequence + i));
    return box.End().Data();
}

// The movie box of the base movie's video and sound tracks, without samples
// or edits, then an empty media data box and the fragments.
MovieEdit FragmentedMovie(std::initializer_list<std::vector<uint8_t>> fragments, const std::vector<uint8_t>& extends)
{
    MovieSpec spec = BaseSpec();
    spec.mediaDataFirst = false;
    spec.tracks.resize(2);
    for (TrackSpec& track : spec.tracks) {
        track.sampleCount = 0;
        track.trackReferenceAndEditList = false;
    }
    MovieEdit movie(BuildMovie(spec));
    movie.InsertAfter(kSoundTrack, extends);
    std::vector<uint8_t> bytes = movie.Bytes();
    for (const std::vector<uint8_t>& fragment : fragments)
        bytes.insert(bytes.end(), fragment.begin(), fragment.end());
    return MovieEdit(bytes);
}

MovieEdit FragmentedMovie(std::initializer_list<std::vector<uint8_t>> fragments)
{
    return FragmentedMovie(fragments, Extends());
}

MovieEdit WholeMovie()
{
    return FragmentedMovie(
        {Fragment(1, {kVideoId, kSoundId}), Fragment(2, {kVideoId, kSoundId}), Fragment(3, {kVideoId, kSoundId})});
}

// The movie with a random access box at its end that lists these positions
// as the video track's fragment boxes.
MovieEdit Listed(const MovieEdit& movie, std::initializer_list<uint64_t> positions)
{
    BoxBuilder box;
    box.Begin("mfra").BeginFull("tfra", 1).U32(kVideoId).U32(0).U32(uint32_t(positions.size()));
    for (const uint64_t position : positions)
        box.U64(0).U64(position).U8(1).U8(1).U8(1);
    box.End().BeginFull("mfro").U32(0).End().End();
    std::vector<uint8_t> list = box.Data();
    BoxBuilder size;
    size.U32(uint32_t(list.size()));
    std::copy(size.Data().begin(), size.Data().end(), list.end() - 4);
    std::vector<uint8_t> bytes = movie.Bytes();
    bytes.insert(bytes.end(), list.begin(), list.end());
    return MovieEdit(bytes);
}

std::vector<uint8_t> Cut(const MovieEdit& movie, size_t at)
{
    return std::vector<uint8_t>(movie.Bytes().begin(), movie.Bytes().begin() + std::ptrdiff_t(at));
}

} // namespace

void AddFragmentMovies(Family& family)
{
    constexpr int kTracks = 2;
    const std::vector<size_t> all = {kAllSamples, kAllSamples};
    const std::vector<size_t> firstFragment = {kRunSamples, kRunSamples};
    const MovieEdit whole = WholeMovie();
    family.Add("whole", whole, kBasePins, kTracks, all);

    // One number of the whole movie overwritten. The video run comes first in
    // each fragment: damage in it loses the sound run after it too.
    const struct {
        const char* name;
        std::string path;
        size_t offset;
        uint32_t value;
        std::vector<size_t> samples;
    } patched[] = {
        {"run-count-past-its-box", "moof2.traf.trun", kRunCount, 1000, firstFragment},
        {"first-run-count-past-its-box", "moof.traf.trun", kRunCount, 1000, {0, 0}},
        {"run-data-past-end-of-file", "moof3.traf.trun", kRunSizes + 2 * 4, 0x10000, {2 * kRunSamples + 2, 8}},
        {"data-offset-before-its-fragment", "moof2.traf.trun", kRunDataOffset, 0xFFFFFFF0, firstFragment},
        {"data-offset-past-2-gib", "moof2.traf2.trun", kRunDataOffset, 0x7FFFFFFF, {2 * kRunSamples, kRunSamples}},
        {"fragment-header-size-0", "moof2.mfhd", kSizeField, 0, firstFragment},
        {"fragment-header-size-ffffffff", "moof2.mfhd", kSizeField, 0xFFFFFFFF, firstFragment},
        {"track-fragment-size-0", "moof2.traf", kSizeField, 0, firstFragment},
        {"run-size-ffffffff", "moof2.traf.trun", kSizeField, 0xFFFFFFFF, firstFragment},
        // Cut at the file end like any top-level box: its runs are whole.
        {"fragment-size-past-end-of-file", "moof3", kSizeField, 0xFFFFFFFF, {kAllSamples, kAllSamples}},
        {"track-fragment-of-no-track", "moof2.traf2.tfhd", kTrackIdField, 9, {kAllSamples, 8}},
        // A time that no movie reaches ends the track before it; a jump of
        // centuries does not.
        {"decode-time-past-any-movie", "moof.traf.tfdt", kDecodeTimeHigh, 0xFFFFFFFF, {0, kAllSamples}},
        {"decode-time-of-centuries", "moof3.traf.tfdt", kDecodeTimeHigh, 0x20000000, {kAllSamples, kAllSamples}},
    };
    for (const auto& patch : patched)
        family.Add(patch.name, MovieEdit(whole).PutIn(patch.path, patch.offset, patch.value), kBasePins, kTracks,
                   patch.samples);

    // A track fragment of a track that the movie does not have is passed over.
    family.Add("track-fragment-of-no-track-between",
               FragmentedMovie({Fragment(1, {kVideoId, kSoundId}), Fragment(2, {kVideoId, 9, kSoundId}),
                                Fragment(3, {kVideoId, kSoundId})}),
               kBasePins, kTracks, all);
    // The third fragment's times come before the second's: the tracks end
    // where their times go back.
    family.Add("fragments-out-of-order",
               FragmentedMovie({Fragment(1, {kVideoId, kSoundId}), Fragment(3, {kVideoId, kSoundId}),
                                Fragment(2, {kVideoId, kSoundId})}),
               kBasePins, kTracks, {8, 8});
    // Runs whose samples take every field from the defaults (empty pictures
    // here): no byte of the box bounds their count. As many as a fragment may
    // hold are read, leaving no room for the sound run after them; the
    // largest count is damage.
    BoxBuilder most;
    most.BeginFull("trun").U32(kMaxFragmentSamples).End();
    family.Add("run-of-most-samples-from-defaults",
               MovieEdit(whole).InsertAfter("moof2.traf.trun", most.Data()).Remove("moof2.traf.trun"), kBasePins,
               kTracks, {kRunSamples + kMaxFragmentSamples, kRunSamples});
    BoxBuilder endless;
    endless.BeginFull("trun").U32(0xFFFFFFFF).End();
    family.Add("run-of-ffffffff-samples-from-defaults",
               MovieEdit(whole).InsertAfter("moof2.traf.trun", endless.Data()).Remove("moof2.traf.trun"), kBasePins,
               kTracks, firstFragment);

    // The sound run's base lies past any file: the video run before it is
    // read again when its pin reaches the fragment.
    BoxBuilder farBase;
    farBase.BeginFull("tfhd", 0, kBaseDataOffset).U32(kSoundId).U64(0x7FFFFFFFFFFFFFFF).End();
    family.Add("base-offset-past-any-file",
               MovieEdit(whole).InsertAfter("moof2.traf2.tfhd", farBase.Data()).Remove("moof2.traf2.tfhd"), kBasePins,
               kTracks, {2 * kRunSamples, kRunSamples});

    family.Add("cut-inside-fragment-box", Cut(whole, whole.Box("moof2.traf2.trun").start + 10), kBasePins, kTracks,
               firstFragment);
    // The third picture's bytes are cut.
    family.Add("cut-inside-media-data", Cut(whole, whole.Box("mdat4").start + 8 + 2 * kSampleSize + 4), kBasePins,
               kTracks, {2 * kRunSamples + 2, 8});

    // A random access list only saves reads: whatever it says, the samples
    // are those that the boxes hold.
    const uint64_t moof[] = {whole.Box("moof").start, whole.Box("moof2").start, whole.Box("moof3").start};
    const MovieEdit between = MovieEdit(whole).InsertAfter("mdat3", FullBox("free", {0}));
    const MovieEdit damaged = MovieEdit(whole).PutIn("moof2.traf.trun", kRunCount, 1000);
    const struct {
        const char* name;
        MovieEdit movie;
        std::vector<size_t> samples;
    } listed[] = {
        {"listed", Listed(whole, {moof[0], moof[1], moof[2]}), all},
        {"listed-wrongly", Listed(whole, {moof[0], whole.Box("mdat2").start, moof[1] + 8, moof[2], 0x7FFFFFFFFFFF}),
         all},
        {"listed-without-a-fragment", Listed(whole, {moof[0], moof[2]}), all},
        {"listed-box-between", Listed(between, {moof[0], moof[1], between.Box("moof3").start}), all},
        {"listed-with-damage", Listed(damaged, {moof[0], moof[1], moof[2]}), firstFragment},
    };
    for (const auto& movie : listed)
        family.Add(movie.name, movie.movie, kBasePins, kTracks, movie.samples);

    // A track whose samples all lie in fragments needs no tables.
    MovieEdit noTables(whole);
    for (const char* table : {".stts", ".stsc", ".stsz", ".stco"})
        noTables.Remove(kVideoTable + table);
    family.Add("no-sample-tables", noTables, kBasePins, kTracks, all);

    // Without defaults a track has no fragments; a track's second defaults
    // are not read.
    MovieEdit noSoundDefaults(whole);
    family.Add("no-sound-defaults", noSoundDefaults.Remove("moov.mvex.trex2"), kBasePins, kTracks, {kAllSamples, 0});
    MovieEdit twice(whole);
    twice.Duplicate("moov.mvex.trex2").PutIn("moov.mvex.trex3", kDefaultSize, 0x10000000); // past the file
    family.Add("sound-defaults-twice", twice, kBasePins, kTracks, all);
    family.Add("no-movie-extends",
               FragmentedMovie({Fragment(1, {kVideoId, kSoundId}), Fragment(2, {kVideoId, kSoundId})}, {}), kBasePins,
               kTracks, {0, 0});
}

} // namespace hostile
