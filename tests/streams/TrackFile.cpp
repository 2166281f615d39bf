#include "tests/streams/TrackFile.h"

#include "parser/TimingTables.h"
#include "tests/support/BoxBuilder.h"
#include "tests/support/Fixtures.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace {

void AppendBigEndian32(std::vector<uint8_t>& out, uint32_t value)
{
    out.push_back(uint8_t(value >> 24));
    out.push_back(uint8_t(value >> 16));
    out.push_back(uint8_t(value >> 8));
    out.push_back(uint8_t(value));
}

constexpr uint32_t kLeadingBytes = 40; // stands for ftyp, moov and the table box headers
constexpr uint32_t kGapBytes = 3;      // before every chunk

// Hands each box of the size bytes at begin of the file at path to
// read(header), as the parser meets it; false when the file cannot be read or
// begin is negative.
template <typename Read> bool ReadBoxes(const std::string& path, int64_t begin, size_t size, Read read)
{
    std::FILE* file = begin >= 0 ? std::fopen(path.c_str(), "rb") : nullptr;
    if (!file)
        return false;
    BoxReader reader(file);
    BoxCursor boxes(&reader, begin, begin + int64_t(size));
    BoxHeader header;
    while (boxes.NextBox(&header))
        read(header);
    std::fclose(file);
    return true;
}

// Appends the bytes to the file at path; where they start, or -1 when they
// cannot be written.
int64_t Append(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::FILE* file = std::fopen(path.c_str(), "ab");
    if (!file)
        return -1;
    // Where the bytes go is asked before they are written: Windows' run time
    // answers ftell on an appending stream from where its descriptor stood.
    const long start = std::fseek(file, 0, SEEK_END) == 0 ? std::ftell(file) : -1;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    std::fclose(file);
    return written && start >= 0 ? int64_t(start) : -1;
}

std::vector<uint8_t> ChunkMapBox(const std::vector<ChunkMapEntry>& map)
{
    std::vector<uint32_t> fields = {uint32_t(map.size())};
    for (const ChunkMapEntry& entry : map)
        fields.insert(fields.end(), {entry.firstChunk, entry.samplesPerChunk, entry.sampleDescriptionIndex});
    return TableBox("stsc", 0, fields);
}

std::shared_ptr<const ChunkMapTable> ReadChunkMapBox(const std::string& path, int64_t begin, size_t size, bool* usable)
{
    auto table = std::make_shared<ChunkMapTable>();
    ChunkMapScan scan;
    if (!ReadBoxes(path, begin, size, [&](BoxHeader& header) { scan = ReadChunkMap(header.payload, table.get()); }) ||
        !scan.read)
        return nullptr;
    if (usable)
        *usable = scan.usable;
    return table;
}

} // namespace

std::vector<uint8_t> SampleBytes(uint32_t index, uint32_t size)
{
    std::vector<uint8_t> bytes(size);
    for (uint32_t i = 0; i < size; ++i)
        bytes[i] = uint8_t(index * 7 + i * 13 + 1);
    for (uint32_t i = 0; i < 4 && i < size; ++i)
        bytes[i] = uint8_t(index >> (24 - 8 * i));
    return bytes;
}

std::vector<uint32_t> RisingSizes(uint32_t count, uint32_t first)
{
    std::vector<uint32_t> sizes(count);
    for (uint32_t i = 0; i < count; ++i)
        sizes[i] = first + i;
    return sizes;
}

TrackFile WriteTrackFile(const std::string& name, const std::vector<uint32_t>& sizes,
                         const std::vector<ChunkMapEntry>& map)
{
    std::vector<std::vector<uint8_t>> samples;
    for (uint32_t i = 0; i < sizes.size(); ++i)
        samples.push_back(SampleBytes(i, sizes[i]));
    return WriteTrackFile(name, samples, map);
}

