#include "parser/FragmentWalk.h"

#include "parser/MemoryBytes.h"
#include "parser/ReadBatch.h"
#include "parser/TimingTables.h"

#include <algorithm>
#include <memory>
#include <new>

namespace {

// A fragment box larger than this is taken as damage: a real one describes
// seconds of samples in a few kilobytes.
constexpr int64_t kMaxFragmentBox = 16 * 1024 * 1024;

// Adds up what one fragment holds for each track.
class CountingVisitor : public FragmentVisitor {
public:
    CountingVisitor(const uint32_t* trackIds, uint32_t count, FragmentTally* tallies)
        : trackIds(trackIds), count(count), tallies(tallies)
    {
    }

    bool BeginTrack(uint32_t trackId, bool hasDecodeTime, uint64_t decodeTime) override
    {
        current = nullptr;
        for (uint32_t i = 0; i < count; ++i)
            if (trackIds[i] == trackId)
                current = &tallies[i];
        // A second track fragment of the track in one fragment continues it.
        if (current && !current->begun) {
            current->begun = true;
            current->hasDecodeTime = hasDecodeTime;
            current->decodeTime = decodeTime;
        }
        return current != nullptr;
    }
    bool TakesEachSample() const override { return false; }
    void TakeTotals(const FragmentRunTotals& run) override
    {
        current->samples += run.count;
        // At most 2^18 durations of 32 bits: far below 64 bits before the cap.
        current->duration = std::min(current->duration + run.duration, kMaxDecodeTime);
        current->leastOffset = std::min(current->leastOffset, run.leastOffset);
    }

private:
    const uint32_t* trackIds;
    uint32_t count;
    FragmentTally* tallies;
    FragmentTally* current = nullptr;
};

// A box header at the start of bytes: false unless it is a plain one (a
// 32-bit size of at least 8, or size 1 and a 64-bit size of at least 16)
// wholly among the available bytes.
bool PlainHeader(const uint8_t* bytes, int64_t available, uint64_t* size, uint32_t* type, uint32_t* headerSize)
{
    MemoryBytes header(bytes, available > 0 ? size_t(available) : 0);
    *size = header.U32();
    *type = header.U32();
    if (*size == 1)
        *size = header.U64();
    *headerSize = uint32_t(size_t(available > 0 ? available : 0) - header.Left());
    return header.Ok() && *size >= *headerSize;
}

// The walk: box by box from the file's start; where it stands on a fragment
// box that the random access list names, from one list entry to the next in
// batches of reads, for as long as each fragment box and the one box after it
// lead exactly to the next entry. Anything else (a box between, a fragment
// the list leaves out, an entry that is no fragment box) goes box by box
// again: the list only saves reads, and the walk finds what the box-by-box
// walk finds.
class Walker {
public:
    Walker(BoxReader& reader, const FragmentDefaultsTable& defaults, const uint32_t* trackIds, uint32_t trackCount,
           FragmentSink& sink)
        : reader(reader), defaults(defaults), trackIds(trackIds), trackCount(trackCount), sink(sink),
          tallies(new (std::nothrow) FragmentTally[trackCount])
    {
    }

    void Walk(const int64_t* listed, uint32_t listedCount)
    {
        if (!tallies)
            return;
        this->listed = listed;
        this->listedCount = listedCount;
        for (int64_t position = 0; position != kOver;) {
            position = BoxByBox(position);
            if (position != kOver)
                position = FromTheList();
        }
        reader.SetWindowFill(BoxReader::kWindowSize);
    }

private:
    static constexpr int64_t kOver = -1;

    // Hands one fragment to the sink; false when what follows it is not to
    // be trusted.
    bool Take(const uint8_t* payload, int64_t moofStart, uint32_t headerSize, uint32_t size)
    {
        std::fill(tallies.get(), tallies.get() + trackCount, FragmentTally());
        CountingVisitor visitor(trackIds, trackCount, tallies.get());
        const bool whole = ReadMovieFragment(payload, size, moofStart, reader.FileEnd(), defaults, visitor);
        sink.Take({moofStart, headerSize, size}, tallies.get());
        return whole;
    }

    bool ListedHere(int64_t position)
    {
        while (next < listedCount && listed[next] < position)
            ++next;
        return next < listedCount && listed[next] == position && batch && batch->Ready();
    }

    // From position box by box, until the walk stands on a listed fragment
    // box (its position is returned) or is over.
    int64_t BoxByBox(int64_t position)
    {
        BoxCursor file(&reader, position, reader.FileEnd());
        BoxHeader header;
        while (!ListedHere(file.Position())) {
            if (!file.NextBox(&header, BoxSizeRule::TopLevel))
                return kOver;
            if (header.type == FourCC("moof") && !TakeInPlace(header))
                return kOver;
        }
        return file.Position();
    }

