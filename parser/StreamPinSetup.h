// What the parser hands to each output pin once its track's sample table box
// has been walked. The pin implements it; the parser calls it, in this order:
// SetTrackData, OpenStreamFiles, SetStreamTiming, SetSampleSizeTableOffset,
// SetChunkOffsetTableOffset. The parser does not act on the results.
#pragma once

#include "parser/ChunkMapTable.h"
#include "parser/FragmentIndex.h"
#include "parser/SampleEntry.h"
#include "parser/TimingTables.h"
#include "platform/Platform.h"

#include <cstdint>
#include <memory>

// The pin's own track's tables and settings. The movie record keeps one set per
// kind for the whole movie, so a pin must not stream from the record: a second
// track of its kind would replace them. The pointers are valid only during the
// call: the pin copies what it keeps.
struct TrackStreamData {
    // Where the track's sample-to-chunk map lies in the file. Shared: the pin keeps it.
    std::shared_ptr<const ChunkMapTable> chunkMap;
    uint32_t chunkCount = 0; // entries of the chunk offset table: chunks past it have no offset
    uint32_t chunkOffsetSize = 4;    // bytes of one chunk offset entry: 4 ("stco") or 8 ("co64")
    uint32_t constantSampleSize = 0; // every sample's size when not 0: no size table is read
    // The sample entry of the kinds beyond H.264 and AAC (NAL length size,
    // parameter sets or decoder configuration, PCM layout); null for those two.
    const SampleEntry* entry = nullptr;
    // Where the track's sample times lie in the file; null when its tables do
    // not describe its samples, and the pin steps by the average duration.
    // Shared: the pin keeps it.
    std::shared_ptr<const TimingTables> timing;
    // The track's movie fragments, whose samples follow those of its tables;
    // null for a track without any. Shared: the pin keeps it.
    std::shared_ptr<const TrackFragments> fragments;
    const BYTE* spsData = nullptr;
    int32_t spsSize = 0;
    const BYTE* ppsData = nullptr;
    int32_t ppsSize = 0;
    uint32_t audioSampleRate = 0;
    int32_t audioChannels = 0;
};

class StreamPinSetup {
  public:
    virtual HRESULT SetTrackData(const TrackStreamData& data) = 0;
    // path is the movie's ANSI path; the pin opens its own readers on it.
    virtual HRESULT OpenStreamFiles(const char* path) = 0;
    virtual HRESULT SetStreamTiming(uint32_t sampleCount, REFERENCE_TIME mediaDuration) = 0;
    // File position of the first 4-byte entry of the sample size table.
    virtual HRESULT SetSampleSizeTableOffset(int64_t offset) = 0;
    // File position of the first entry of the chunk offset table.
    virtual HRESULT SetChunkOffsetTableOffset(int64_t offset) = 0;

protected:
    ~StreamPinSetup() = default;
};
