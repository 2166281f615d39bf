// A file laid out like the part of a movie the sample locator reads: a filler
// where the boxes before the tables would be, the sample-to-chunk box, the
// sample size table, the chunk offset table, then the chunks, each behind a
// few filler bytes so that a sample read at a wrong offset gives wrong bytes.
#pragma once

#include "parser/ChunkMapTable.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct TrackFile {
    std::string path; // as this program's C run time opens it
    int32_t sizeTableOffset = 0;
    int32_t chunkTableOffset = 0;
    uint32_t chunkCount = 0;
    std::shared_ptr<const ChunkMapTable> chunkMap; // as the parser reads it back, whether it would take it or not
    std::vector<uint32_t> sizes;       // per sample
    std::vector<int64_t> offsets;      // per sample: where its bytes lie
    std::vector<int64_t> chunkOffsets; // per chunk, from chunk 1
};

// The bytes of sample index: its index in the first four bytes (big-endian),
// then a pattern that depends on the index.
std::vector<uint8_t> SampleBytes(uint32_t index, uint32_t size);

// Writes a file holding one sample of sizes[i] bytes per entry, placed into
// chunks as the map says (the last entry's run is open-ended).
TrackFile WriteTrackFile(const std::string& name, const std::vector<uint32_t>& sizes,
                         const std::vector<ChunkMapEntry>& map);

// The same with the given bytes for each sample.
TrackFile WriteTrackFile(const std::string& name, const std::vector<std::vector<uint8_t>>& samples,
                         const std::vector<ChunkMapEntry>& map);

// Sizes 1, 2, ..., count: every sample has a size of its own.
std::vector<uint32_t> RisingSizes(uint32_t count, uint32_t first = 1);

#include "streams/SampleLocator.h"

// A track file opened as a pin opens it, with its tables handed over to a
// locator in the order the parser hands them to the pin.
struct OpenTrack {
    OpenTrack(const TrackFile& track, REFERENCE_TIME duration, StreamKind kind = StreamKind::Avc);

    // The bytes at the location, read through the pin's data reader.
    std::vector<uint8_t> Read(const SampleLocation& sample);

    TrackFile track;
    FileReader sizeReader;
    FileReader chunkReader;
    FileReader dataReader;
    FileReader mapReader;
    SampleLocator locator{&sizeReader, &chunkReader, &mapReader};
};

// Appends a sample-to-chunk box of the map to the file at path and reads it
// back as the parser does; usable receives the parser's verdict. Null when
// the file cannot be written or read.
std::shared_ptr<const ChunkMapTable> AppendChunkMap(const std::string& path, const std::vector<ChunkMapEntry>& map,
                                                    bool* usable = nullptr);

// Appends timing table boxes to the file at path and reads them back as the
// parser does: the tables of samples samples at timeScale units a second,
// starting as edit says. Null when the file cannot be written or read.
struct TimingTables;
struct EditStart;
std::shared_ptr<const TimingTables> AppendTimingTables(const std::string& path, const std::vector<uint8_t>& boxes,
                                                       uint32_t samples, uint32_t timeScale, const EditStart& edit);

// A full box of 4-byte fields, as the timing tables are.
std::vector<uint8_t> TableBox(const std::string& type, uint8_t version, const std::vector<uint32_t>& fields);
