// Where a fragmented movie's samples are: one record per fragment and track,
// made at load by one walk over the file's top-level boxes that reads each
// movie fragment box once. What is kept does not grow with the samples: a
// pin reads a fragment's runs again when it reaches it.
#pragma once

#include "parser/BoxReader.h"
#include "parser/FragmentWalk.h"
#include "parser/MovieFragment.h"

#include <cstdint>
#include <cstdlib>
#include <memory>

struct FragmentRecord {
    int64_t moofOffset = 0;   // where the fragment's box starts
    uint64_t decodeTime = 0;  // of the track's first sample in it, before TrackFragments::TimeBase()
    uint32_t firstSample = 0; // counted from the track's first fragment
    uint32_t sampleCount = 0; // the track's samples in the fragment
    uint32_t moofSize = 0;    // of the payload
    uint16_t moofHeader = 0;  // the box header's size (8 or 16): the payload follows it
};

class TrackFragments {
public:
    TrackFragments(uint32_t trackId, std::shared_ptr<const FragmentDefaultsTable> defaults)
        : trackId(trackId), defaults(std::move(defaults))
    {
    }

    const uint32_t trackId;
    // Every track's: a fragment is read whole, its other tracks' runs
    // included, since a track fragment's data may follow the one before.
    const std::shared_ptr<const FragmentDefaultsTable> defaults;

    // The samples of the movie box's own tables come first, and without a
    // decoding time of their own the fragments follow where the tables end.
    // Set once the track's sample table has been walked.
    uint32_t tableSamples = 0;
    uint64_t tableTime = 0;

    uint32_t RecordCount() const { return recordCount; }
    const FragmentRecord& Record(uint32_t i) const { return records[i]; }
    // Samples and decoding time of the fragments alone.
    uint32_t SampleCount() const { return sampleCount; }
    // Added to a record's decoding time: 0 when the fragments carry their
    // own ("tfdt"), the tables' end when they do not.
    uint64_t TimeBase() const { return ownTimes ? 0 : tableTime; }
    uint64_t EndTime() const { return endTime + TimeBase(); }
    // The largest fragment box payload and sample count of the track: a pin sizes
    // its buffers by them once.
    uint32_t LargestFragment() const { return largestMoof; }
    uint32_t MostSamples() const { return mostSamples; }

    // The record holding a sample counted from the first fragment, and the
    // last record whose first sample's decoding time (TimeBase() applied) is
    // at or before t; 0 when none is.
    uint32_t RecordOfSample(uint32_t sample) const;
    uint32_t RecordAtTime(uint64_t t) const;

    // What one more fragment holds for the track; false, with nothing added,
    // when it cannot follow (out of memory, a decoding time that goes back):
    // the track then ends before it.
    bool Append(int64_t moofOffset, uint32_t moofHeader, uint32_t moofSize, const FragmentTally& tally);
    // The most negative composition offset of the fragments' samples; 0 when
    // none is negative.
    int64_t LeastOffset() const { return leastOffset; }
    // Where the bytes of the first sample of the first fragment lie, read
    // through any cursor of the file: what a description that is told by its
    // stream's first frame reads when the tables hold no samples. False when
    // the fragment cannot be read.
    bool FirstSampleOffset(const BoxCursor& file, int64_t* offset) const;

private:
    // Room for count records; false without memory.
    bool Reserve(uint32_t count);

    struct Free {
        void operator()(FragmentRecord* records) const { std::free(records); }
    };
    // Grown by realloc, in place where the allocator can: records are neither
    // zeroed nor copied each time the room doubles.
    std::unique_ptr<FragmentRecord[], Free> records;
    uint32_t recordCount = 0;
    uint32_t capacity = 0;
    uint32_t sampleCount = 0;
    uint64_t endTime = 0;
    bool ownTimes = false;
    uint32_t largestMoof = 0;
    uint32_t mostSamples = 0;
    int64_t leastOffset = 0;
};

// The movie's fragments: one index per track that the movie extends box
// names. Empty for a movie without one.
class MovieFragments {
public:
    bool Present() const { return trackCount > 0; }
    uint32_t TrackCount() const { return trackCount; }
    uint32_t FragmentCount() const { return fragmentCount; }
    std::shared_ptr<TrackFragments> Find(uint32_t trackId) const;

    // Reads the track defaults of the movie extends box ("mvex"/"trex").
    void ReadDefaults(BoxCursor moov);
    // Walks the file's top-level boxes and indexes every movie fragment; the
    // walk ends at the first fragment that cannot be used, keeping what came
    // before it.
    void Index(BoxReader& reader);

private:
    void ReadExtends(BoxCursor& mvex);

    std::shared_ptr<FragmentDefaultsTable> defaults;
    std::shared_ptr<TrackFragments> tracks[FragmentDefaultsTable::kMaxTracks];
    uint32_t trackCount = 0;
    uint32_t fragmentCount = 0;
};
