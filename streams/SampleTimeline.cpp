#include "streams/SampleTimeline.h"

#include <algorithm>

namespace {

constexpr int64_t kUnitsPerSecond = 10000000;

// round(a * b / c) to the nearest, halves up, for c > 0 and |a / c * b| far
// below 2^63 (the parser keeps every table's time below kMaxTimingSeconds).
int64_t ScaleRounded(int64_t a, int64_t b, int64_t c)
{
    int64_t quotient = a / c;
    int64_t remainder = a % c;
    if (remainder < 0) {
        --quotient;
        remainder += c;
    }
    return quotient * b + (remainder * b + c / 2) / c;
}

// floor(a * b / c) for c > 0, saturating at the ends of 62 bits.
int64_t ScaleDown(int64_t a, int64_t b, int64_t c)
{
    constexpr int64_t limit = int64_t(1) << 62;
    int64_t quotient = a / c;
    int64_t remainder = a % c;
    if (remainder < 0) {
        --quotient;
        remainder += c;
    }
    if (quotient > limit / b)
        return limit;
    if (quotient < -limit / b)
        return -limit;
    return quotient * b + remainder * b / c;
}

template <typename Key> uint32_t LastPointAtOrBefore(const TimingTable& table, uint64_t value, Key key)
{
    const TimingIndexPoint* begin = table.index.get();
    const TimingIndexPoint* end = begin + table.IndexCount();
    const TimingIndexPoint* after =
        std::upper_bound(begin, end, value, [&](uint64_t v, const TimingIndexPoint& point) { return v < key(point); });
    return after == begin ? 0 : uint32_t(after - begin - 1);
}

} // namespace

SampleTimeline::SampleTimeline(FileReader* decodeReader, FileReader* offsetReader, FileReader* syncReader,
                               FragmentSamples* fragments)
    : decodeReader(decodeReader), offsetReader(offsetReader), syncReader(syncReader), fragments(fragments)
{
}

void SampleTimeline::SetTables(std::shared_ptr<const TimingTables> timingTables)
{
    tables = std::move(timingTables);
    // Without an edit list the movie's time scale is not needed, and may be 0.
    editShift = tables && tables->edit.present
                    ? ScaleRounded(int64_t(tables->edit.emptyTime), kUnitsPerSecond, tables->movieTimeScale)
                    : 0;
    PlaceAt(0);
}

void SampleTimeline::SetStreamTiming(uint32_t sampleCount, REFERENCE_TIME duration)
{
    averageCount = sampleCount;
    mediaDuration = duration;
    // Truncated toward zero; 0 when there is nothing to divide, which ends the
    // stream at once.
    averageDuration = (sampleCount > 0 && duration > 0) ? duration / REFERENCE_TIME(sampleCount) : 0;
    PlaceAt(0);
}

uint32_t SampleTimeline::SampleCount() const
{
    if (tables)
        return tables->sampleCount;
    return averageDuration > 0 ? averageCount : 0;
}

uint32_t SampleTimeline::TableEnd() const
{
    return tables && fragments && fragments->EndSample() > 0 ? fragments->FirstSample() : SampleCount();
}

REFERENCE_TIME SampleTimeline::Duration() const
{
    if (!tables || !tables->edit.present)
        return mediaDuration;
    if (tables->edit.mediaSpan > 0)
        return editShift + ScaleRounded(int64_t(tables->edit.mediaSpan), kUnitsPerSecond, tables->movieTimeScale);
    return PresentationTime(tables->totalDecodeTime, 0);
}

REFERENCE_TIME SampleTimeline::PresentationTime(uint64_t decodeTime, int64_t offset) const
{
    if (!tables)
        return REFERENCE_TIME(decodeTime);
    const int64_t media = int64_t(decodeTime) + offset - tables->edit.mediaTime;
    return ScaleRounded(media, kUnitsPerSecond, tables->timeScale) + editShift;
}

int64_t SampleTimeline::Offset(const RunCursor& cursor) const
{
    if (!tables || !tables->compositionOffsets.Present())
        return 0;
    return tables->signedOffsets ? int64_t(int32_t(uint32_t(cursor.value))) : int64_t(cursor.value);
}

bool SampleTimeline::ReadPair(FileReader* reader, const TimingTable& table, uint32_t entry, uint64_t* count,
                              uint32_t* value)
{
    uint8_t bytes[8];
    if (entry >= table.entryCount || !reader || reader->ReadAt(table.offset + 8 * int64_t(entry), bytes, 8) != 8)
        return false;
    *count = uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 | bytes[3];
    *value = uint32_t(bytes[4]) << 24 | uint32_t(bytes[5]) << 16 | uint32_t(bytes[6]) << 8 | bytes[7];
    return true;
}

