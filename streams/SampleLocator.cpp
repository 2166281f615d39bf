#include "streams/SampleLocator.h"

#include "parser/ByteOrder.h"

#include <algorithm>

namespace {

// The sizes of the samples before a seek target in its chunk are read in
// blocks of this many entries, from a buffer on the stack.
constexpr uint32_t kSizeEntriesPerRead = 256;

// The block of map entries whose first run starts last at or before the
// sample; the first block's starts at sample 0.
uint32_t BlockHolding(const ChunkMapTable& map, uint32_t index)
{
    const ChunkMapIndexPoint* begin = map.index.get();
    const ChunkMapIndexPoint* after =
        std::upper_bound(begin, begin + map.IndexCount(), uint64_t(index),
                         [](uint64_t sample, const ChunkMapIndexPoint& point) { return sample < point.firstSample; });
    return uint32_t(after - begin) - 1;
}

} // namespace

SampleLocator::SampleLocator(FileReader* sizeReader, FileReader* chunkReader, FileReader* mapReader,
                             FragmentSamples* fragments)
    : sizeReader(sizeReader), chunkReader(chunkReader), mapReader(mapReader), fragments(fragments)
{
}

bool SampleLocator::SetChunkMap(StreamKind streamKind, std::shared_ptr<const ChunkMapTable> map)
{
    kind = streamKind;
    chunkMap.reset();
    aacCursor = ChunkCursorSet();
    avcCursor = ChunkCursorSet();
    placed = false;
    // Chunk 0 would place samples at the entry before the chunk offset table.
    if (!map || map->entryCount == 0 || !map->index || map->index[0].firstChunk == 0)
        return false;
    chunkMap = std::move(map);
    return true;
}

void SampleLocator::SetStreamTiming(uint32_t count, REFERENCE_TIME mediaDuration)
{
    sampleCount = count;
    duration = mediaDuration;
    // Truncated toward zero; 0 when there is nothing to divide, which ends
    // the stream at once instead of dividing by zero later.
    averageSampleDuration = (count > 0 && mediaDuration > 0) ? mediaDuration / static_cast<REFERENCE_TIME>(count) : 0;
    placed = false;
}

void SampleLocator::SetSampleSizeTableOffset(int64_t offset, uint32_t constantSize)
{
    sizeTableOffset = offset;
    constantSampleSize = constantSize;
    placed = false;
}

void SampleLocator::SetChunkOffsetTableOffset(int64_t offset, uint32_t chunks, uint32_t entrySize)
{
    chunkTableOffset = offset;
    chunkCount = chunks;
    chunkEntrySize = entrySize == 8 ? 8 : 4;
    placed = false;
}

bool SampleLocator::HasTiming() const
{
    return sampleCount > 0 && duration > 0 && averageSampleDuration > 0;
}

bool SampleLocator::ReadRun(uint32_t entry, ChunkCursorSet* cursor)
{
    // The entry and the next one's first chunk, in one read: sequential play
    // reads them one after the other through the reader's window.
    uint8_t bytes[kChunkMapEntrySize + 4];
    const bool last = entry + 1 >= chunkMap->entryCount;
    const size_t size = last ? kChunkMapEntrySize : sizeof bytes;
    if (entry >= chunkMap->entryCount || !mapReader ||
        mapReader->ReadAt(chunkMap->offset + int64_t(kChunkMapEntrySize) * entry, bytes, size) != size)
        return false;
    cursor->chunkMapIndex = entry;
    cursor->samplesPerChunk = ChunkMapEntryAt(bytes).samplesPerChunk;
    // Of the next entry only its first chunk was read.
    uint32_t nextFirstChunk = 0;
    if (!last)
        ReadBigEndian32(bytes + kChunkMapEntrySize, &nextFirstChunk);
    cursor->nextRunChunk = last ? kNoNextRun : nextFirstChunk;
    return true;
}

