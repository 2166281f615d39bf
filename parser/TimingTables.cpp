#include "parser/TimingTables.h"

#include "parser/ByteOrder.h"

#include <algorithm>

namespace {

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
    scan.read = ScanIndexedTable(box, 8, table, &version, [&](uint32_t entry, const uint8_t* bytes) {
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
    scan.read = ScanIndexedTable(box, 8, table, &version, [&](uint32_t entry, const uint8_t* bytes) {
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
    scan.read = ScanIndexedTable(box, 4, table, &version, [&](uint32_t entry, const uint8_t* bytes) {
        const uint32_t sample = Entry32(bytes);
        if (entry % kTimingIndexStride == 0)
            table->index[entry / kTimingIndexStride] = {sample, 0};
        scan.ordered = scan.ordered && sample > scan.lastSample;
        scan.lastSample = sample;
    });
    return scan;
}
