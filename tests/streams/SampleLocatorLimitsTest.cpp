// What the locator does with tables it cannot trust, and what it costs: the
// reads stay inside the file, a seek does not walk the samples, and stepping
// allocates nothing.
#include "tests/streams/TrackFile.h"
#include "tests/support/CountingHeap.h"
#include "tests/support/Fixtures.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>

namespace {

// Cuts the file to its first size bytes.
void Truncate(const std::string& path, long size)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    std::vector<char> bytes(static_cast<size_t>(size));
    ASSERT_EQ(std::fread(bytes.data(), 1, bytes.size(), file), bytes.size());
    std::fclose(file);
    file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}

// Steps to the end; returns the samples handed out and the final answer.
std::pair<uint32_t, HRESULT> StepToEnd(SampleLocator& locator)
{
    SampleLocation sample;
    uint32_t count = 0;
    HRESULT result;
    while ((result = locator.AdvanceSample(&sample)) == S_OK)
        ++count;
    return {count, result};
}

TEST(SampleLocatorLimits, UnusableChunkMapsFailTheStream)
{
    TrackFile track = WriteTrackFile("locator-badmap.bin", RisingSizes(6), {{1, 2, 1}});
    struct Case {
        const char* what;
        std::vector<ChunkMapEntry> map;
    } cases[] = {
        {"no entries", {}},
        {"chunk 0", {{0, 2, 1}}},
    };
    for (const Case& c : cases) {
        OpenTrack open(track, 600000);
        bool usable = true;
        std::shared_ptr<const ChunkMapTable> map = AppendChunkMap(track.path, c.map, &usable);
        ASSERT_TRUE(map) << c.what;
        EXPECT_FALSE(usable) << c.what; // the parser makes no pin for it
        EXPECT_FALSE(open.locator.SetChunkMap(StreamKind::Aac, map)) << c.what;
        EXPECT_EQ(open.locator.LocateSample(0), E_FAIL) << c.what;
        EXPECT_EQ(StepToEnd(open.locator), std::make_pair(0u, E_FAIL)) << c.what;
    }
    OpenTrack open(track, 600000);
    EXPECT_FALSE(open.locator.SetChunkMap(StreamKind::Avc, nullptr));
    EXPECT_EQ(StepToEnd(open.locator), std::make_pair(0u, E_FAIL));
}

TEST(SampleLocatorLimits, TablesThatRunOutFailCleanly)
{
    const std::vector<ChunkMapEntry> map = {{1, 2, 1}};
    TrackFile track = WriteTrackFile("locator-short.bin", RisingSizes(6), map);

    {
        SCOPED_TRACE("the map ends in chunks without samples before the track's last sample");
        OpenTrack open(track, 600000);
        ASSERT_TRUE(open.locator.SetChunkMap(StreamKind::Avc, AppendChunkMap(track.path, {{1, 2, 1}, {3, 0, 1}})));
        EXPECT_EQ(StepToEnd(open.locator), std::make_pair(4u, E_FAIL));
        EXPECT_EQ(open.locator.LocateSample(5), E_FAIL);
    }
    {
        SCOPED_TRACE("more chunks needed than the chunk offset table holds");
        OpenTrack open(track, 600000);
        open.locator.SetChunkOffsetTableOffset(track.chunkTableOffset, 2);
        EXPECT_EQ(StepToEnd(open.locator), std::make_pair(4u, E_FAIL));
        EXPECT_EQ(open.locator.LocateSample(4), E_FAIL);
    }
    {
        SCOPED_TRACE("a map cut short in the file after its first block of entries");
        std::vector<ChunkMapEntry> oneRunPerChunk;
        for (uint32_t chunk = 1; chunk <= 70; ++chunk)
            oneRunPerChunk.push_back({chunk, 1, 1});
        OpenTrack open(WriteTrackFile("locator-cut-map.bin", RisingSizes(70), {{1, 1, 1}}), 7000000);
        std::shared_ptr<const ChunkMapTable> cut = AppendChunkMap(open.track.path, oneRunPerChunk);
        ASSERT_TRUE(open.locator.SetChunkMap(StreamKind::Avc, cut));
        Truncate(open.track.path, long(cut->offset) + 12 * 64 + 4); // entry 64's first chunk survives
        EXPECT_EQ(StepToEnd(open.locator), std::make_pair(64u, E_FAIL));
        EXPECT_EQ(open.locator.LocateSample(64), E_FAIL);
        EXPECT_EQ(open.locator.LocateSample(63), S_OK);
    }
    {
        SCOPED_TRACE("a sample count beyond the size table, at the end of the file");
        OpenTrack open(track, 600000);
        Truncate(track.path, long(track.chunkTableOffset) + 4 * 2); // the first two chunk entries survive
        // The size table now starts with its last real entry and runs on over
        // the two chunk entries into the end of the file.
        open.locator.SetSampleSizeTableOffset(track.chunkTableOffset - 4);
        open.locator.SetChunkOffsetTableOffset(track.chunkTableOffset); // entry count not known
        open.locator.SetStreamTiming(1000, 100000000);
        EXPECT_EQ(StepToEnd(open.locator), std::make_pair(3u, E_FAIL)); // the fourth size lies past the end
        EXPECT_EQ(open.locator.LocateSample(900), E_FAIL);              // its chunk entry lies past the end
    }
    {
        SCOPED_TRACE("tables missing from the sample table box");
        OpenTrack open(WriteTrackFile("locator-short.bin", RisingSizes(6), map), 600000);
        open.locator.SetChunkOffsetTableOffset(0);
        EXPECT_EQ(StepToEnd(open.locator), std::make_pair(0u, E_FAIL));
        open.locator.SetChunkOffsetTableOffset(open.track.chunkTableOffset);
        open.locator.SetSampleSizeTableOffset(0);
        EXPECT_EQ(StepToEnd(open.locator), std::make_pair(0u, E_FAIL));
    }
    {
        SCOPED_TRACE("readers that are not open");
        FileReader closed;
        SampleLocator locator(&closed, &closed, &closed);
        locator.SetStreamTiming(6, 600000);
        locator.SetSampleSizeTableOffset(track.sizeTableOffset);
        locator.SetChunkOffsetTableOffset(track.chunkTableOffset);
        ASSERT_TRUE(locator.SetChunkMap(StreamKind::Avc, track.chunkMap));
        EXPECT_EQ(locator.LocateSample(0), E_FAIL);
        EXPECT_EQ(StepToEnd(locator), std::make_pair(0u, E_FAIL));
    }
}

