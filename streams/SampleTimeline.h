// The presentation time and sync mark of each sample of one track, from the
// track's own timing tables: decoding durations, composition offsets, sync
// samples and the edit list's start. The tables stay in the file and are read
// entry by entry through readers the pin owns; what this holds does not grow
// with the movie. A track whose tables cannot be used (none were handed over)
// is timed in steps of its average sample duration, every sample a sync one.
//
// Stamps go out in delivery (decoding) order and never go down: a track with
// composition offsets gives the k-th sample it delivers the k-th smallest
// presentation time, found in a window of the next kReorderDepth samples,
// which is what a decoder that hands out pictures in display order needs.
//
// The pin owns one timeline and guards it with its pinLock, together with the
// sample locator whose place it shares.
#pragma once

#include "parser/TimingTables.h"
#include "platform/Platform.h"
#include "streams/FileReader.h"
#include "streams/FragmentSamples.h"

#include <cstdint>
#include <memory>

struct SampleTimes {
    REFERENCE_TIME start = 0; // presentation times in 100-ns units, on the movie's time line
    REFERENCE_TIME stop = 0;
    bool sync = true;
};

class SampleTimeline {
public:
    // Decoders reorder over at most 16 pictures.
    static constexpr uint32_t kReorderDepth = 16;

    // The fragments, when given, time the samples that follow the tables'.
    SampleTimeline(FileReader* decodeReader, FileReader* offsetReader, FileReader* syncReader,
                   FragmentSamples* fragments = nullptr);
    SampleTimeline(const SampleTimeline&) = delete;
    SampleTimeline& operator=(const SampleTimeline&) = delete;

    // The hand-over: the tables (null: average steps), then the sample count
    // and media duration that the average steps are made of.
    void SetTables(std::shared_ptr<const TimingTables> tables);
    void SetStreamTiming(uint32_t sampleCount, REFERENCE_TIME mediaDuration);

    bool FromTables() const { return tables != nullptr; }
    // The track's length on the movie's time line: the media duration without
    // an edit list; with one, its empty edits and the media edit that follows.
    REFERENCE_TIME Duration() const;

    // Where a start at t begins: for a track of sync samples (video), the last
    // sync sample shown at or before t; for any other, the sample whose
    // presentation holds t. A t at or before the track's first sample gives 0,
    // one past its last the sample count.
    uint32_t StartSampleAt(REFERENCE_TIME t);
    // Where a skip to t lands: the first sync sample at or after the sample
    // whose presentation holds t, never one before NextSample(); the sample
    // count when none is left.
    uint32_t SkipTargetAt(REFERENCE_TIME t);

    // Makes sample the next one Next() times, for a new segment. S_OK, or
    // E_FAIL when a table cannot be read there, which Next() then repeats.
    HRESULT PlaceAt(uint32_t sample);
    // The same within a segment (a skip ahead): stamps still never go down.
    HRESULT SkipTo(uint32_t sample);
    // The times of the next sample, and moves on: S_OK, S_FALSE after the
    // last sample, E_FAIL when a table entry cannot be read.
    HRESULT Next(SampleTimes* times);
    // The presentation time where the stream stands: the start the next
    // sample will get (the track's end when none is left).
    REFERENCE_TIME NextStart();
    uint32_t NextSample() const { return nextSample; }

private:
    // A walk through a table of (count, value) entries.
    struct RunCursor {
        uint32_t entry = 0; // the next entry to read
        uint64_t left = 0;  // samples of the current entry still to come
        uint64_t value = 0; // the current entry's value
    };

    uint32_t SampleCount() const;
    // The samples the tables time: those before the fragments.
    uint32_t TableEnd() const;
    bool InFragments(uint32_t sample) const { return tables && fragments && fragments->Holds(sample); }
    // StartSampleAt among the fragment samples: the last sync sample shown
    // by t at or before holding; false when the fragments have none and the
    // tables' samples are to be searched.
    bool FragmentStartAt(uint32_t holding, REFERENCE_TIME t, uint32_t* start);
    // The times of the next sample the window takes: its presentation time,
    // decoding time and decoding duration.
    bool AheadTimes(REFERENCE_TIME* time, uint64_t* decodeTime, uint64_t* duration);
    bool ReadPair(FileReader* reader, const TimingTable& table, uint32_t entry, uint64_t* count, uint32_t* value);
    // Walks a table of (count, value) entries from its index point at or
    // before where (by key), adding up counts and count times value, until
    // found(entry, first sample, sum, count, value) takes an entry.
    template <typename Key, typename Found>
    bool WalkEntries(FileReader* reader, const TimingTable& table, uint64_t where, Key key, Found found);
    // A cursor on sample in a table of (count, value) entries, and the sum of
    // the values of the samples before it.
    bool RunCursorAt(FileReader* reader, const TimingTable& table, uint32_t sample, RunCursor* cursor,
                     uint64_t* valueSum);
    // The cursors on sample s: the decoding time table's, with the decoding
    // time of s, and the composition offset table's.
    bool DecodeCursorAt(uint32_t sample, RunCursor* cursor, uint64_t* decodeTime);
    bool OffsetCursorAt(uint32_t sample, RunCursor* cursor);
    // The sync sample table's first entry at or after sample (0-based), and its
    // sample; false when there is none.
    bool SyncEntryFrom(uint32_t sample, uint32_t* entry, uint32_t* syncSample);
    bool IsSync(uint32_t sample);
    // Steps a cursor to the next sample, reading entries as it needs them.
    bool Step(FileReader* reader, const TimingTable& table, RunCursor* cursor);
    // Presentation time of a sample from its decoding time and offset.
    REFERENCE_TIME PresentationTime(uint64_t decodeTime, int64_t offset) const;
    int64_t Offset(const RunCursor& cursor) const;
    bool PresentationTimeOf(uint32_t sample, REFERENCE_TIME* time);
    // The last sample whose decoding time, on the presentation time line,
    // lies at or before t (the sample count past the end).
    uint32_t SampleHolding(REFERENCE_TIME t);
    // Reads presentation times ahead until the window holds those of samples
    // up to (not including) end.
    bool FillWindow(uint32_t end);
    REFERENCE_TIME PopEarliest();

    FileReader* decodeReader;
    FileReader* offsetReader;
    FileReader* syncReader;
    FragmentSamples* fragments;
    std::shared_ptr<const TimingTables> tables;
    uint32_t averageCount = 0;          // the sample count, without tables
    REFERENCE_TIME averageDuration = 0; // the step, without tables
    REFERENCE_TIME mediaDuration = 0;
    REFERENCE_TIME editShift = 0; // the empty edits, in 100-ns units

    uint32_t nextSample = 0;  // the next sample Next() times
    HRESULT placement = S_OK; // PlaceAt's answer
    uint32_t nextSync = 0;    // sync sample table: the next entry's sample (0-based) at or after nextSample
    uint32_t nextSyncEntry = 0;
    bool syncLeft = false; // a sync sample remains at or after nextSample

    // The look-ahead: samples [nextSample, aheadSample) have their times in
    // the window, sorted from the latest down to the earliest.
    uint32_t aheadSample = 0;
    uint64_t aheadDecodeTime = 0;
    RunCursor decodeCursor;
    RunCursor offsetCursor;
    REFERENCE_TIME lastDuration = 0; // of the track's last sample, once read ahead
    REFERENCE_TIME window[kReorderDepth + 2] = {};
    uint32_t windowCount = 0;
    REFERENCE_TIME lastStart = INT64_MIN; // stamps never go down
};
