// Where a track's sample times come from: the decoding time table ("stts"),
// the composition offsets ("ctts") and the sync sample table ("stss") stay in
// the file; the pin reads them entry by entry as it streams. What is kept in
// memory is one index point per kTimingIndexStride entries of each table, so
// that a seek finds its place after reading one block of entries, and the
// track's edit start.
#pragma once

#include "parser/EditList.h"
#include "parser/IndexedTable.h"

#include <cstdint>

constexpr uint32_t kTimingIndexStride = kTableIndexStride;

// The sum of the decoding durations is kept below this, so that it and the
// offsets added to it stay inside 64 signed bits.
constexpr uint64_t kMaxDecodeTime = uint64_t(1) << 62;
// Tables and edits that last longer than this are taken as damage; in 100-ns
// units it is far inside 63 bits.
constexpr uint64_t kMaxTimingSeconds = uint64_t(1) << 32;

struct TimingIndexPoint {
    uint64_t firstSample; // of the indexed entry (stss: the entry's sample number)
    uint64_t decodeTime;  // stts: the decoding time of that sample
};

// One table in the file: entryCount entries of 8 bytes (stts, ctts) or 4 (stss).
using TimingTable = IndexedTable<TimingIndexPoint>;

struct TimingTables {
    uint32_t timeScale = 0;      // of the media
    uint32_t movieTimeScale = 0; // of the edit list
    uint32_t sampleCount = 0;
    uint64_t totalDecodeTime = 0; // the sum of every decoding duration
    TimingTable decodeTimes;
    TimingTable compositionOffsets;
    bool signedOffsets = false; // version 1 composition offsets
    TimingTable syncSamples;
    EditStart edit;
};

// What a table box held, as checked while its index was made.
struct TimingTableScan {
    bool read = false;       // the box was whole and its entries read
    uint64_t sampleSum = 0;  // stts, ctts: the counts added up
    uint64_t timeSum = 0;    // stts: the durations added up
    uint64_t lastSample = 0; // stss: the last sample number
    bool ordered = true;     // stss: numbers from 1, each above the one before
};

// Each reads one box's entries once, block by block, into the table's offset,
// count and index.
TimingTableScan ReadDecodeTimes(BoxCursor& box, TimingTable* table);
TimingTableScan ReadCompositionOffsets(BoxCursor& box, TimingTable* table, bool* signedOffsets);
TimingTableScan ReadSyncSamples(BoxCursor& box, TimingTable* table);
