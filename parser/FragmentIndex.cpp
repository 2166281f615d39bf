#include "parser/FragmentIndex.h"

#include "parser/TimingTables.h"

#include <algorithm>
#include <new>

namespace {

// A fragment box larger than this is taken as damage: a real one describes
// seconds of samples in a few kilobytes.
constexpr int64_t kMaxFragmentBox = 16 * 1024 * 1024;
// Records a track keeps at most: ten hours in fragments of one picture at
// sixty a second fit; a file of millions of tiny fragments ends there instead
// of holding memory in proportion to its length.
constexpr uint32_t kMaxFragmentRecords = 1u << 22;

// Adds up what one fragment holds for each track.
class CountingVisitor : public FragmentVisitor {
public:
    using Tally = FragmentTally;

    CountingVisitor(const std::shared_ptr<TrackFragments>* tracks, uint32_t count, Tally* tallies)
        : tracks(tracks), count(count), tallies(tallies)
    {
    }

    bool BeginTrack(uint32_t trackId, bool hasDecodeTime, uint64_t decodeTime) override
    {
        current = nullptr;
        for (uint32_t i = 0; i < count; ++i)
            if (tracks[i]->trackId == trackId)
                current = &tallies[i];
        // A second track fragment of the track in one fragment continues it.
        if (current && !current->begun) {
            current->begun = true;
            current->hasDecodeTime = hasDecodeTime;
            current->decodeTime = decodeTime;
        }
        return current != nullptr;
    }
    bool TakeSamples(const FragmentSample* samples, uint32_t count) override
    {
        if (!current)
            return false;
        current->samples += count;
        for (uint32_t i = 0; i < count; ++i) {
            current->duration += samples[i].duration;
            current->leastOffset = std::min(current->leastOffset, samples[i].compositionOffset);
        }
        // At most 2^18 durations of 32 bits: far below 64 bits before the cap.
        current->duration = std::min(current->duration, kMaxDecodeTime);
        return true;
    }

private:
    const std::shared_ptr<TrackFragments>* tracks;
    uint32_t count;
    Tally* tallies;
    Tally* current = nullptr;
};

} // namespace

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
    records[recordCount++] = {moofOffset, start, sampleCount, samples, moofHeader, moofSize};
    sampleCount += samples;
    endTime = std::min(start + tally.duration, kMaxDecodeTime);
    leastOffset = std::min(leastOffset, tally.leastOffset);
    largestMoof = std::max(largestMoof, moofSize);
    mostSamples = std::max(mostSamples, samples);
    return true;
}

bool TrackFragments::Reserve(uint32_t count)
{
    if (count <= capacity)
        return true;
    std::unique_ptr<FragmentRecord[]> larger(new (std::nothrow) FragmentRecord[count]);
    if (!larger)
        return false;
    std::copy(records.get(), records.get() + recordCount, larger.get());
    records = std::move(larger);
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
    std::unique_ptr<CountingVisitor::Tally[]> tallies(new (std::nothrow) CountingVisitor::Tally[trackCount]);
    std::unique_ptr<bool[]> ended(new (std::nothrow) bool[trackCount]());
    if (!tallies || !ended)
        return;
    std::unique_ptr<uint8_t[]> buffer;
    int64_t bufferSize = 0;
    BoxCursor file(&reader, 0, reader.FileEnd());
    BoxHeader header;
    while (file.NextBox(&header, BoxSizeRule::TopLevel)) {
        if (header.type != FourCC("moof"))
            continue;
        // The payload is read from where the header ended: the stream stands
        // there, and a read that does not seek back costs one system call
        // less per fragment.
        const int64_t size = header.payload.Remaining();
        const uint32_t headerSize = uint32_t(header.payload.Position() - header.start);
        if (size > kMaxFragmentBox)
            break;
        if (size > bufferSize) {
            buffer.reset(new (std::nothrow) uint8_t[size_t(size)]);
            bufferSize = buffer ? size : 0;
            if (!buffer)
                break;
        }
        if (size > 0 && !reader.ReadAt(header.payload.Position(), buffer.get(), size_t(size)))
            break;
        std::fill(tallies.get(), tallies.get() + trackCount, CountingVisitor::Tally());
        CountingVisitor visitor(tracks, trackCount, tallies.get());
        const bool whole =
            ReadMovieFragment(buffer.get(), size_t(size), header.start, reader.FileEnd(), *defaults, visitor);
        for (uint32_t i = 0; i < trackCount; ++i) {
            const FragmentTally& tally = tallies[i];
            if (!ended[i])
                ended[i] = !tracks[i]->Append(header.start, headerSize, uint32_t(size), tally);
        }
        ++fragmentCount;
        // The samples before the damage are kept; nothing after it is trusted.
        if (!whole)
            break;
        // The next fragment box is most likely as large as this one: a fill
        // of its size and the header after it reads it whole, and no more.
        reader.SetWindowFill(size_t(headerSize + size) + 32);
    }
    reader.SetWindowFill(BoxReader::kWindowSize);
}
