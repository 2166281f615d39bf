// The walk over a fragmented file's top-level boxes that reads every movie
// fragment box once and adds up what each holds for each track from its
// runs' fields. A two-hour recording holds thousands: box by box that is a
// system call a fragment, and where the file lists its fragment boxes the
// walk reads them in batches instead.
#pragma once

#include "parser/BoxReader.h"
#include "parser/MovieFragment.h"

#include <cstdint>

// What one fragment holds for one track.
struct FragmentTally {
    uint32_t samples = 0;
    uint64_t duration = 0; // the samples' decoding durations added up
    bool hasDecodeTime = false;
    uint64_t decodeTime = 0; // the track fragment's "tfdt" when hasDecodeTime
    int64_t leastOffset = 0; // the most negative composition offset, 0 when none is
    bool begun = false;
};

// One movie fragment box as the walk found it.
struct FoundFragment {
    int64_t moofOffset = 0;
    uint32_t headerSize = 0; // the payload follows it
    uint32_t size = 0;       // of the payload
};

// Takes the fragments in file order, each with one tally per track of the
// walk (empty for a track it does not hold).
class FragmentSink {
public:
    virtual void Take(const FoundFragment& fragment, const FragmentTally* tallies) = 0;

protected:
    ~FragmentSink() = default;
};

// Walks the file and hands every fragment to the sink. The walk ends at the
// first fragment that cannot be used, after handing over the samples before
// the damage; what follows it is not trusted. The positions of fragment
// boxes that the file lists (ascending; none, or wrong ones, only cost reads)
// let it read many at once.
void WalkFragments(BoxReader& reader, const FragmentDefaultsTable& defaults, const uint32_t* trackIds,
                   uint32_t trackCount, const int64_t* listed, uint32_t listedCount, FragmentSink& sink);
