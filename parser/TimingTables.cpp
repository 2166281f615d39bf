#include "parser/TimingTables.h"

#include "parser/ByteOrder.h"

#include <algorithm>
#include <new>

namespace {

// Reads the version, the count and then every entry of entrySize bytes, handing
// each to visit(entry number, bytes). The count is checked against the box
// before the index is allocated.
template <typename Visit>
bool ScanEntries(BoxCursor& box, uint32_t entrySize, TimingTable* table, uint8_t* version, Visit visit)
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
    table->index.reset(count ? new (std::nothrow) TimingIndexPoint[table->IndexCount()] : nullptr);
    if (count && !table->index)
        return false;
    return ReadTableEntries(box, count, entrySize, visit);
}

uint32_t Entry32(const uint8_t* bytes)
{
    uint32_t value = 0;
    ReadBigEndian32(bytes, &value);
    return value;
}

} // namespace

TimingTableScan ReadDecodeTimes(BoxCursor& box, TimingTable* table)
{
    TimingTableScan scan;
    uint8_t version = 0;
    scan.read = ScanEntries(box, 8, table, &version, [&](uint32_t entry, const uint8_t* bytes) {
        if (entry % kTimingIndexStride == 0)
            table->index[entry / kTimingIndexStride] = {scan.sampleSum, scan.timeSum};
        const uint64_t count = Entry32(bytes);
        scan.sampleSum += count;
        // Capped: a sum past the limit fails the check, and never wraps to pass it.
        scan.timeSum = std::min(scan.timeSum + count * Entry32(bytes + 4), kMaxDecodeTime);
    });
    return scan;
}

TimingTableScan ReadCompositionOffsets(BoxCursor& box, TimingTable* table, bool* signedOffsets)
{
    TimingTableScan scan;
    uint8_t version = 0;
    scan.read = ScanEntries(box, 8, table, &version, [&](uint32_t entry, const uint8_t* bytes) {
        if (entry % kTimingIndexStride == 0)
            table->index[entry / kTimingIndexStride] = {scan.sampleSum, 0};
        scan.sampleSum += Entry32(bytes);
    });
    *signedOffsets = version == 1;
    scan.read = scan.read && version <= 1;
    return scan;
}

TimingTableScan ReadSyncSamples(BoxCursor& box, TimingTable* table)
{
    TimingTableScan scan;
    uint8_t version = 0;
    scan.read = ScanEntries(box, 4, table, &version, [&](uint32_t entry, const uint8_t* bytes) {
        const uint32_t sample = Entry32(bytes);
        if (entry % kTimingIndexStride == 0)
            table->index[entry / kTimingIndexStride] = {sample, 0};
        scan.ordered = scan.ordered && sample > scan.lastSample;
        scan.lastSample = sample;
    });
    return scan;
}