bool SampleLocator::FindRun(uint32_t index, ChunkCursorSet* cursor, uint32_t* firstChunk, uint64_t* firstSample)
{
    // The last run that starts at or before the sample; runs of zero chunks
    // share their start with the next run and are passed over. The block is
    // found by its first run, then the run by walking the block.
    const uint32_t block = BlockHolding(*chunkMap, index);
    const uint32_t firstEntry = block * kTableIndexStride;
    const uint32_t entries = std::min(chunkMap->entryCount - firstEntry, kTableIndexStride);
    uint8_t bytes[kTableIndexStride * kChunkMapEntrySize];
    const size_t size = size_t(entries) * kChunkMapEntrySize;
    if (!mapReader ||
        mapReader->ReadAt(chunkMap->offset + int64_t(kChunkMapEntrySize) * firstEntry, bytes, size) != size)
        return false;
    // The block's last run ends where the next block's first begins.
    const bool lastBlock = block + 1 >= chunkMap->IndexCount();
    const uint64_t afterBlock = lastBlock ? kNoNextRun : chunkMap->index[block + 1].firstChunk;
    uint64_t first = chunkMap->index[block].firstSample;
    uint32_t run = 0;
    ChunkMapEntry entry = ChunkMapEntryAt(bytes);
    for (; run + 1 < entries; ++run) {
        const ChunkMapEntry next = ChunkMapEntryAt(bytes + kChunkMapEntrySize * (run + 1));
        const uint64_t following = std::min(first + SamplesInRun(entry, next.firstChunk), kBeyondAnySample);
        if (following > index)
            break;
        first = following;
        entry = next;
    }
    cursor->chunkMapIndex = firstEntry + run;
    cursor->samplesPerChunk = entry.samplesPerChunk;
    cursor->nextRunChunk =
        run + 1 < entries ? ChunkMapEntryAt(bytes + kChunkMapEntrySize * (run + 1)).firstChunk : afterBlock;
    *firstChunk = entry.firstChunk;
    *firstSample = first;
    return true;
}

bool SampleLocator::ReadChunkOffset(uint32_t chunk, int64_t* offset)
{
    // Offsets are unsigned: a 32-bit one past 2 GiB is a place in the file.
    const int64_t at = chunkTableOffset + chunkEntrySize * (int64_t(chunk) - 1);
    uint64_t value = 0;
    uint32_t value32 = 0;
    if (!chunkReader)
        return false;
    if (chunkEntrySize == 8 ? !chunkReader->ReadBigEndian64At(at, &value)
                            : !chunkReader->ReadBigEndian32At(at, &value32))
        return false;
    if (chunkEntrySize == 4)
        value = value32;
    if (value > uint64_t(INT64_MAX))
        return false;
    *offset = int64_t(value);
    return true;
}

bool SampleLocator::AddSizesBefore(uint32_t index, uint32_t count, int64_t* offset)
{
    if (constantSampleSize != 0) {
        *offset += int64_t(count) * constantSampleSize;
        return true;
    }
    uint8_t block[4 * kSizeEntriesPerRead];
    int64_t at = sizeTableOffset + 4 * (int64_t(index) - count);
    while (count > 0) {
        uint32_t entries = std::min(count, kSizeEntriesPerRead);
        if (!sizeReader || sizeReader->ReadAt(at, block, 4 * size_t(entries)) != 4 * size_t(entries))
            return false;
        for (uint32_t i = 0; i < entries; ++i) {
            uint32_t size = 0;
            ReadBigEndian32(block + 4 * i, &size);
            *offset += size;
        }
        at += 4 * int64_t(entries);
        count -= entries;
    }
    return true;
}

HRESULT SampleLocator::Remember(HRESULT result)
{
    placement = result;
    return result;
}

HRESULT SampleLocator::LocateSample(uint32_t index)
{
    ChunkCursorSet& cursor = ActiveCursor();
    cursor = ChunkCursorSet();
    placed = true;
    currentSample = index;
    sizeCursor = sizeTableOffset + 4 * int64_t(index);
    chunkCursor = chunkTableOffset;

    if (!HasTiming() || index >= sampleCount)
        return Remember(S_FALSE);
    // A fragment is read when its first sample is handed out.
    if (fragments && fragments->Holds(index))
        return Remember(S_OK);
    // Offset 0 is where the file's first box header lies, never a table.
    if (!chunkMap || sizeTableOffset <= 0 || chunkTableOffset <= 0)
        return Remember(E_FAIL);

    uint32_t firstChunk = 0;
    uint64_t firstOfRun = 0;
    if (!FindRun(index, &cursor, &firstChunk, &firstOfRun))
        return Remember(E_FAIL);
    const uint32_t perChunk = cursor.samplesPerChunk;
    // Only the open-ended last run can be empty here: the map holds fewer
    // samples than the track claims.
    if (perChunk == 0)
        return Remember(E_FAIL);
    uint64_t withinRun = index - firstOfRun;
    uint64_t chunk = firstChunk + withinRun / perChunk;
    uint32_t before = static_cast<uint32_t>(withinRun % perChunk);
    if (chunk > chunkCount) // also catches chunk numbers past 32 bits
        return Remember(E_FAIL);

    int64_t offset = 0;
    if (!ReadChunkOffset(static_cast<uint32_t>(chunk), &offset) || !AddSizesBefore(index, before, &offset))
        return Remember(E_FAIL);
    cursor.samplesLeftInChunk = perChunk - before;
    cursor.chunkNumber = static_cast<uint32_t>(chunk);
    cursor.sampleOffset = offset;
    chunkCursor = chunkTableOffset + chunkEntrySize * int64_t(chunk);
    return Remember(S_OK);
}

