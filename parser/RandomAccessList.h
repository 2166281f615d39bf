// The fragment boxes that a fragmented file lists in its movie fragment
// random access box ("mfra", found through the "mfro" box that ends the
// file): a "tfra" per track, each entry a time and the position of the
// fragment box that holds it. The walk over the fragments reads the listed
// boxes in batches; it checks every entry against the file, so a list that
// is wrong costs reads, never samples.
#pragma once

#include "parser/BoxReader.h"

#include <cstdint>
#include <memory>

class RandomAccessList {
public:
    // Reads the longest of the lists at the file's end (a track with a sync
    // sample in every fragment names them all); empty when there is none.
    void Read(BoxReader& reader);

    // Ascending, without repeats.
    const int64_t* Positions() const { return positions.get(); }
    uint32_t Count() const { return count; }

private:
    std::unique_ptr<int64_t[]> positions;
    uint32_t count = 0;
};
