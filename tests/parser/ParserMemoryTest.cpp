// Parsing holds nothing that grows with the number of samples, and of the
// sample-to-chunk map only its index. Every allocation of this test program is
// counted.
#include "tests/parser/FakeParserHost.h"
#include "tests/parser/TrackSpecs.h"
#include "tests/support/CountingHeap.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace {

constexpr size_t kParseHeapLimit = 64 * 1024;

// Bytes the parse held at its peak, beyond what it held before.
size_t PeakHeapOfParse(const std::string& path, size_t* mapEntries)
{
    const size_t before = liveBytes.load();
    peakBytes = before;
    {
        auto parsed = ParseFile(path);
        EXPECT_EQ(1, parsed->result);
        const std::vector<FakePin*> pins = parsed->host.Pins();
        *mapEntries = pins.size() == 1 && pins[0]->calls.chunkMap ? pins[0]->calls.chunkMap->entryCount : 0;
        EXPECT_EQ(1000000u, parsed->Track(0)->sampleCount);
    }
    EXPECT_EQ(before, liveBytes.load()); // everything the parse made is freed with it
    return peakBytes.load() - before;
}

TEST(ParserMemory, MillionSampleMovieParsesInLittleMoreThanItsMapIndex)
{
    if (!COUNTING_HEAP)
        GTEST_SKIP() << "this build's run time owns the allocation functions";
    struct Case {
        const char* what;
        std::vector<ChunkMapEntry> chunkMap;
    } cases[] = {
        {"one chunk map entry", {{1, 1000, 1}}},
        {"100,000 chunk map entries", {}},
    };
    for (uint32_t i = 0; i < 100000; ++i)
        cases[1].chunkMap.push_back({1 + 2 * i, 10 - i % 2 * 5, 1}); // 10 + 5 samples every two chunks
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TrackSpec track = VideoTrack();
        track.sampleCount = 1000000;
        track.sampleSize = 1;
        track.chunkMap = c.chunkMap;
        const std::string path = ScratchPath();
        ASSERT_TRUE(WriteFileBytes(path, BuildMovie(MovieOf({track}))));

        size_t mapEntries = 0;
        const size_t peak = PeakHeapOfParse(path, &mapEntries);
        std::remove(path.c_str());
        ASSERT_EQ(c.chunkMap.size(), mapEntries);
        // The one block the table is read through, and the index.
        const size_t index = (mapEntries / kTableIndexStride + 1) * sizeof(ChunkMapIndexPoint);
        const size_t block = std::min(mapEntries * kChunkMapEntrySize, kTableBlockBytes);
        EXPECT_GE(peak, index + block); // the counting sees the parser's allocations
        EXPECT_LT(peak, index + block + kParseHeapLimit) << "peak " << peak << ", index " << index;
    }
}

} // namespace
