// Where a track's sample-to-chunk map ("stsc") lies. Like the timing tables it
// stays in the file, indexed: a two-hour sound track has a map entry for
// nearly every chunk, megabytes were they loaded.
#pragma once

#include "parser/IndexedTable.h"

#include <algorithm>
#include <cstdint>

// One sample-to-chunk entry, in host order.
struct ChunkMapEntry {
    uint32_t firstChunk;             // chunks are numbered from 1
    uint32_t samplesPerChunk;        // samples in each chunk of this run
    uint32_t sampleDescriptionIndex; // stored, not used
};

constexpr uint32_t kChunkMapEntrySize = 12; // in the file

// Run lengths are summed in 64 bits and capped here: no sample index (32 bits)
// reaches a run that starts beyond it, and the sum can no longer overflow.
constexpr uint64_t kBeyondAnySample = uint64_t(1) << 33;

struct ChunkMapIndexPoint {
    uint32_t firstChunk;  // of the indexed entry
    uint64_t firstSample; // the first sample of its run, capped at kBeyondAnySample
};

// The map in the file: entryCount entries of kChunkMapEntrySize bytes.
using ChunkMapTable = IndexedTable<ChunkMapIndexPoint>;

// The entry held by its file bytes.
ChunkMapEntry ChunkMapEntryAt(const uint8_t* bytes);

// Samples in a run: its chunks (up to the next run's first) times its samples
// per chunk, capped. A next run that starts at or before this one leaves this
// one without chunks.
inline uint64_t SamplesInRun(const ChunkMapEntry& run, uint32_t nextFirstChunk)
{
    const uint64_t chunks = nextFirstChunk > run.firstChunk ? nextFirstChunk - run.firstChunk : 0;
    return std::min(chunks * run.samplesPerChunk, kBeyondAnySample);
}

// What the box held, as checked while its index was made.
struct ChunkMapScan {
    bool read = false; // the box was whole and its entries read
    // Entries, chunks numbered from 1, each run starting after the one before
    // and holding samples: a map that says where every sample lies.
    bool usable = false;
};

// Reads the box's entries once, block by block, into the table's offset, count
// and index.
ChunkMapScan ReadChunkMap(BoxCursor& box, ChunkMapTable* table);