    bool TakeInPlace(const BoxHeader& header)
    {
        const int64_t size = header.payload.Remaining();
        const uint32_t headerSize = uint32_t(header.payload.Position() - header.start);
        if (size > kMaxFragmentBox)
            return false;
        // A fragment box of the usual few kilobytes is read where it lies in
        // the reader's window; a larger one into a buffer of its own.
        const uint8_t* payload = reader.Peek(header.payload.Position(), size_t(size));
        if (!payload) {
            if (size > bufferSize) {
                buffer.reset(new (std::nothrow) uint8_t[size_t(size)]);
                bufferSize = buffer ? size : 0;
                if (!buffer)
                    return false;
            }
            if (size > 0 && !reader.ReadAt(header.payload.Position(), buffer.get(), size_t(size)))
                return false;
            payload = buffer.get();
        }
        // The next fragment box is most likely as large as this one: a fill
        // of its size and the header after it reads it whole, and no more;
        // reads from the list get room for half as much again.
        lastBox = uint32_t(headerSize + size);
        reader.SetWindowFill(lastBox + 32);
        if (!batch && listedCount > 1 && lastBox <= ReadBatch::kMaxSlotBytes / 2)
            batch.reset(new (std::nothrow) ReadBatch(reader.Handle(), lastBox + lastBox / 2 + 64));
        return Take(payload, header.start, headerSize, uint32_t(size));
    }

    // From the listed fragment box the walk stands on, entry by entry; where
    // the box-by-box walk takes over again, or kOver.
    int64_t FromTheList()
    {
        const uint32_t slots = ReadBatch::kSlots;
        const int64_t fileEnd = reader.FileEnd();
        uint32_t started = next;
        uint32_t i = next;
        int64_t resume = listed[i];
        for (;; ++i) {
            // Each read the size of the last box and a little more, and the
            // header after it: copying more costs as much as the call.
            const int64_t wanted = std::min<int64_t>(batch->SlotBytes(), lastBox + lastBox / 8 + 32);
            for (; started < listedCount && started - i < slots; ++started)
                batch->Start(started % slots, listed[started],
                             uint32_t(std::max<int64_t>(0, std::min(wanted, fileEnd - listed[started]))));
            uint32_t got = 0;
            const uint8_t* bytes = batch->Finish(i % slots, &got);
            const int64_t at = listed[i];
            uint64_t size = 0;
            uint32_t type = 0;
            uint32_t headerSize = 0;
            resume = at;
            // Not the plain fragment box the list says, or not wholly read:
            // the box-by-box walk reads it.
            if (!PlainHeader(bytes, got, &size, &type, &headerSize) || type != FourCC("moof") || size > got ||
                size - headerSize > uint64_t(kMaxFragmentBox) || size > uint64_t(fileEnd - at))
                break;
            if (!Take(bytes + headerSize, at, headerSize, uint32_t(size - headerSize))) {
                resume = kOver;
                break;
            }
            lastBox = uint32_t(size);
            resume = at + int64_t(size);
            // The one box after it must end where the next entry starts.
            uint64_t after = 0;
            if (i + 1 >= listedCount || !PlainHeader(bytes + size, int64_t(got - size), &after, &type, &headerSize) ||
                type == FourCC("moof") || after > uint64_t(fileEnd - resume) ||
                resume + int64_t(after) != listed[i + 1])
                break;
        }
        // Every entry up to here is behind the walk; the reads still under
        // way end before their slots are used again.
        next = i + 1;
        uint32_t got = 0;
        for (++i; i < started; ++i)
            batch->Finish(i % slots, &got);
        return resume;
    }

    BoxReader& reader;
    const FragmentDefaultsTable& defaults;
    const uint32_t* trackIds;
    uint32_t trackCount;
    FragmentSink& sink;
    std::unique_ptr<FragmentTally[]> tallies;
    std::unique_ptr<uint8_t[]> buffer; // for a fragment box larger than the reader's window
    int64_t bufferSize = 0;
    const int64_t* listed = nullptr;
    uint32_t listedCount = 0;
    uint32_t next = 0;    // the first list entry not behind the walk
    uint32_t lastBox = 0; // the size of the last fragment box, header and all
    std::unique_ptr<ReadBatch> batch;
};

} // namespace

void WalkFragments(BoxReader& reader, const FragmentDefaultsTable& defaults, const uint32_t* trackIds,
                   uint32_t trackCount, const int64_t* listed, uint32_t listedCount, FragmentSink& sink)
{
    Walker(reader, defaults, trackIds, trackCount, sink).Walk(listed, listedCount);
}
