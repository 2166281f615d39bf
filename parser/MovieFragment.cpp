#include "parser/MovieFragment.h"

#include "parser/BoxReader.h"
#include "parser/ByteOrder.h"
#include "parser/MemoryBytes.h"

#include <algorithm>

namespace {

// tfhd flags
constexpr uint32_t kBaseDataOffset = 0x000001;
constexpr uint32_t kDescriptionIndex = 0x000002;
constexpr uint32_t kDefaultDuration = 0x000008;
constexpr uint32_t kDefaultSize = 0x000010;
constexpr uint32_t kDefaultFlags = 0x000020;
constexpr uint32_t kBaseIsMoof = 0x020000;
// trun flags
constexpr uint32_t kDataOffset = 0x000001;
constexpr uint32_t kFirstSampleFlags = 0x000004;
constexpr uint32_t kSampleDuration = 0x000100;
constexpr uint32_t kSampleSize = 0x000200;
constexpr uint32_t kSampleFlags = 0x000400;
constexpr uint32_t kSampleCompositionOffset = 0x000800;
// sample flags: "is non-sync sample", and "depends on" 1: on other samples
constexpr uint32_t kNonSync = 0x00010000;
constexpr uint32_t kDependsOnOthers = 1;
// Samples handed to the visitor at once.
constexpr uint32_t kSampleBatch = 64;

// The next child box of a container in memory: its type and payload. Sizes
// that do not describe a box inside the container end the walk.
bool NextBox(MemoryBytes& container, uint32_t* type, MemoryBytes* payload)
{
    if (container.Ok() && container.Left() == 0)
        return false; // the end of the container
    const size_t room = container.Left();
    uint64_t size = container.U32();
    *type = container.U32();
    if (size == 1)
        size = container.U64();
    const size_t header = room - container.Left();
    if (!container.Ok() || size < header || size > room)
        return container.Fail();
    return container.Take(size_t(size) - header, payload);
}

bool IsSync(uint32_t flags)
{
    return (flags & kNonSync) == 0 && (flags >> 24 & 3) != kDependsOnOthers;
}

// One track fragment's header and decoding time, then its runs.
class TrackFragmentReader {
public:
    TrackFragmentReader(int64_t moofOffset, int64_t fileEnd, const FragmentDefaultsTable& table,
                        FragmentVisitor& visitor)
        : moofOffset(moofOffset), fileEnd(fileEnd), table(table), visitor(visitor)
    {
    }

    // dataEnd: where the previous track fragment's data ended (the base of a
    // fragment that names none), updated to where this one's ends.
    bool Read(MemoryBytes traf, int64_t* dataEnd, uint32_t* samplesLeft);

private:
    bool ReadHeader(MemoryBytes box, int64_t previousEnd);
    bool ReadRun(MemoryBytes box, bool firstRun, uint32_t* samplesLeft);

    int64_t moofOffset;
    int64_t fileEnd;
    const FragmentDefaultsTable& table;
    FragmentVisitor& visitor;
    bool wanted = false;
    uint32_t trackId = 0;
    const FragmentDefaults* defaults = nullptr;
    FragmentDefaults own; // the trex defaults with the header's applied
    int64_t base = 0;
    int64_t dataPosition = 0; // where the next run's data starts when it names no offset
};

bool TrackFragmentReader::ReadHeader(MemoryBytes box, int64_t previousEnd)
{
    const uint32_t flags = box.U32() & 0xFFFFFF;
    trackId = box.U32();
    defaults = box.Ok() ? table.Find(trackId) : nullptr;
    if (!defaults)
        return box.Ok(); // a track the movie does not have: passed over
    own = *defaults;
    base = flags & kBaseIsMoof ? moofOffset : previousEnd;
    if (flags & kBaseDataOffset) {
        const uint64_t offset = box.U64();
        base = offset > uint64_t(fileEnd) ? -1 : int64_t(offset);
    }
    if (flags & kDescriptionIndex)
        box.U32();
    if (flags & kDefaultDuration)
        own.duration = box.U32();
    if (flags & kDefaultSize)
        own.size = box.U32();
    if (flags & kDefaultFlags)
        own.flags = box.U32();
    dataPosition = base;
    return box.Ok() && base >= 0;
}

// Where a run's per-sample fields lie in each of its entries.
class RunFields {
public:
    RunFields(uint32_t flags, bool signedOffsets, const uint8_t* entries)
        : flags(flags), signedOffsets(signedOffsets), entries(entries)
    {
        size_t at = 0;
        const auto place = [&](uint32_t field, size_t* where) {
            *where = at;
            at += flags & field ? 4 : 0;
        };
        place(kSampleDuration, &durationAt);
        place(kSampleSize, &sizeAt);
        place(kSampleFlags, &flagsAt);
        place(kSampleCompositionOffset, &offsetAt);
        stride = at;
    }

