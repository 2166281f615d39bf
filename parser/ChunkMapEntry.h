// One sample-to-chunk entry, in host order.
#pragma once

#include <cstdint>

struct ChunkMapEntry {
    uint32_t firstChunk;             // chunks are numbered from 1
    uint32_t samplesPerChunk;        // samples in each chunk of this run
    uint32_t sampleDescriptionIndex; // stored, not used
};