TEST(SampleLocatorLimits, ReaderRefusesOffsetsOutsideTheFile)
{
    TrackFile track = WriteTrackFile("locator-reader.bin", RisingSizes(2), {{1, 1, 1}});
    FileReader reader;
    EXPECT_FALSE(reader.Open(TempPath("locator-no-such-file.bin").c_str()));
    uint32_t value = 0;
    EXPECT_FALSE(reader.ReadBigEndian32At(0, &value));
    ASSERT_TRUE(reader.Open(track.path.c_str()));
    EXPECT_FALSE(reader.ReadBigEndian32At(-4, &value));
    EXPECT_FALSE(reader.ReadBigEndian32At(int64_t(1) << 40, &value));
    EXPECT_FALSE(reader.ReadBigEndian32At(track.chunkOffsets[1] + 1, &value)); // 2 of 4 bytes left
    // A failed read leaves the reader usable.
    ASSERT_TRUE(reader.ReadBigEndian32At(track.sizeTableOffset + 4, &value));
    EXPECT_EQ(value, 2u);
    ASSERT_TRUE(reader.ReadBigEndian32At(track.chunkTableOffset, &value));
    EXPECT_EQ(int64_t(value), track.chunkOffsets[0]);
}

TEST(SampleLocatorCost, SeekInLargeChunkMapDoesNotWalkTheSamples)
{
    // 216,000 samples in 189,001 chunks, each chunk its own map entry:
    // 26,999 chunks of two samples among 162,002 chunks of one.
    std::vector<ChunkMapEntry> map;
    map.reserve(189001);
    for (uint32_t chunk = 1; chunk <= 189001; ++chunk)
        map.push_back({chunk, chunk % 7 == 0 && chunk / 7 <= 26999 ? 2u : 1u, 1});
    std::vector<uint32_t> sizes(216000);
    for (uint32_t i = 0; i < sizes.size(); ++i)
        sizes[i] = 4 + i % 5;
    OpenTrack open(WriteTrackFile("locator-large.bin", sizes, map), 216000 * REFERENCE_TIME(40000));
    ASSERT_EQ(open.track.chunkCount, 189001u);

    const int seeks = 1000;
    uint32_t target = 12345;
    SampleLocation sample;
    auto begin = std::chrono::steady_clock::now();
    for (int i = 0; i < seeks; ++i) {
        target = (target * 7919u + 104729u) % 216000u;
        ASSERT_EQ(open.locator.LocateSample(target), S_OK);
        ASSERT_EQ(open.locator.AdvanceSample(&sample), S_OK);
        ASSERT_EQ(sample.offset, open.track.offsets[target]) << "sample " << target;
    }
    auto elapsed = std::chrono::steady_clock::now() - begin;
    // Under a millisecond per seek, with room for sanitizers and Wine.
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count(), seeks);
}

TEST(SampleLocatorCost, SteppingAndSeekingAllocateNothing)
{
    const std::vector<ChunkMapEntry> map = {{1, 3, 1}, {5, 1, 1}, {9, 700, 1}};
    OpenTrack open(WriteTrackFile("locator-alloc.bin", RisingSizes(2000), map), 2000 * 1000);
    SampleLocation sample;
    uint32_t delivered = 0;
    HRESULT last = S_OK;
    if (!COUNTING_HEAP)
        GTEST_SKIP() << "this build's run time owns the allocation functions";
    size_t before = allocationCount.load();
    int* volatile probe = new int(1); // volatile: the pair may not be optimised away
    delete probe;
    ASSERT_EQ(allocationCount.load(), before + 1) << "the counter does not see this program's allocations";
    before = allocationCount.load();
    open.locator.LocateSample(1500); // deep inside a chunk of 700
    while (open.locator.AdvanceSample(&sample) == S_OK)
        ++delivered;
    open.locator.LocateSample(4);
    while ((last = open.locator.AdvanceSample(&sample)) == S_OK)
        ++delivered;
    EXPECT_EQ(allocationCount.load(), before);
    EXPECT_EQ(last, S_FALSE);
    EXPECT_EQ(delivered, 500u + 1996u);
}

} // namespace
