#include "parser/FragmentWalk.h"

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

} // namespace

void WalkFragments(BoxReader& reader, const FragmentDefaultsTable& defaults, const uint32_t* trackIds,
                   uint32_t trackCount, FragmentSink& sink)
{
    std::unique_ptr<FragmentTally[]> tallies(new (std::nothrow) FragmentTally[trackCount]);
    if (!tallies)
        return;
    std::unique_ptr<uint8_t[]> buffer; // for a fragment box larger than the reader's window
    int64_t bufferSize = 0;
    BoxCursor file(&reader, 0, reader.FileEnd());
    BoxHeader header;
    while (file.NextBox(&header, BoxSizeRule::TopLevel)) {
        if (header.type != FourCC("moof"))
            continue;
        const int64_t size = header.payload.Remaining();
        const uint32_t headerSize = uint32_t(header.payload.Position() - header.start);
        if (size > kMaxFragmentBox)
            break;
        // A fragment box of the usual few kilobytes is read where it lies in
        // the reader's window; a larger one into a buffer of its own.
        const uint8_t* payload = reader.Peek(header.payload.Position(), size_t(size));
        if (!payload) {
            if (size > bufferSize) {
                buffer.reset(new (std::nothrow) uint8_t[size_t(size)]);
                bufferSize = buffer ? size : 0;
                if (!buffer)
                    break;
            }
            if (size > 0 && !reader.ReadAt(header.payload.Position(), buffer.get(), size_t(size)))
                break;
            payload = buffer.get();
        }
        std::fill(tallies.get(), tallies.get() + trackCount, FragmentTally());
        CountingVisitor visitor(trackIds, trackCount, tallies.get());
        const bool whole = ReadMovieFragment(payload, size_t(size), header.start, reader.FileEnd(), defaults, visitor);
        sink.Take({header.start, headerSize, uint32_t(size)}, tallies.get());
        if (!whole)
            break;
        // The next fragment box is most likely as large as this one: a fill
        // of its size and the header after it reads it whole, and no more.
        reader.SetWindowFill(size_t(headerSize + size) + 32);
    }
    reader.SetWindowFill(BoxReader::kWindowSize);
}