template <typename Key, typename Found>
bool SampleTimeline::WalkEntries(FileReader* reader, const TimingTable& table, uint64_t where, Key key, Found found)
{
    const uint32_t point = LastPointAtOrBefore(table, where, key);
    uint64_t first = table.index[point].firstSample;
    uint64_t sum = table.index[point].decodeTime;
    for (uint32_t entry = point * kTimingIndexStride; entry < table.entryCount; ++entry) {
        uint64_t count = 0;
        uint32_t value = 0;
        if (!ReadPair(reader, table, entry, &count, &value))
            return false;
        if (found(entry, first, sum, count, value))
            return true;
        first += count;
        sum += count * value;
    }
    return false;
}

bool SampleTimeline::RunCursorAt(FileReader* reader, const TimingTable& table, uint32_t sample, RunCursor* cursor,
                                 uint64_t* valueSum)
{
    const auto bySample = [](const TimingIndexPoint& p) { return p.firstSample; };
    return WalkEntries(reader, table, sample, bySample,
                       [&](uint32_t entry, uint64_t first, uint64_t sum, uint64_t count, uint32_t value) {
                           if (sample >= first + count)
                               return false;
                           *cursor = {entry + 1, first + count - sample, value};
                           *valueSum = sum + (sample - first) * value;
                           return true;
                       });
}

bool SampleTimeline::DecodeCursorAt(uint32_t sample, RunCursor* cursor, uint64_t* decodeTime)
{
    if (!tables) {
        *cursor = {1, uint64_t(SampleCount()) - sample, uint64_t(averageDuration)};
        *decodeTime = uint64_t(sample) * uint64_t(averageDuration);
        return true;
    }
    return RunCursorAt(decodeReader, tables->decodeTimes, sample, cursor, decodeTime);
}

bool SampleTimeline::OffsetCursorAt(uint32_t sample, RunCursor* cursor)
{
    uint64_t unused = 0; // offsets are not added up
    return RunCursorAt(offsetReader, tables->compositionOffsets, sample, cursor, &unused);
}

bool SampleTimeline::SyncEntryFrom(uint32_t sample, uint32_t* entry, uint32_t* syncSample)
{
    const TimingTable& table = tables->syncSamples;
    const uint64_t number = uint64_t(sample) + 1; // the table counts samples from 1
    const uint32_t point = LastPointAtOrBefore(table, number, [](const TimingIndexPoint& p) { return p.firstSample; });
    for (uint32_t at = point * kTimingIndexStride; at < table.entryCount; ++at) {
        uint32_t value = 0;
        if (!syncReader || !syncReader->ReadBigEndian32At(table.offset + 4 * int64_t(at), &value))
            break;
        if (value >= number) {
            *entry = at;
            *syncSample = value - 1;
            return true;
        }
    }
    *entry = table.entryCount;
    return false;
}

bool SampleTimeline::IsSync(uint32_t sample)
{
    FragmentSampleTimes times{};
    if (InFragments(sample))
        return fragments->Get(sample, &times) && times.sync;
    if (!tables || !tables->syncSamples.Present())
        return true;
    // The table is known to go up: the entries are read one after the other.
    while (syncLeft && nextSync < sample) {
        uint32_t number = 0;
        syncLeft = ++nextSyncEntry < tables->syncSamples.entryCount && syncReader &&
                   syncReader->ReadBigEndian32At(tables->syncSamples.offset + 4 * int64_t(nextSyncEntry), &number);
        nextSync = number - 1;
    }
    return syncLeft && nextSync == sample;
}

bool SampleTimeline::Step(FileReader* reader, const TimingTable& table, RunCursor* cursor)
{
    if (cursor->left > 0)
        --cursor->left;
    while (cursor->left == 0 && cursor->entry < table.entryCount) {
        uint32_t value = 0;
        if (!ReadPair(reader, table, cursor->entry, &cursor->left, &value))
            return false;
        cursor->value = value;
        ++cursor->entry;
    }
    return true;
}