    size_t Stride() const { return stride; }
    bool Has(uint32_t field) const { return (flags & field) != 0; }
    uint32_t Field(uint32_t i, size_t at) const
    {
        uint32_t value = 0;
        ReadBigEndian32(entries + i * stride + at, &value);
        return value;
    }
    int64_t CompositionOffset(uint32_t i) const
    {
        const uint32_t offset = Field(i, offsetAt);
        return signedOffsets ? int64_t(int32_t(offset)) : int64_t(offset);
    }

    // Sample i with the defaults applied (firstFlags: the first sample's).
    void Decode(uint32_t i, const FragmentDefaults& own, uint32_t firstFlags, FragmentSample* sample) const
    {
        sample->duration = Has(kSampleDuration) ? Field(i, durationAt) : own.duration;
        sample->size = Has(kSampleSize) ? Field(i, sizeAt) : own.size;
        sample->sync = IsSync(Has(kSampleFlags) ? Field(i, flagsAt) : (i == 0 ? firstFlags : own.flags));
        sample->compositionOffset = Has(kSampleCompositionOffset) ? CompositionOffset(i) : 0;
    }

    // The totals of count samples, and the bytes of their data, added up
    // field by field.
    FragmentRunTotals Sum(uint32_t count, const FragmentDefaults& own, uint64_t* bytes) const
    {
        FragmentRunTotals totals;
        totals.count = count;
        // At most 2^18 values of 32 bits each: far below 64 bits.
        uint64_t size = 0;
        for (uint32_t i = 0; Has(kSampleDuration) && i < count; ++i)
            totals.duration += Field(i, durationAt);
        for (uint32_t i = 0; Has(kSampleSize) && i < count; ++i)
            size += Field(i, sizeAt);
        for (uint32_t i = 0; Has(kSampleCompositionOffset) && signedOffsets && i < count; ++i)
            totals.leastOffset = std::min(totals.leastOffset, CompositionOffset(i));
        if (!Has(kSampleDuration))
            totals.duration = uint64_t(count) * own.duration;
        *bytes = Has(kSampleSize) ? size : uint64_t(count) * own.size;
        return totals;
    }

private:
    uint32_t flags;
    bool signedOffsets;
    const uint8_t* entries;
    size_t stride = 0;
    size_t durationAt = 0;
    size_t sizeAt = 0;
    size_t flagsAt = 0;
    size_t offsetAt = 0;
};

bool TrackFragmentReader::ReadRun(MemoryBytes box, bool firstRun, uint32_t* samplesLeft)
{
    const uint32_t versionAndFlags = box.U32();
    const uint32_t flags = versionAndFlags & 0xFFFFFF;
    const uint32_t count = box.U32();
    int64_t position = dataPosition;
    if (flags & kDataOffset) {
        // Data past the file's end is damage; told before the offset is added,
        // since a pin reads with no end known and a base may lie near INT64_MAX.
        const int64_t offset = int32_t(box.U32());
        position = offset > fileEnd - base ? -1 : base + offset;
    } else if (firstRun)
        position = base;
    const uint32_t firstFlags = flags & kFirstSampleFlags ? box.U32() : own.flags;
    const RunFields fields(flags, versionAndFlags >> 24 >= 1, box.Here());
    // Data before its own fragment, or a run longer than its box or than a
    // fragment may hold, is damage.
    if (!box.Ok() || count > *samplesLeft || uint64_t(count) * fields.Stride() > box.Left() || position < moofOffset)
        return false;
    *samplesLeft -= count;
    // The fields were checked against the box above: they are read without a
    // check each. A run whose data lies in the file is added up at once for
    // a visitor that wants totals, or no samples at all.
    const bool eachSample = wanted && visitor.TakesEachSample();
    if (!eachSample) {
        uint64_t bytes = 0;
        const FragmentRunTotals totals = fields.Sum(count, own, &bytes);
        const bool fits = bytes <= uint64_t(fileEnd - position);
        if (fits && wanted)
            visitor.TakeTotals(totals);
        if (fits)
            dataPosition = position + int64_t(bytes);
        if (fits || !wanted)
            return fits;
    }
    // One by one: for a visitor that takes each sample, handed over in
    // batches since a fragment holds hundreds, and to find the last sample
    // of a run whose data runs past the file.
    bool whole = true;
    FragmentRunTotals good;
    FragmentSample batch[kSampleBatch];
    uint32_t batched = 0;
    for (uint32_t i = 0; i < count; ++i) {
        FragmentSample& sample = batch[batched];
        fields.Decode(i, own, firstFlags, &sample);
        if (position > fileEnd - int64_t(sample.size)) {
            whole = false;
            break;
        }
        sample.offset = position;
        position += sample.size;
        ++good.count;
        good.duration += sample.duration;
        good.leastOffset = std::min(good.leastOffset, sample.compositionOffset);
        if (eachSample && ++batched == kSampleBatch) {
            if (!visitor.TakeSamples(batch, batched))
                return false;
            batched = 0;
        }
    }
    if (eachSample && batched > 0 && !visitor.TakeSamples(batch, batched))
        return false;
    if (!eachSample)
        visitor.TakeTotals(good);
    dataPosition = position;
    return whole;
}

bool TrackFragmentReader::Read(MemoryBytes traf, int64_t* dataEnd, uint32_t* samplesLeft)
{
    // The header comes first and the decoding time before the runs; both are
    // looked for first all the same, so that their order does not matter.
    uint32_t type = 0;
    MemoryBytes box;
    bool hasHeader = false;
    bool hasDecodeTime = false;
    uint64_t decodeTime = 0;
    MemoryBytes children = traf;
    while (NextBox(children, &type, &box)) {
        if (type == FourCC("tfhd") && !hasHeader) {
            hasHeader = true;
            if (!ReadHeader(box, *dataEnd))
                return false;
        } else if (type == FourCC("tfdt") && !hasDecodeTime) {
            const uint8_t version = box.Left() > 0 ? box.Here()[0] : 0;
            box.Skip(4);
            decodeTime = version == 1 ? box.U64() : box.U32();
            hasDecodeTime = box.Ok();
        }
    }
    if (!hasHeader || !children.Ok())
        return false;
    if (!defaults)
        return true;
    wanted = visitor.BeginTrack(trackId, hasDecodeTime, decodeTime);
    bool firstRun = true;
    MemoryBytes runs = traf;
    while (NextBox(runs, &type, &box)) {
        if (type != FourCC("trun"))
            continue;
        if (!ReadRun(box, firstRun, samplesLeft))
            return false;
        firstRun = false;
    }
    if (!runs.Ok())
        return false;
    *dataEnd = dataPosition;
    return true;
}

} // namespace

