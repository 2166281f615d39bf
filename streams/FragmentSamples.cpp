#include "streams/FragmentSamples.h"

#include <algorithm>
#include <cstdint>
#include <new>

namespace {

// Takes the samples of one track, up to the count the index gave it, with
// their decoding times from the fragment's start.
class TrackSamplesVisitor : public FragmentVisitor {
public:
    TrackSamplesVisitor(uint32_t trackId, uint64_t startTime, FragmentSampleTimes* samples, uint32_t room)
        : trackId(trackId), time(startTime), samples(samples), room(room)
    {
    }

    bool BeginTrack(uint32_t id, bool, uint64_t) override { return id == trackId; }
    bool TakesEachSample() const override { return true; }
    bool TakeSamples(const FragmentSample* taken, uint32_t number) override
    {
        for (uint32_t i = 0; i < number; ++i) {
            if (count == room)
                return false;
            FragmentSampleTimes& sample = samples[count++];
            static_cast<FragmentSample&>(sample) = taken[i];
            sample.decodeTime = time;
            time += taken[i].duration;
        }
        return true;
    }
    uint32_t Count() const { return count; }

private:
    uint32_t trackId;
    uint64_t time;
    FragmentSampleTimes* samples;
    uint32_t room;
    uint32_t count = 0;
};

} // namespace

bool FragmentSamples::SetTrack(std::shared_ptr<const TrackFragments> fragments)
{
    track.reset();
    box.reset();
    for (Loaded& slot : loaded)
        slot = Loaded();
    if (!fragments || fragments->RecordCount() == 0)
        return true;
    box.reset(new (std::nothrow) uint8_t[fragments->LargestFragment()]);
    for (Loaded& slot : loaded)
        slot.samples.reset(new (std::nothrow) FragmentSampleTimes[fragments->MostSamples()]);
    if (!box || !loaded[0].samples || !loaded[1].samples)
        return false;
    track = std::move(fragments);
    return true;
}

uint64_t FragmentSamples::FirstTime() const
{
    return track ? track->Record(0).decodeTime + track->TimeBase() : 0;
}

bool FragmentSamples::Read(uint32_t record, Loaded* into)
{
    const FragmentRecord& fragment = track->Record(record);
    if (!reader ||
        reader->ReadAt(fragment.moofOffset + fragment.moofHeader, box.get(), fragment.moofSize) != fragment.moofSize)
        return false;
    TrackSamplesVisitor visitor(track->trackId, fragment.decodeTime + track->TimeBase(), into->samples.get(),
                                fragment.sampleCount);
    // A fragment damaged after the track's samples still gives them: the
    // index kept those and no more.
    ReadMovieFragment(box.get(), fragment.moofSize, fragment.moofOffset, INT64_MAX, *track->defaults, visitor);
    if (visitor.Count() != fragment.sampleCount)
        return false;
    into->record = record;
    return true;
}

const FragmentSamples::Loaded* FragmentSamples::Load(uint32_t record)
{
    ++useCount;
    for (Loaded& slot : loaded) {
        if (slot.record == record) {
            slot.lastUse = useCount;
            return &slot;
        }
    }
    Loaded& oldest = loaded[0].lastUse <= loaded[1].lastUse ? loaded[0] : loaded[1];
    oldest.record = kNoRecord;
    if (!Read(record, &oldest))
        return nullptr;
    oldest.lastUse = useCount;
    return &oldest;
}

bool FragmentSamples::Get(uint32_t sample, FragmentSampleTimes* times)
{
    if (!Holds(sample) || sample >= EndSample())
        return false;
    const uint32_t inFragments = sample - track->tableSamples;
    // Nearly every sample asked for lies in a kept fragment: the records are
    // searched for the others only.
    uint32_t record = kNoRecord;
    for (const Loaded& slot : loaded) {
        const FragmentRecord* kept = slot.record == kNoRecord ? nullptr : &track->Record(slot.record);
        if (kept && inFragments >= kept->firstSample && inFragments - kept->firstSample < kept->sampleCount)
            record = slot.record;
    }
    if (record == kNoRecord)
        record = track->RecordOfSample(inFragments);
    const Loaded* fragment = Load(record);
    if (!fragment)
        return false;
    *times = fragment->samples[inFragments - track->Record(record).firstSample];
    return true;
}

bool FragmentSamples::SampleAtTime(uint64_t t, uint32_t* sample)
{
    if (!track)
        return false;
    const uint32_t record = track->RecordAtTime(t);
    const Loaded* fragment = Load(record);
    if (!fragment)
        return false;
    const FragmentRecord& at = track->Record(record);
    uint32_t index = 0;
    while (index + 1 < at.sampleCount && fragment->samples[index + 1].decodeTime <= t)
        ++index;
    *sample = track->tableSamples + at.firstSample + index;
    return true;
}

bool FragmentSamples::NextSync(uint32_t from, uint32_t* sync)
{
    if (!track || from >= EndSample())
        return false;
    if (from < FirstSample())
        from = FirstSample();
    for (uint32_t record = track->RecordOfSample(from - FirstSample()); record < track->RecordCount(); ++record) {
        const Loaded* fragment = Load(record);
        if (!fragment)
            return false;
        const FragmentRecord& at = track->Record(record);
        const uint32_t first = FirstSample() + at.firstSample;
        for (uint32_t i = from > first ? from - first : 0; i < at.sampleCount; ++i) {
            if (fragment->samples[i].sync) {
                *sync = first + i;
                return true;
            }
        }
    }
    return false;
}

bool FragmentSamples::PreviousSync(uint32_t from, uint32_t* sync)
{
    if (!Holds(from))
        return false;
    if (from >= EndSample())
        from = EndSample() - 1;
    for (uint32_t record = track->RecordOfSample(from - FirstSample()) + 1; record-- > 0;) {
        const Loaded* fragment = Load(record);
        if (!fragment)
            return false;
        const FragmentRecord& at = track->Record(record);
        const uint32_t first = FirstSample() + at.firstSample;
        for (uint32_t i = std::min(from - first + 1, at.sampleCount); i-- > 0;) {
            if (fragment->samples[i].sync) {
                *sync = first + i;
                return true;
            }
        }
    }
    return false;
}
