#include "parser/FragmentIndex.h"

#include "parser/RandomAccessList.h"
#include "parser/TimingTables.h"

#include <algorithm>
#include <new>
#include <type_traits>

namespace {

// Records a track keeps at most: ten hours in fragments of one picture at
// sixty a second fit; a file of millions of tiny fragments ends there instead
// of holding memory in proportion to its length.
constexpr uint32_t kMaxFragmentRecords = 1u << 22;

// Appends each fragment to the tracks' records; a track that cannot take one
// ends before it.
class RecordingSink : public FragmentSink {
public:
    RecordingSink(const std::shared_ptr<TrackFragments>* tracks, uint32_t count, bool* ended, uint32_t* fragments)
        : tracks(tracks), count(count), ended(ended), fragments(fragments)
    {
    }

    void Take(const FoundFragment& fragment, const FragmentTally* tallies) override
    {
        for (uint32_t i = 0; i < count; ++i)
            if (!ended[i])
                ended[i] = !tracks[i]->Append(fragment.moofOffset, fragment.headerSize, fragment.size, tallies[i]);
        ++*fragments;
    }

private:
    const std::shared_ptr<TrackFragments>* tracks;
    uint32_t count;
    bool* ended;
    uint32_t* fragments;
};

// Takes the position of a track's first sample and stops the read there.
class FirstSampleVisitor : public FragmentVisitor {
public:
    explicit FirstSampleVisitor(uint32_t trackId) : trackId(trackId) {}

    bool BeginTrack(uint32_t id, bool, uint64_t) override { return id == trackId && !found; }
    bool TakesEachSample() const override { return true; }
    bool TakeSamples(const FragmentSample* samples, uint32_t) override
    {
        offset = samples[0].offset;
        found = true;
        return false;
    }

    const uint32_t trackId;
    bool found = false;
    int64_t offset = 0;
};

} // namespace

bool TrackFragments::FirstSampleOffset(const BoxCursor& file, int64_t* offset) const
{
    if (recordCount == 0)
        return false;
    const FragmentRecord& first = records[0];
    std::unique_ptr<uint8_t[]> box(new (std::nothrow) uint8_t[first.moofSize]);
    BoxCursor payload = file.Elsewhere(first.moofOffset + first.moofHeader, first.moofSize);
    if (!box || !payload.ReadBytes(box.get(), first.moofSize))
        return false;
    FirstSampleVisitor visitor(trackId);
    ReadMovieFragment(box.get(), first.moofSize, first.moofOffset, kMaxFilePosition, *defaults, visitor);
    *offset = visitor.offset;
    return visitor.found;
}

uint32_t TrackFragments::RecordOfSample(uint32_t sample) const
{
    const FragmentRecord* begin = records.get();
    const FragmentRecord* after = std::upper_bound(
        begin, begin + recordCount, sample, [](uint32_t s, const FragmentRecord& r) { return s < r.firstSample; });
    return after == begin ? 0 : uint32_t(after - begin - 1);
}

uint32_t TrackFragments::RecordAtTime(uint64_t t) const
{
    const FragmentRecord* begin = records.get();
    const uint64_t base = TimeBase();
    const FragmentRecord* after = std::upper_bound(
        begin, begin + recordCount, t, [&](uint64_t v, const FragmentRecord& r) { return v < r.decodeTime + base; });
    return after == begin ? 0 : uint32_t(after - begin - 1);
}

bool TrackFragments::Append(int64_t moofOffset, uint32_t moofHeader, uint32_t moofSize, const FragmentTally& tally)
{
    const uint32_t samples = tally.samples;
    const bool hasDecodeTime = tally.hasDecodeTime;
    const uint64_t decodeTime = tally.decodeTime;
    if (samples == 0)
        return true;
    if (recordCount == 0)
        ownTimes = hasDecodeTime;
    // Fragments whose times go back are out of order: where they belong
    // cannot be told, and the track ends before them.
    const uint64_t start =
        recordCount == 0 ? (ownTimes ? decodeTime : 0) : (ownTimes && hasDecodeTime ? decodeTime : endTime);
    if (recordCount > 0 && start < records[recordCount - 1].decodeTime)
        return false;
    if (start >= kMaxDecodeTime || samples > 0xFFFFFFFFu - sampleCount || recordCount == kMaxFragmentRecords)
        return false;
    if (recordCount == capacity && !Reserve(capacity ? capacity * 2 : 64))
        return false;
    records[recordCount++] = {moofOffset, start, sampleCount, samples, moofSize, uint16_t(moofHeader)};
    sampleCount += samples;
    endTime = std::min(start + tally.duration, kMaxDecodeTime);
    leastOffset = std::min(leastOffset, tally.leastOffset);
    largestMoof = std::max(largestMoof, moofSize);
    mostSamples = std::max(mostSamples, samples);
    return true;
}

bool TrackFragments::Reserve(uint32_t count)
{
    static_assert(std::is_trivially_copyable<FragmentRecord>::value, "records are moved by realloc");
    if (count <= capacity)
        return true;
    void* larger = std::realloc(records.get(), size_t(count) * sizeof(FragmentRecord));
    if (!larger)
        return false;
    records.release();
    records.reset(static_cast<FragmentRecord*>(larger));
    capacity = count;
    return true;
}

std::shared_ptr<TrackFragments> MovieFragments::Find(uint32_t trackId) const
{
    for (uint32_t i = 0; i < trackCount; ++i)
        if (tracks[i]->trackId == trackId)
            return tracks[i];
    return nullptr;
}

void MovieFragments::ReadDefaults(BoxCursor moov)
{
    BoxHeader header;
    while (moov.NextBox(&header))
        if (header.type == FourCC("mvex"))
            return ReadExtends(header.payload);
}

void MovieFragments::ReadExtends(BoxCursor& mvex)
{
    defaults.reset(new (std::nothrow) FragmentDefaultsTable());
    if (!defaults)
        return;
    BoxHeader header;
    while (mvex.NextBox(&header) && trackCount < FragmentDefaultsTable::kMaxTracks) {
        if (header.type != FourCC("trex"))
            continue;
        BoxCursor& box = header.payload;
        uint32_t trackId = 0;
        uint32_t descriptionIndex = 0;
        FragmentDefaults trackDefaults;
        box.Skip(4); // version and flags
        box.Read32(&trackId);
        box.Read32(&descriptionIndex);
        box.Read32(&trackDefaults.duration);
        box.Read32(&trackDefaults.size);
        // A track named twice keeps its first defaults.
        if (!box.Read32(&trackDefaults.flags) || !defaults->Add(trackId, trackDefaults))
            continue;
        tracks[trackCount] = std::shared_ptr<TrackFragments>(new (std::nothrow) TrackFragments(trackId, defaults));
        if (tracks[trackCount])
            ++trackCount;
    }
}

void MovieFragments::Index(BoxReader& reader)
{
    if (!Present())
        return;
    std::unique_ptr<bool[]> ended(new (std::nothrow) bool[trackCount]());
    uint32_t trackIds[FragmentDefaultsTable::kMaxTracks];
    if (!ended)
        return;
    for (uint32_t i = 0; i < trackCount; ++i)
        trackIds[i] = tracks[i]->trackId;
    RandomAccessList list;
    list.Read(reader);
    RecordingSink sink(tracks, trackCount, ended.get(), &fragmentCount);
    WalkFragments(reader, *defaults, trackIds, trackCount, list.Positions(), list.Count(), sink);
}
