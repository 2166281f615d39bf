#include "parser/ChunkMapTable.h"

#include "parser/ByteOrder.h"

ChunkMapEntry ChunkMapEntryAt(const uint8_t* bytes)
{
    ChunkMapEntry entry = {};
    ReadBigEndian32(bytes, &entry.firstChunk);
    ReadBigEndian32(bytes + 4, &entry.samplesPerChunk);
    ReadBigEndian32(bytes + 8, &entry.sampleDescriptionIndex);
    return entry;
}

ChunkMapScan ReadChunkMap(BoxCursor& box, ChunkMapTable* table)
{
    ChunkMapScan scan;
    uint8_t version = 0; // not used
    // A run's length needs the next run's first chunk: each entry ends the
    // run before it.
    bool usable = true;
    ChunkMapEntry previous = {0, 0, 0};
    uint64_t firstSample = 0;
    scan.read = ScanIndexedTable(box, kChunkMapEntrySize, table, &version, [&](uint32_t i, const uint8_t* bytes) {
        const ChunkMapEntry entry = ChunkMapEntryAt(bytes);
        if (i > 0)
            firstSample = std::min(firstSample + SamplesInRun(previous, entry.firstChunk), kBeyondAnySample);
        if (i % kTableIndexStride == 0)
            table->index[i / kTableIndexStride] = {entry.firstChunk, firstSample};
        usable = usable && entry.firstChunk > previous.firstChunk && entry.samplesPerChunk != 0;
        previous = entry;
    });
    scan.usable = scan.read && table->entryCount > 0 && usable;
    return scan;
}