const FragmentDefaults* FragmentDefaultsTable::Find(uint32_t trackId) const
{
    for (uint32_t i = 0; i < count; ++i)
        if (ids[i] == trackId)
            return &defaults[i];
    return nullptr;
}

bool FragmentDefaultsTable::Add(uint32_t trackId, const FragmentDefaults& trackDefaults)
{
    if (count == kMaxTracks || Find(trackId))
        return false;
    ids[count] = trackId;
    defaults[count++] = trackDefaults;
    return true;
}

bool ReadMovieFragment(const uint8_t* payload, size_t size, int64_t moofOffset, int64_t fileEnd,
                       const FragmentDefaultsTable& defaults, FragmentVisitor& visitor)
{
    MemoryBytes moof(payload, size);
    // Without a base of its own, a track fragment's data follows the previous
    // one's, and the first one's starts at the fragment.
    int64_t dataEnd = moofOffset;
    uint32_t samplesLeft = kMaxFragmentSamples;
    uint32_t type = 0;
    MemoryBytes traf;
    while (NextBox(moof, &type, &traf)) {
        if (type != FourCC("traf"))
            continue;
        if (!TrackFragmentReader(moofOffset, fileEnd, defaults, visitor).Read(traf, &dataEnd, &samplesLeft))
            return false;
    }
    return moof.Ok();
}