bool SampleTimeline::PresentationTimeOf(uint32_t sample, REFERENCE_TIME* time)
{
    if (InFragments(sample)) {
        FragmentSampleTimes times{};
        if (!fragments->Get(sample, &times))
            return false;
        *time = PresentationTime(times.decodeTime, times.compositionOffset);
        return true;
    }
    RunCursor decode;
    RunCursor offset;
    uint64_t decodeTime = 0;
    if (!DecodeCursorAt(sample, &decode, &decodeTime))
        return false;
    const bool hasOffsets = tables && tables->compositionOffsets.Present();
    if (hasOffsets && !OffsetCursorAt(sample, &offset))
        return false;
    *time = PresentationTime(decodeTime, hasOffsets ? Offset(offset) : 0);
    return true;
}

uint32_t SampleTimeline::SampleHolding(REFERENCE_TIME t)
{
    const uint32_t count = SampleCount();
    if (!tables) {
        if (t <= 0 || count == 0)
            return 0;
        return t >= mediaDuration ? count : uint32_t(std::min<REFERENCE_TIME>(t / averageDuration, count));
    }
    const int64_t media = ScaleDown(t - editShift, tables->timeScale, kUnitsPerSecond) + tables->edit.mediaTime;
    if (media <= 0)
        return 0;
    const uint64_t target = uint64_t(media);
    if (target >= tables->totalDecodeTime)
        return count;
    uint32_t holding = TableEnd();
    if (InFragments(holding) && target >= fragments->FirstTime())
        return fragments->SampleAtTime(target, &holding) ? holding : count;
    const auto byTime = [](const TimingIndexPoint& p) { return p.decodeTime; };
    WalkEntries(decodeReader, tables->decodeTimes, target, byTime,
                [&](uint32_t, uint64_t first, uint64_t time, uint64_t samples, uint32_t delta) {
                    if (delta == 0 || target >= time + samples * delta)
                        return false;
                    holding = uint32_t(first + (target - time) / delta);
                    return true;
                });
    return holding;
}

uint32_t SampleTimeline::StartSampleAt(REFERENCE_TIME t)
{
    // A start at the beginning plays the whole track, an encoder delay
    // included. Decoding times run behind the pictures shown by the reorder
    // delay: up to the track's end a start still has a last sample.
    if (t >= Duration())
        return SampleCount();
    uint32_t holding = t <= 0 ? 0 : std::min(SampleHolding(t), SampleCount() - 1);
    if (holding > 0 && InFragments(holding)) {
        uint32_t start = 0;
        if (FragmentStartAt(holding, t, &start) || fragments->FirstSample() == 0)
            return start;
        holding = fragments->FirstSample() - 1;
    }
    if (holding == 0 || holding >= SampleCount() || !tables || !tables->syncSamples.Present())
        return holding;
    // The last sync sample at or before it that is shown by t; negative
    // composition offsets may show a later one by then too.
    uint32_t entry = 0;
    uint32_t sync = 0;
    const bool later = SyncEntryFrom(holding + 1, &entry, &sync);
    REFERENCE_TIME time = 0;
    if (later && tables->signedOffsets && PresentationTimeOf(sync, &time) && time <= t)
        return sync;
    while (entry > 0) {
        --entry;
        uint32_t number = 0;
        if (!syncReader || !syncReader->ReadBigEndian32At(tables->syncSamples.offset + 4 * int64_t(entry), &number))
            break;
        if (!PresentationTimeOf(number - 1, &time) || time <= t)
            return number - 1;
    }
    return 0;
}

bool SampleTimeline::FragmentStartAt(uint32_t holding, REFERENCE_TIME t, uint32_t* start)
{
    // Negative composition offsets may show a later sync sample by t.
    uint32_t sync = 0;
    REFERENCE_TIME time = 0;
    if (fragments->NextSync(holding + 1, &sync) && PresentationTimeOf(sync, &time) && time <= t) {
        *start = sync;
        return true;
    }
    for (uint32_t from = holding; fragments->PreviousSync(from, &sync); from = sync - 1) {
        if (!PresentationTimeOf(sync, &time) || time <= t || sync == fragments->FirstSample()) {
            *start = sync;
            return true;
        }
    }
    *start = 0;
    return false;
}

uint32_t SampleTimeline::SkipTargetAt(REFERENCE_TIME t)
{
    const uint32_t holding = std::max(SampleHolding(t), nextSample);
    uint32_t sync = 0;
    if (InFragments(holding))
        return holding < SampleCount() && fragments->NextSync(holding, &sync) ? sync : SampleCount();
    if (holding >= SampleCount() || !tables || !tables->syncSamples.Present())
        return std::min(holding, SampleCount());
    uint32_t entry = 0;
    if (SyncEntryFrom(holding, &entry, &sync))
        return sync;
    // None left in the tables: the first among the fragments.
    return InFragments(TableEnd()) && fragments->NextSync(TableEnd(), &sync) ? sync : SampleCount();
}

