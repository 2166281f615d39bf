// The samples of a track that lie in movie fragments, for its pin: each
// fragment's runs are read from the file when a sample in it is asked for,
// through a reader of the pin's own, and the last two fragments read are
// kept (the sample locator and the timeline's look-ahead stand in neighbouring
// ones where a fragment ends). Sample numbers are the track's: the fragments'
// samples follow the tables' ones.
//
// The pin guards it with its pinLock, together with the locator and timeline
// that share it. Reading a fragment allocates nothing: the buffers are made
// at the hand-over, sized by the largest fragment of the track.
#pragma once

#include "parser/FragmentIndex.h"
#include "streams/FileReader.h"

#include <cstdint>
#include <memory>

struct FragmentSampleTimes : FragmentSample {
    uint64_t decodeTime = 0; // in the media's time scale
};

class FragmentSamples {
public:
    explicit FragmentSamples(FileReader* reader) : reader(reader) {}
    FragmentSamples(const FragmentSamples&) = delete;
    FragmentSamples& operator=(const FragmentSamples&) = delete;

    // The hand-over (null: a track without fragments). False when the
    // buffers cannot be had; every fragment sample then fails to read.
    bool SetTrack(std::shared_ptr<const TrackFragments> fragments);

    // Whether the sample lies in a fragment.
    bool Holds(uint32_t sample) const { return track && sample >= track->tableSamples; }
    uint32_t FirstSample() const { return track ? track->tableSamples : 0; }
    uint32_t EndSample() const { return track ? track->tableSamples + track->SampleCount() : 0; }
    // The decoding time of the first fragment sample.
    uint64_t FirstTime() const;

    // The sample's place and times; false when its fragment cannot be read
    // or no longer holds what the index says.
    bool Get(uint32_t sample, FragmentSampleTimes* times);
    // The last fragment sample whose decoding time is at or before t (the
    // first one for a t before it).
    bool SampleAtTime(uint64_t t, uint32_t* sample);
    // The first sync sample at or after from, and the last at or before it,
    // among the fragment samples; false when there is none or a fragment on
    // the way cannot be read.
    bool NextSync(uint32_t from, uint32_t* sync);
    bool PreviousSync(uint32_t from, uint32_t* sync);

private:
    static constexpr uint32_t kNoRecord = 0xFFFFFFFFu;

    struct Loaded {
        uint32_t record = kNoRecord;
        std::unique_ptr<FragmentSampleTimes[]> samples;
        uint64_t lastUse = 0;
    };

    // The fragment of a record, read unless it is kept; null when it cannot be.
    const Loaded* Load(uint32_t record);
    bool Read(uint32_t record, Loaded* into);

    FileReader* reader;
    std::shared_ptr<const TrackFragments> track;
    std::unique_ptr<uint8_t[]> box; // one fragment box, as read
    Loaded loaded[2];
    uint64_t useCount = 0;
};
