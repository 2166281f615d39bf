// The per-track values that the parser reads, one record per track box.
#pragma once

#include <cstdint>

// A track's kind as the walkers pass it down; not stored in the record.
enum class HandlerKind : int32_t {
    Video = 0, // "vide"
    Sound = 1, // "soun"
    Text = 2,  // "text"
    Other = -1,
};

// Records are chained after the movie record's sentinel in file order. Fields
// whose box never came stay zero or empty.
struct TrackRecord {
    uint32_t trackId = 0;
    uint32_t timeScale = 0; // media time units per second
    uint32_t duration = 0;  // in timeScale units
    char handlerType[5] = {};
    char sampleFormat[5] = {};
    uint32_t sampleCount = 0;   // with the samples of its movie fragments
    uint32_t fragmentCount = 0; // movie fragments that hold samples of the track
    char handlerName[32] = {}; // from a handler box inside the media information box
    TrackRecord* next = nullptr;
};
