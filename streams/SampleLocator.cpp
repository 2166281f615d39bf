#include "streams/SampleLocator.h"

#include "parser/ByteOrder.h"

#include <algorithm>
#include <new>

namespace {

// Run lengths are summed in 64 bits and capped here: no sample index (32 bits)
// reaches a run that starts beyond it, and the sum can no longer overflow.
constexpr uint64_t kBeyondAnySample = uint64_t(1) << 33;

// The sizes of the samples before a seek target in its chunk are read in
// blocks of this many entries, from a buffer on the stack.
constexpr uint32_t kSizeEntriesPerRead = 256;

// Samples in a run: its chunks (up to the next run's first) times its samples
// per chunk, capped.
uint64_t SamplesInRun(const ChunkMapEntry& run, const ChunkMapEntry& next)
{
    const uint64_t chunks = next.firstChunk - run.firstChunk;
    return std::min(chunks * run.samplesPerChunk, kBeyondAnySample);
}

} // namespace

SampleLocator::SampleLocator(FileReader* sizeReader, FileReader* chunkReader, FragmentSamples* fragments)
    : sizeReader(sizeReader), chunkReader(chunkReader), fragments(fragments)
{
}

bool SampleLocator::SetChunkMap(StreamKind streamKind, const ChunkMapEntry* entries, uint32_t count)
{
    std::shared_ptr<ChunkMapEntry[]> copy;
    if (entries && count > 0) {
        copy.reset(new (std::nothrow) ChunkMapEntry[count]);
        if (copy)
            std::copy(entries, entries + count, copy.get());
    }
    return SetChunkMap(streamKind, std::shared_ptr<const ChunkMapEntry[]>(std::move(copy)), count);
}

bool SampleLocator::SetChunkMap(StreamKind streamKind, std::shared_ptr<const ChunkMapEntry[]> entries, uint32_t count)
{
    kind = streamKind;
    chunkMap.reset();
    chunkMapCount = 0;
    blockFirstSamples.reset();
    aacCursor = ChunkCursorSet();
    avcCursor = ChunkCursorSet();
    placed = false;
    if (!entries || count == 0 || entries[0].firstChunk == 0)
        return false;
    const uint32_t blocks = (count - 1) / kRunsPerBlock + 1;
    std::unique_ptr<uint64_t[]> index(new (std::nothrow) uint64_t[blocks]);
    if (!index)
        return false;
    // One pass: each run's length needs the next run's first chunk, and chunk
    // numbers that go down would give runs of negative length: such a map
    // cannot say where any sample after them lies.
    uint64_t firstSample = 0;
    for (uint32_t i = 0; i < count; ++i) {
        if (i % kRunsPerBlock == 0)
            index[i / kRunsPerBlock] = firstSample;
        if (i + 1 < count) {
            if (entries[i + 1].firstChunk < entries[i].firstChunk)
                return false;
            firstSample = std::min(firstSample + SamplesInRun(entries[i], entries[i + 1]), kBeyondAnySample);
        }
    }
    chunkMap = std::move(entries);
    chunkMapCount = count;
    blockFirstSamples = std::move(index);
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

uint64_t SampleLocator::RunLength(uint32_t run) const
{
    // The last run is open-ended: it holds whatever the track has left.
    if (run + 1 >= chunkMapCount)
        return 0;
    return SamplesInRun(chunkMap[run], chunkMap[run + 1]);
}

uint32_t SampleLocator::RunHolding(uint32_t index, uint64_t* firstSample) const
{
    // The last run that starts at or before the sample; runs of zero chunks
    // share their start with the next run and are passed over. The block is
    // found by its first run, then the run by walking the block.
    const uint32_t blocks = (chunkMapCount - 1) / kRunsPerBlock + 1;
    const uint64_t* begin = blockFirstSamples.get();
    const uint32_t block = static_cast<uint32_t>(std::upper_bound(begin, begin + blocks, uint64_t(index)) - begin) - 1;
    uint32_t run = block * kRunsPerBlock;
    const uint32_t blockEnd = std::min(run + kRunsPerBlock, chunkMapCount);
    uint64_t first = begin[block];
    while (run + 1 < blockEnd) {
        const uint64_t next = std::min(first + RunLength(run), kBeyondAnySample);
        if (next > index)
            break;
        first = next;
        ++run;
    }
    *firstSample = first;
    return run; // the first run starts at sample 0
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
    if (chunkMapCount == 0 || sizeTableOffset <= 0 || chunkTableOffset <= 0)
        return Remember(E_FAIL);

    uint64_t firstOfRun = 0;
    uint32_t runIndex = RunHolding(index, &firstOfRun);
    const ChunkMapEntry& run = chunkMap[runIndex];
    // Only the open-ended last run can be empty here: the map holds fewer
    // samples than the track claims.
    if (run.samplesPerChunk == 0)
        return Remember(E_FAIL);
    uint64_t withinRun = index - firstOfRun;
    uint64_t chunk = run.firstChunk + withinRun / run.samplesPerChunk;
    uint32_t before = static_cast<uint32_t>(withinRun % run.samplesPerChunk);
    if (chunk > chunkCount) // also catches chunk numbers past 32 bits
        return Remember(E_FAIL);

    int64_t offset = 0;
    if (!ReadChunkOffset(static_cast<uint32_t>(chunk), &offset) || !AddSizesBefore(index, before, &offset))
        return Remember(E_FAIL);
    cursor.samplesLeftInChunk = run.samplesPerChunk - before;
    cursor.chunkNumber = static_cast<uint32_t>(chunk);
    cursor.chunkMapIndex = runIndex;
    cursor.sampleOffset = offset;
    chunkCursor = chunkTableOffset + chunkEntrySize * int64_t(chunk);
    return Remember(S_OK);
}

HRESULT SampleLocator::EnterNextChunk(ChunkCursorSet& cursor)
{
    uint64_t chunk = uint64_t(cursor.chunkNumber) + 1;
    uint32_t runIndex = cursor.chunkMapIndex;
    for (;;) {
        while (runIndex + 1 < chunkMapCount && chunkMap[runIndex + 1].firstChunk <= chunk)
            ++runIndex;
        if (chunkMap[runIndex].samplesPerChunk != 0)
            break;
        // Chunks without samples: jump to the next run in one step.
        if (runIndex + 1 >= chunkMapCount)
            return E_FAIL;
        chunk = chunkMap[runIndex + 1].firstChunk;
    }
    int64_t offset = 0;
    if (chunk > chunkCount || !ReadChunkOffset(static_cast<uint32_t>(chunk), &offset))
        return E_FAIL;
    cursor.chunkNumber = static_cast<uint32_t>(chunk);
    cursor.chunkMapIndex = runIndex;
    cursor.samplesLeftInChunk = chunkMap[runIndex].samplesPerChunk;
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
    FragmentSampleTimes first;
    if (!fragments->Get(currentSample, &first))
        return Remember(E_FAIL);
    uint64_t size = first.size;
    uint32_t count = 1;
    FragmentSampleTimes next;
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
