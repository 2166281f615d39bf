// Assembles whole small movies (ftyp, moov with tracks, mdat) from a short
// description, for tests that need real box trees with exact contents.
#pragma once

#include "parser/ChunkMapTable.h"
#include "tests/support/BoxBuilder.h"

#include <cstdint>
#include <string>
#include <vector>

struct TrackSpec {
    std::string handlerType = "vide"; // of the media box's handler box
    std::string format = "avc1";      // code of the one sample entry
    uint32_t trackId = 1;
    uint32_t timeScale = 90000;
    uint32_t duration = 90000;
    bool trackReferenceAndEditList = false; // "tref" and "edts" before the media box
    uint8_t headerVersion = 0;              // 1: track and media headers with 64-bit times
    uint64_t longDuration = 0;              // the duration of version 1 headers, when not 0

    // Visual entries; an "avc1" entry gets an "avcC" box with these sets.
    uint16_t width = 320;
    uint16_t height = 240;
    uint16_t depth = 24;
    std::vector<uint8_t> sps = {0x67, 0x42, 0xC0, 0x0D, 0xDA};
    std::vector<uint8_t> pps = {0x68, 0xCE, 0x0F, 0xC8};
    bool avcConfig = true;
    uint32_t boxesBeforeAvcConfig = 0; // "pasp" boxes between the visual fields and "avcC"

    // Sound entries; a non-empty AudioSpecificConfig gets an "esds" box.
    uint16_t channels = 2;
    uint16_t bitsPerSample = 16;
    uint16_t sampleRate = 44100; // the integer part of the 16.16 rate
    uint16_t soundVersion = 0;   // 1 and 2 add their extension fields
    std::vector<uint8_t> audioSpecificConfig;
    bool decoderConfigInWave = false; // inside a QuickTime "wave" box

    // Whole boxes written at the end of the sample entry, after its fields and
    // the boxes above (an "hvcC", a "dac3", a "pcmC", ...).
    std::vector<uint8_t> entryBoxes;
    // The version 1 or 2 sound fields, written instead of zeros when not empty.
    std::vector<uint8_t> soundExtension;

    // A handler box inside the media information box (QuickTime), its name
    // written as given (a counted name with its length byte); none when empty.
    std::string dataHandlerName;

    // Sample tables; the chunk offsets point at the track's samples in "mdat".
    std::vector<ChunkMapEntry> chunkMap = {{1, 1, 1}};
    uint32_t sampleCount = 10;
    uint32_t sampleSize = 8;               // every entry of the size table
    uint32_t constantSampleSize = 0;       // written instead of entries when not 0
    bool sampleSizes = true;               // "stsz" present
    bool chunkOffsets = true;              // "stco" present
    bool chunkOffsets64 = false;           // "co64" instead of "stco"
    uint32_t fillerBeforeChunkOffsets = 0; // size of a "free" box before the chunk offsets
};

struct MovieSpec {
    std::vector<TrackSpec> tracks;
    bool mediaDataFirst = false; // "mdat" before "moov"
    uint32_t movieTimeScale = 1000;
    uint32_t movieDuration = 1000;
    uint32_t fillerBeforeMovie = 0;    // size of a top-level "free" box just before "moov"
    bool unknownMovieChildren = false; // "udta" and "iods" before the first track
};

// Where things landed in the built file.
struct MovieLayout {
    size_t movieOffset = 0;
    size_t movieSize = 0;
    std::vector<size_t> sampleSizeBoxes;  // file offsets of each track's "stsz"
    std::vector<size_t> chunkOffsetBoxes; // of each track's "stco" (or "co64")
    std::vector<size_t> firstSampleOffsets;
};

// The number of chunks that a chunk map spreads sampleCount samples over.
uint32_t ChunkCountFor(const std::vector<ChunkMapEntry>& chunkMap, uint32_t sampleCount);

std::vector<uint8_t> BuildMovie(const MovieSpec& spec, MovieLayout* layout = nullptr);

// Writes one track box to a builder (for tests that place it themselves);
// chunk offsets are written relative to mediaDataStart.
void WriteTrack(BoxBuilder& box, const TrackSpec& track, uint32_t mediaDataStart, size_t* sampleSizeBox = nullptr,
                size_t* chunkOffsetBox = nullptr);
