#include "parser/RandomAccessList.h"

#include "parser/ByteOrder.h"

#include <algorithm>
#include <new>

namespace {

// A longer list is not kept: the walk goes box by box instead.
constexpr uint32_t kMaxEntries = 1u << 22;

// One track's list: where its entries start, how many, and their layout.
struct TrackList {
    BoxCursor entries;
    uint32_t count = 0;
    uint32_t entrySize = 0;
    bool wide = false; // 64-bit time and position
};

bool ReadTrackList(BoxCursor box, TrackList* list)
{
    uint32_t versionAndFlags = 0;
    uint32_t lengths = 0;
    if (!box.Read32(&versionAndFlags) || !box.Skip(4) || !box.Read32(&lengths) || !box.Read32(&list->count))
        return false;
    const uint32_t version = versionAndFlags >> 24;
    list->wide = version == 1;
    // Then the fragment's track fragment, run and sample numbers, each of
    // 1 to 4 bytes.
    list->entrySize = (list->wide ? 16 : 8) + (lengths >> 4 & 3) + (lengths >> 2 & 3) + (lengths & 3) + 3;
    list->entries = box;
    return version <= 1 && list->count <= kMaxEntries &&
           uint64_t(list->count) * list->entrySize <= uint64_t(box.Remaining());
}

} // namespace

void RandomAccessList::Read(BoxReader& reader)
{
    count = 0;
    const int64_t end = reader.FileEnd();
    if (end == kMaxFilePosition || end < 16)
        return;
    BoxCursor last(&reader, end - 16, end);
    uint32_t size = 0;
    uint32_t type = 0;
    uint32_t listSize = 0;
    if (!last.Read32(&size) || !last.Read32(&type) || !last.Skip(4) || !last.Read32(&listSize) || size != 16 ||
        type != FourCC("mfro") || listSize < 16 || listSize > end)
        return;
    BoxCursor file(&reader, end - listSize, end);
    BoxHeader box;
    if (!file.NextBox(&box, BoxSizeRule::TopLevel) || box.type != FourCC("mfra"))
        return;
    TrackList longest;
    BoxHeader header;
    while (box.payload.NextBox(&header)) {
        TrackList list;
        if (header.type == FourCC("tfra") && ReadTrackList(header.payload, &list) && list.count > longest.count)
            longest = list;
    }
    // One entry saves no read.
    if (longest.count < 2)
        return;
    positions.reset(new (std::nothrow) int64_t[longest.count]);
    if (!positions)
        return;
    const bool wide = longest.wide;
    const bool read = ReadTableEntries(
        longest.entries, longest.count, longest.entrySize,
        [&](uint32_t i, const uint8_t* entry) {
            uint32_t high = 0;
            uint32_t low = 0;
            if (wide) {
                ReadBigEndian32(entry + 8, &high);
                ReadBigEndian32(entry + 12, &low);
            } else {
                ReadBigEndian32(entry + 4, &low);
            }
            positions[i] = int64_t(uint64_t(high) << 32 | low);
        },
        4096);
    if (!read)
        return;
    int64_t* const first = positions.get();
    if (!std::is_sorted(first, first + longest.count))
        std::sort(first, first + longest.count);
    count = uint32_t(std::unique(first, first + longest.count) - first);
}
