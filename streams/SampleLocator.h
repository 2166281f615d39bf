// Where each sample of one track lies in the movie file, and which one comes
// next. The pin owns one locator and guards it with its pinLock: nothing in
// here takes a lock.
//
// The track's tables stay in the file: sample sizes, chunk offsets and the
// sample-to-chunk map are read entry by entry through three readers the pin
// owns, and only the map's sparse index is held in memory. Sequential play
// reads each entry right after the previous one, so it costs no seeks; a seek
// reads one block of map entries, one chunk offset and the sizes before its
// sample in its chunk.
#pragma once

#include "parser/ChunkMapTable.h"
#include "platform/Platform.h"
#include "streams/FileReader.h"
#include "streams/FragmentSamples.h"

#include <cstddef>
#include <cstdint>
#include <memory>

// What a pin streams, from its connection media type. Compressed sound other
// than AAC is Other: delivered as stored.
enum class StreamKind { Aac, Avc, Hevc, Mpeg4Video, Pcm, Other };

// One sample made current by AdvanceSample.
struct SampleLocation {
    uint32_t index = 0; // the sample's number in the track, from 0
    int64_t offset = 0; // absolute file offset of its bytes
    uint32_t size = 0;  // its byte count, from the sample size table
    uint32_t count = 1; // the samples it holds: more than one only where sizes are constant

    // Whether a prefix of prefixSize bytes and the sample fit in a media
    // sample buffer of bufferSize bytes; when not, the delivery must refuse
    // the sample (VFW_E_BUFFER_OVERFLOW) instead of writing past the buffer.
    bool FitsBuffer(size_t prefixSize, size_t bufferSize) const
    {
        return prefixSize <= bufferSize && size <= bufferSize - prefixSize;
    }
};

// The run of the map's last entry is open-ended: no chunk starts the next one.
constexpr uint64_t kNoNextRun = UINT64_MAX;

// The walk through the chunk map. A pin keeps one set per kind and uses the
// set of its own kind only (the video set for H.264 and "mp4v").
struct ChunkCursorSet {
    uint32_t samplesLeftInChunk = 0; // samples of the current chunk not yet delivered
    uint32_t chunkNumber = 0;        // 1-based number of the current chunk
    uint32_t chunkMapIndex = 0;      // the map entry that governs the current chunk
    int64_t sampleOffset = 0;        // file offset of the next sample while samplesLeftInChunk > 0
    uint32_t samplesPerChunk = 0;    // of that entry's run
    uint64_t nextRunChunk = 0;       // the next entry's first chunk; kNoNextRun after the last entry
};

class SampleLocator {
public:
    // A pin whose timing was never set reports one second.
    static constexpr REFERENCE_TIME kDefaultDuration = 10000000;
    static constexpr uint32_t kUnknownChunkCount = 0xFFFFFFFFu;

    // The fragments, when given, locate the samples that follow the tables'.
    SampleLocator(FileReader* sizeReader, FileReader* chunkReader, FileReader* mapReader,
                  FragmentSamples* fragments = nullptr);
    SampleLocator(const SampleLocator&) = delete;
    SampleLocator& operator=(const SampleLocator&) = delete;

    // The hand-over after the track's sample table box: the map as the parser
    // checked and indexed it. False for a map without entries or one whose
    // chunks start at 0, and the stream then fails at its first sample.
    bool SetChunkMap(StreamKind kind, std::shared_ptr<const ChunkMapTable> map);
    void SetStreamTiming(uint32_t sampleCount, REFERENCE_TIME mediaDuration);
    // A constant size, when not 0, is every sample's: no table entry is read.
    void SetSampleSizeTableOffset(int64_t offset, uint32_t constantSize = 0);
    // chunkCount, when known, bounds the reads of the chunk offset table,
    // whose entries are 4 bytes ("stco") or 8 ("co64").
    void SetChunkOffsetTableOffset(int64_t offset, uint32_t chunkCount = kUnknownChunkCount, uint32_t entrySize = 4);