TrackFile WriteTrackFile(const std::string& name, const std::vector<std::vector<uint8_t>>& samples,
                         const std::vector<ChunkMapEntry>& map)
{
    TrackFile track;
    for (const std::vector<uint8_t>& sample : samples)
        track.sizes.push_back(uint32_t(sample.size()));
    const std::vector<uint32_t>& sizes = track.sizes;
    const uint32_t count = uint32_t(sizes.size());

    // Which samples go into which chunk, as the locator must find them.
    std::vector<uint32_t> samplesInChunk;
    size_t entry = 0;
    for (uint32_t chunk = 1, placed = 0; placed < count; ++chunk) {
        while (entry + 1 < map.size() && map[entry + 1].firstChunk <= chunk)
            ++entry;
        // Chunks before the map's first entry hold no samples but have an entry.
        const bool mapped = chunk >= map.at(0).firstChunk;
        if (mapped && map[entry].samplesPerChunk == 0 && entry + 1 == map.size())
            throw std::logic_error("the map ends before the samples");
        uint32_t samples = mapped ? std::min(map[entry].samplesPerChunk, count - placed) : 0;
        samplesInChunk.push_back(samples);
        placed += samples;
    }
    track.chunkCount = uint32_t(samplesInChunk.size());

    std::vector<uint8_t> file(kLeadingBytes, 0xEE);
    const std::vector<uint8_t> mapBox = ChunkMapBox(map);
    file.insert(file.end(), mapBox.begin(), mapBox.end());
    track.sizeTableOffset = int32_t(file.size());
    for (uint32_t size : sizes)
        AppendBigEndian32(file, size);
    track.chunkTableOffset = int32_t(file.size());
    const size_t chunkTable = file.size();
    file.resize(file.size() + 4 * samplesInChunk.size());

    uint32_t sample = 0;
    for (size_t chunk = 0; chunk < samplesInChunk.size(); ++chunk) {
        file.insert(file.end(), kGapBytes, 0xAB);
        track.chunkOffsets.push_back(int64_t(file.size()));
        std::vector<uint8_t> entryBytes;
        AppendBigEndian32(entryBytes, uint32_t(file.size()));
        std::copy(entryBytes.begin(), entryBytes.end(), file.begin() + chunkTable + 4 * chunk);
        for (uint32_t i = 0; i < samplesInChunk[chunk]; ++i, ++sample) {
            track.offsets.push_back(int64_t(file.size()));
            file.insert(file.end(), samples[sample].begin(), samples[sample].end());
        }
    }

    track.path = TempPath(name);
    std::FILE* out = std::fopen(track.path.c_str(), "wb");
    if (!out || std::fwrite(file.data(), 1, file.size(), out) != file.size())
        throw std::runtime_error("cannot write " + track.path);
    std::fclose(out);
    track.chunkMap = ReadChunkMapBox(track.path, kLeadingBytes, mapBox.size(), nullptr);
    return track;
}

OpenTrack::OpenTrack(const TrackFile& file, REFERENCE_TIME duration, StreamKind kind) : track(file)
{
    dataReader.Open(track.path.c_str());
    chunkReader.Open(track.path.c_str());
    sizeReader.Open(track.path.c_str());
    mapReader.Open(track.path.c_str());
    locator.SetStreamTiming(uint32_t(track.sizes.size()), duration);
    locator.SetSampleSizeTableOffset(track.sizeTableOffset);
    locator.SetChunkOffsetTableOffset(track.chunkTableOffset, track.chunkCount);
    locator.SetChunkMap(kind, track.chunkMap);
}

std::shared_ptr<const ChunkMapTable> AppendChunkMap(const std::string& path, const std::vector<ChunkMapEntry>& map,
                                                    bool* usable)
{
    const std::vector<uint8_t> box = ChunkMapBox(map);
    return ReadChunkMapBox(path, Append(path, box), box.size(), usable);
}

std::vector<uint8_t> OpenTrack::Read(const SampleLocation& sample)
{
    std::vector<uint8_t> bytes(sample.size);
    bytes.resize(dataReader.ReadAt(sample.offset, bytes.data(), bytes.size()));
    return bytes;
}

std::shared_ptr<const TimingTables> AppendTimingTables(const std::string& path, const std::vector<uint8_t>& boxes,
                                                       uint32_t samples, uint32_t timeScale, const EditStart& edit)
{
    auto tables = std::make_shared<TimingTables>();
    const auto read = [&](BoxHeader& header) {
        if (header.type == FourCC("stts"))
            tables->totalDecodeTime = ReadDecodeTimes(header.payload, &tables->decodeTimes).timeSum;
        if (header.type == FourCC("ctts"))
            ReadCompositionOffsets(header.payload, &tables->compositionOffsets, &tables->signedOffsets);
        if (header.type == FourCC("stss"))
            ReadSyncSamples(header.payload, &tables->syncSamples);
    };
    if (!ReadBoxes(path, Append(path, boxes), boxes.size(), read))
        return nullptr;
    tables->timeScale = timeScale;
    tables->movieTimeScale = 1000;
    tables->sampleCount = samples;
    tables->edit = edit;
    return tables;
}

std::vector<uint8_t> TableBox(const std::string& type, uint8_t version, const std::vector<uint32_t>& fields)
{
    BoxBuilder box;
    box.BeginFull(type, version);
    for (uint32_t field : fields)
        box.U32(field);
    return box.End().Data();
}