HRESULT SampleTimeline::PlaceAt(uint32_t sample)
{
    nextSample = sample;
    aheadSample = sample;
    windowCount = 0;
    lastStart = INT64_MIN;
    syncLeft = false;
    placement = S_OK;
    if (sample >= SampleCount() || InFragments(sample))
        return placement;
    const bool placed = DecodeCursorAt(sample, &decodeCursor, &aheadDecodeTime) &&
                        (!tables || !tables->compositionOffsets.Present() || OffsetCursorAt(sample, &offsetCursor));
    if (!placed)
        placement = E_FAIL;
    else if (tables && tables->syncSamples.Present())
        syncLeft = SyncEntryFrom(sample, &nextSyncEntry, &nextSync);
    return placement;
}

HRESULT SampleTimeline::SkipTo(uint32_t sample)
{
    const REFERENCE_TIME kept = lastStart;
    const HRESULT result = PlaceAt(sample);
    lastStart = kept;
    return result;
}

bool SampleTimeline::AheadTimes(REFERENCE_TIME* time, uint64_t* decodeTime, uint64_t* duration)
{
    if (InFragments(aheadSample)) {
        FragmentSampleTimes times{};
        if (!fragments->Get(aheadSample, &times))
            return false;
        *time = PresentationTime(times.decodeTime, times.compositionOffset);
        *decodeTime = times.decodeTime;
        *duration = times.duration;
        return true;
    }
    const bool hasOffsets = tables && tables->compositionOffsets.Present();
    *time = PresentationTime(aheadDecodeTime, hasOffsets ? Offset(offsetCursor) : 0);
    *decodeTime = aheadDecodeTime;
    *duration = decodeCursor.value;
    // The cursors step only within the tables' samples, and only both at
    // once: an entry that cannot be read leaves them where they were.
    if (aheadSample + 1 < TableEnd()) {
        const TimingTable none;
        RunCursor decode = decodeCursor;
        RunCursor offset = offsetCursor;
        if (!Step(decodeReader, tables ? tables->decodeTimes : none, &decode))
            return false;
        if (hasOffsets && !Step(offsetReader, tables->compositionOffsets, &offset))
            return false;
        decodeCursor = decode;
        offsetCursor = offset;
    }
    aheadDecodeTime += *duration;
    return true;
}

bool SampleTimeline::FillWindow(uint32_t end)
{
    end = std::min(end, SampleCount());
    while (aheadSample < end) {
        REFERENCE_TIME time = 0;
        uint64_t decodeTime = 0;
        uint64_t duration = 0;
        if (!AheadTimes(&time, &decodeTime, &duration))
            return false;
        // Sorted from the latest down: the earliest is taken from the back.
        uint32_t at = windowCount;
        while (at > 0 && window[at - 1] < time) {
            window[at] = window[at - 1];
            --at;
        }
        window[at] = time;
        ++windowCount;
        if (aheadSample + 1 == SampleCount()) // the last sample's stop adds its own duration
            lastDuration = PresentationTime(decodeTime + duration, 0) - PresentationTime(decodeTime, 0);
        ++aheadSample;
    }
    return true;
}

REFERENCE_TIME SampleTimeline::PopEarliest()
{
    return window[--windowCount];
}

HRESULT SampleTimeline::Next(SampleTimes* times)
{
    if (FAILED(placement))
        return placement;
    if (nextSample >= SampleCount())
        return S_FALSE;
    // A sample is timed once its own times are read: one that cannot be read
    // further ahead fails the stream when it is reached, not before.
    FillWindow(nextSample + kReorderDepth + 1);
    if (aheadSample <= nextSample)
        return E_FAIL;
    REFERENCE_TIME start = PopEarliest();
    FillWindow(nextSample + kReorderDepth + 2);
    REFERENCE_TIME stop = windowCount > 0 ? window[windowCount - 1] : start + lastDuration;
    start = std::max(start, lastStart);
    times->start = start;
    times->stop = std::max(stop, start);
    times->sync = IsSync(nextSample);
    lastStart = start;
    ++nextSample;
    return S_OK;
}

REFERENCE_TIME SampleTimeline::NextStart()
{
    if (FAILED(placement) || nextSample >= SampleCount())
        return Duration();
    FillWindow(nextSample + kReorderDepth + 1);
    if (aheadSample <= nextSample || windowCount == 0)
        return Duration();
    return std::max(window[windowCount - 1], lastStart);
}