    // Places the cursor on sample index, reading one chunk offset and the
    // sizes of the samples before it in its chunk. S_OK when placed, S_FALSE
    // when there is nothing left to play from there (index at or past
    // sampleCount, or the track has no samples or no duration), E_FAIL when
    // the tables cannot be read or the map does not reach the sample. The
    // answer is also what the next AdvanceSample gives when it is not S_OK.
    HRESULT LocateSample(uint32_t index);

    // Makes the next sample current: S_OK with its location, S_FALSE once
    // the track's last sample was handed out (the end of this pin's stream),
    // E_FAIL when a table entry cannot be read. Allocates nothing.
    HRESULT AdvanceSample(SampleLocation* sample);
    // The same for up to maxCount samples of one chunk at once, where sizes
    // are constant (uncompressed sound: one sample per frame); one sample
    // otherwise.
    HRESULT AdvanceSamples(uint32_t maxCount, SampleLocation* sample);

    uint32_t SampleCount() const { return sampleCount; }
    REFERENCE_TIME Duration() const { return duration; }
    REFERENCE_TIME AverageSampleDuration() const { return averageSampleDuration; }
    uint32_t CurrentSample() const { return currentSample; }
    int64_t SizeCursor() const { return sizeCursor; }
    int64_t ChunkCursor() const { return chunkCursor; }
    StreamKind Kind() const { return kind; }
    const ChunkCursorSet& Cursor() const { return kind == StreamKind::Aac ? aacCursor : avcCursor; }

private:
    ChunkCursorSet& ActiveCursor() { return kind == StreamKind::Aac ? aacCursor : avcCursor; }
    bool HasTiming() const;
    // Puts the cursor's run on the map entry that holds the sample, reading
    // one block of entries; false when they cannot be read. firstChunk and
    // firstSample are that run's first.
    bool FindRun(uint32_t index, ChunkCursorSet* cursor, uint32_t* firstChunk, uint64_t* firstSample);
    // Puts the cursor's run on a map entry, reading it and the next one's
    // first chunk.
    bool ReadRun(uint32_t entry, ChunkCursorSet* cursor);
    bool ReadChunkOffset(uint32_t chunk, int64_t* offset);
    bool AddSizesBefore(uint32_t index, uint32_t count, int64_t* offset);
    HRESULT EnterNextChunk(ChunkCursorSet& cursor);
    // AdvanceSamples for a sample in a fragment: neighbouring samples of one
    // size that lie one after the other go together, as the tables' do.
    HRESULT AdvanceInFragments(uint32_t maxCount, SampleLocation* sample);
    HRESULT Remember(HRESULT placementResult); // keeps and returns the answer of the last placement

    FileReader* sizeReader;
    FileReader* chunkReader;
    FileReader* mapReader;
    FragmentSamples* fragments;
    StreamKind kind = StreamKind::Other;
    std::shared_ptr<const ChunkMapTable> chunkMap;

    uint32_t sampleCount = 0;
    REFERENCE_TIME duration = kDefaultDuration;
    REFERENCE_TIME averageSampleDuration = 0;
    int64_t sizeTableOffset = 0;
    int64_t chunkTableOffset = 0;
    uint32_t constantSampleSize = 0;
    uint32_t chunkEntrySize = 4;
    uint32_t chunkCount = kUnknownChunkCount;

    uint32_t currentSample = 0; // the next sample AdvanceSample hands out
    int64_t sizeCursor = 0;     // file offset of that sample's size entry
    int64_t chunkCursor = 0;    // file offset of the entry after the current chunk's
    bool placed = false;        // false until the cursor is placed after the last hand-over
    HRESULT placement = S_OK;   // LocateSample's answer, repeated by AdvanceSample when not S_OK

    ChunkCursorSet aacCursor;
    ChunkCursorSet avcCursor;
};
