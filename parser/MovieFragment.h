// What one movie fragment box ("moof") says about the samples of each track:
// read from the box's bytes in memory, track fragment ("traf") by track
// fragment, run ("trun") by run. The parser reads every fragment once at load
// to count its samples; a pin reads a fragment again when it reaches it.
#pragma once

#include <cstddef>
#include <cstdint>

// A track's defaults for its fragments, from the movie extends box ("trex").
struct FragmentDefaults {
    uint32_t duration = 0;
    uint32_t size = 0;
    uint32_t flags = 0;
};

// The defaults of every track the movie extends box names.
class FragmentDefaultsTable {
public:
    static constexpr uint32_t kMaxTracks = 64;

    // Null for a track the movie does not name.
    const FragmentDefaults* Find(uint32_t trackId) const;
    // False when the table is full or names the track already (its first
    // defaults stay).
    bool Add(uint32_t trackId, const FragmentDefaults& defaults);
    uint32_t Count() const { return count; }
    uint32_t TrackId(uint32_t i) const { return ids[i]; }

private:
    uint32_t ids[kMaxTracks] = {};
    FragmentDefaults defaults[kMaxTracks];
    uint32_t count = 0;
};

// One sample of a run, with every default applied; the reader fills every
// field (no initial values: it makes them by the hundred).
struct FragmentSample {
    int64_t offset; // of its bytes in the file
    uint32_t size;
    uint32_t duration;         // decoding duration, in the media's time scale
    int64_t compositionOffset; // presentation time less decoding time
    bool sync;
};

// A run's samples added up, for a caller that wants only how many there are
// and how long they last.
struct FragmentRunTotals {
    uint32_t count = 0;
    uint64_t duration = 0;   // the decoding durations added up
    int64_t leastOffset = 0; // the most negative composition offset, 0 when none is
};

// The caller's side of a read: it takes the samples of the tracks it wants,
// in file order, one by one or as each run's totals.
class FragmentVisitor {
public:
    // A track fragment of a track of the table begins; decodeTime is its
    // "tfdt" value when hasDecodeTime. True when its samples are wanted.
    virtual bool BeginTrack(uint32_t trackId, bool hasDecodeTime, uint64_t decodeTime) = 0;
    // Whether the wanted samples come one by one (TakeSamples) or as the
    // totals of each run (TakeTotals): totals are added up from the run's
    // fields where they lie, several times faster.
    virtual bool TakesEachSample() const = 0;
    // The next samples of the wanted track begun last, in order; false
    // stops the read.
    virtual bool TakeSamples(const FragmentSample*, uint32_t) { return false; }
    virtual void TakeTotals(const FragmentRunTotals&) {}

protected:
    ~FragmentVisitor() = default;
};

// More samples than this in one fragment are taken as damage: runs whose
// fields all come from defaults take no bytes per sample, so the box's size
// does not bound them.
constexpr uint32_t kMaxFragmentSamples = 1u << 18;

// Reads the fragment whose box's payload (what follows its header) is in
// payload, the box starting at file position moofOffset, in a file of fileEnd bytes. Track
// fragments of tracks the table does not name are passed over. False when
// something in it cannot be used (a run longer than its box, sample data
// before the fragment or past the file end, a run before its track fragment
// header, too many samples): the samples handed over before it are good.
bool ReadMovieFragment(const uint8_t* payload, size_t size, int64_t moofOffset, int64_t fileEnd,
                       const FragmentDefaultsTable& defaults, FragmentVisitor& visitor);