HRESULT SampleLocator::EnterNextChunk(ChunkCursorSet& cursor)
{
    uint64_t chunk = uint64_t(cursor.chunkNumber) + 1;
    for (;;) {
        // Each run the chunk has reached is entered: its entry is read then,
        // and runs of zero chunks are passed through.
        while (cursor.nextRunChunk <= chunk)
            if (!ReadRun(cursor.chunkMapIndex + 1, &cursor))
                return E_FAIL;
        if (cursor.samplesPerChunk != 0)
            break;
        // Chunks without samples: jump to the next run in one step.
        if (cursor.nextRunChunk == kNoNextRun)
            return E_FAIL;
        chunk = cursor.nextRunChunk;
    }
    int64_t offset = 0;
    if (chunk > chunkCount || !ReadChunkOffset(static_cast<uint32_t>(chunk), &offset))
        return E_FAIL;
    cursor.chunkNumber = static_cast<uint32_t>(chunk);
    cursor.samplesLeftInChunk = cursor.samplesPerChunk;
    cursor.sampleOffset = offset;
    chunkCursor = chunkTableOffset + chunkEntrySize * int64_t(chunk);
    return S_OK;
}

HRESULT SampleLocator::AdvanceSample(SampleLocation* sample)
{
    return AdvanceSamples(1, sample);
}

HRESULT SampleLocator::AdvanceSamples(uint32_t maxCount, SampleLocation* sample)
{
    if (!sample)
        return E_POINTER;
    if (!placed)
        LocateSample(currentSample);
    if (placement != S_OK)
        return placement;
    // The end of this pin's stream: its own cursor reached the track's count.
    if (currentSample >= sampleCount)
        return Remember(S_FALSE);

    if (fragments && fragments->Holds(currentSample))
        return AdvanceInFragments(maxCount, sample);
    ChunkCursorSet& cursor = ActiveCursor();
    if (cursor.samplesLeftInChunk == 0) {
        HRESULT result = EnterNextChunk(cursor);
        if (result != S_OK)
            return Remember(result);
    }
    uint32_t size = constantSampleSize;
    uint32_t count = 1;
    if (size != 0) {
        // Never past the chunk, the track, or what a 32-bit size holds.
        count = std::min(
            {maxCount > 0 ? maxCount : 1, cursor.samplesLeftInChunk, sampleCount - currentSample, 0xFFFFFFFFu / size});
    } else if (!sizeReader || !sizeReader->ReadBigEndian32At(sizeCursor, &size)) {
        return Remember(E_FAIL);
    }

    sample->index = currentSample;
    sample->offset = cursor.sampleOffset;
    sample->size = size * count;
    sample->count = count;
    cursor.sampleOffset += int64_t(size) * count;
    cursor.samplesLeftInChunk -= count;
    currentSample += count;
    sizeCursor += 4 * int64_t(count);
    return S_OK;
}

HRESULT SampleLocator::AdvanceInFragments(uint32_t maxCount, SampleLocation* sample)
{
    FragmentSampleTimes first{};
    if (!fragments->Get(currentSample, &first))
        return Remember(E_FAIL);
    uint64_t size = first.size;
    uint32_t count = 1;
    FragmentSampleTimes next{};
    while (count < maxCount && currentSample + count < sampleCount && fragments->Get(currentSample + count, &next) &&
           next.size == first.size && next.offset == first.offset + int64_t(size) && size + next.size <= 0xFFFFFFFFu) {
        size += next.size;
        ++count;
    }
    sample->index = currentSample;
    sample->offset = first.offset;
    sample->size = uint32_t(size);
    sample->count = count;
    currentSample += count;
    return S_OK;
}
