#include "parser/MovieFragment.h"

#include "parser/BoxReader.h"
#include "parser/ByteOrder.h"

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

// Bounded reads of boxes in memory: once a read fails every later one fails.
class Bytes {
public:
    Bytes(const uint8_t* data, size_t size) : data(data), left(size) {}

    bool Ok() const { return ok; }
    size_t Left() const { return left; }
    const uint8_t* Here() const { return data; }

    bool Skip(size_t count)
    {
        if (!ok || count > left)
            return ok = false;
        data += count;
        left -= count;
        return true;
    }
    uint32_t U32()
    {
        const uint8_t* at = data;
        if (!Skip(4))
            return 0;
        return uint32_t(at[0]) << 24 | uint32_t(at[1]) << 16 | uint32_t(at[2]) << 8 | at[3];
    }
    uint64_t U64()
    {
        const uint64_t high = U32();
        return high << 32 | U32();
    }
    // The next child box: its type and payload. Sizes that do not describe a
    // box inside this one end the walk.
    bool NextBox(uint32_t* type, Bytes* payload)
    {
        if (ok && left == 0)
            return false; // the end of the container
        const uint8_t* start = data;
        const size_t room = left;
        uint64_t size = U32();
        *type = U32();
        if (size == 1)
            size = U64();
        const size_t header = size_t(data - start);
        if (!ok || size < header || size > room) {
            ok = false;
            return false;
        }
        *payload = Bytes(data, size_t(size) - header);
        Skip(size_t(size) - header);
        return true;
    }

private:
    const uint8_t* data;
    size_t left;
    bool ok = true;
};

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
    bool Read(Bytes traf, int64_t* dataEnd, uint32_t* samplesLeft);

private:
    bool ReadHeader(Bytes box, int64_t previousEnd);
    bool ReadRun(Bytes box, bool firstRun, uint32_t* samplesLeft);

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

bool TrackFragmentReader::ReadHeader(Bytes box, int64_t previousEnd)
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

bool TrackFragmentReader::ReadRun(Bytes box, bool firstRun, uint32_t* samplesLeft)
{
    const uint32_t versionAndFlags = box.U32();
    const uint32_t flags = versionAndFlags & 0xFFFFFF;
    const bool signedOffsets = versionAndFlags >> 24 >= 1;
    const uint32_t count = box.U32();
    int64_t position = dataPosition;
    if (flags & kDataOffset) {
        // Data past the file's end is damage; told before the offset is added,
        // since a pin reads with no end known and a base may lie near INT64_MAX.
        const int64_t offset = int32_t(box.U32());
        position = offset > fileEnd - base ? -1 : base + offset;
    } else if (firstRun)
        position = base;
    uint32_t firstFlags = own.flags;
    const bool hasFirstFlags = (flags & kFirstSampleFlags) != 0;
    if (hasFirstFlags)
        firstFlags = box.U32();
    const size_t fields = ((flags & kSampleDuration) ? 4 : 0) + ((flags & kSampleSize) ? 4 : 0) +
                          ((flags & kSampleFlags) ? 4 : 0) + ((flags & kSampleCompositionOffset) ? 4 : 0);
    // Data before its own fragment, or a run longer than its box or than a
    // fragment may hold, is damage.
    if (!box.Ok() || count > *samplesLeft || uint64_t(count) * fields > box.Left() || position < moofOffset)
        return false;
    *samplesLeft -= count;
    // The fields were checked against the box above: read without a check
    // each, and handed over in batches, since a fragment holds hundreds.
    const uint8_t* field = box.Here();
    const auto next = [&field]() {
        uint32_t value = 0;
        ReadBigEndian32(field, &value);
        field += 4;
        return value;
    };
    FragmentSample batch[kSampleBatch];
    uint32_t batched = 0;
    bool whole = true;
    for (uint32_t i = 0; i < count; ++i) {
        FragmentSample& sample = batch[batched];
        sample.duration = flags & kSampleDuration ? next() : own.duration;
        sample.size = flags & kSampleSize ? next() : own.size;
        const uint32_t sampleFlags = flags & kSampleFlags ? next() : (i == 0 && hasFirstFlags ? firstFlags : own.flags);
        sample.compositionOffset = 0;
        if (flags & kSampleCompositionOffset) {
            const uint32_t offset = next();
            sample.compositionOffset = signedOffsets ? int64_t(int32_t(offset)) : int64_t(offset);
        }
        sample.sync = IsSync(sampleFlags);
        sample.offset = position;
        if (position > fileEnd - int64_t(sample.size)) {
            whole = false;
            break;
        }
        position += sample.size;
        if (wanted && ++batched == kSampleBatch) {
            if (!visitor.TakeSamples(batch, batched))
                return false;
            batched = 0;
        }
    }
    if (wanted && batched > 0 && !visitor.TakeSamples(batch, batched))
        return false;
    dataPosition = position;
    return whole;
}

bool TrackFragmentReader::Read(Bytes traf, int64_t* dataEnd, uint32_t* samplesLeft)
{
    // The header comes first and the decoding time before the runs; both are
    // looked for first all the same, so that their order does not matter.
    uint32_t type = 0;
    Bytes box(nullptr, 0);
    bool hasHeader = false;
    bool hasDecodeTime = false;
    uint64_t decodeTime = 0;
    Bytes children = traf;
    while (children.NextBox(&type, &box)) {
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
    Bytes runs = traf;
    while (runs.NextBox(&type, &box)) {
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
    Bytes moof(payload, size);
    // Without a base of its own, a track fragment's data follows the previous
    // one's, and the first one's starts at the fragment.
    int64_t dataEnd = moofOffset;
    uint32_t samplesLeft = kMaxFragmentSamples;
    uint32_t type = 0;
    Bytes traf(nullptr, 0);
    while (moof.NextBox(&type, &traf)) {
        if (type != FourCC("traf"))
            continue;
        if (!TrackFragmentReader(moofOffset, fileEnd, defaults, visitor).Read(traf, &dataEnd, &samplesLeft))
            return false;
    }
    return moof.Ok();
}
