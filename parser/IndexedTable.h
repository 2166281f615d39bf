// A table of fixed-size entries that stays in the file: the pin reads its
// entries as it streams, and what is kept in memory is one index point per
// kTableIndexStride entries, so that a seek finds its place after reading one
// block of entries.
#pragma once

#include "parser/BoxReader.h"

#include <cstdint>
#include <memory>
#include <new>

// A few bytes per 64 entries, and a seek reads at most 64 entries of a table.
constexpr uint32_t kTableIndexStride = 64;

template <typename Point> struct IndexedTable {
    int64_t offset = 0; // of the first entry
    uint32_t entryCount = 0;
    std::unique_ptr<Point[]> index; // of entries 0, 64, 128, ...

    uint32_t IndexCount() const { return entryCount == 0 ? 0 : (entryCount - 1) / kTableIndexStride + 1; }
    bool Present() const { return offset > 0; }
};

// Reads a full box's version, its entry count and then every entry of
// entrySize bytes, handing each to visit(entry number, bytes). The count is
// checked against the box before the index is allocated.
template <typename Point, typename Visit>
bool ScanIndexedTable(BoxCursor& box, uint32_t entrySize, IndexedTable<Point>* table, uint8_t* version, Visit visit)
{
    uint32_t count = 0;
    box.Read8(version);
    box.Skip(3); // flags
    // Marked present before any check, so that a damaged table is not taken
    // for a missing one.
    table->offset = box.Position();
    if (!box.Read32(&count) || uint64_t(count) * entrySize > uint64_t(box.Remaining()))
        return false;
    table->offset = box.Position();
    table->entryCount = count;
    table->index.reset(count ? new (std::nothrow) Point[table->IndexCount()] : nullptr);
    if (count && !table->index)
        return false;
    return ReadTableEntries(box, count, entrySize, visit);
}
