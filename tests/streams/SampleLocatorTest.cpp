// The sample locator over small track files built byte by byte: the placing
// of the cursor on a sample and sequential stepping.
#include "tests/streams/TrackFile.h"

#include <gtest/gtest.h>

namespace {

// Steps from wherever the cursor stands to the end; checks every sample's
// place, size and bytes, and returns how many were handed out.
uint32_t ExpectSamplesFrom(OpenTrack& open, uint32_t first)
{
    SampleLocation sample;
    uint32_t index = first;
    HRESULT result;
    while ((result = open.locator.AdvanceSample(&sample)) == S_OK) {
        EXPECT_EQ(sample.index, index);
        EXPECT_EQ(sample.offset, open.track.offsets.at(index)) << "sample " << index;
        EXPECT_EQ(sample.size, open.track.sizes.at(index)) << "sample " << index;
        EXPECT_EQ(open.Read(sample), SampleBytes(index, open.track.sizes[index])) << "sample " << index;
        ++index;
    }
    EXPECT_EQ(result, S_FALSE);
    // The end stays the end until the next start.
    EXPECT_EQ(open.locator.AdvanceSample(&sample), S_FALSE);
    return index - first;
}

TEST(SampleLocatorTiming, TracksWithoutTimingEndAtOnce)
{
    TrackFile track = WriteTrackFile("locator-notiming.bin", RisingSizes(3), {{1, 1, 1}});
    struct Case {
        const char* what;
        uint32_t count;
        REFERENCE_TIME duration;
    } cases[] = {
        {"no samples", 0, 1000000},
        {"no duration", 3, 0},
        {"negative duration", 3, -5},
        {"average duration 0", 3, 2},
    };
    for (const Case& c : cases) {
        OpenTrack open(track, c.duration);
        open.locator.SetStreamTiming(c.count, c.duration);
        SampleLocation sample;
        EXPECT_EQ(open.locator.LocateSample(0), S_FALSE) << c.what;
        EXPECT_EQ(open.locator.AdvanceSample(&sample), S_FALSE) << c.what;
    }
}

TEST(SampleLocatorPlacement, OneSamplePerChunkReadsEachChunkEntry)
{
    const std::vector<ChunkMapEntry> map = {{1, 1, 1}};
    OpenTrack open(WriteTrackFile("locator-single.bin", RisingSizes(12, 5), map), 1200000);
    ASSERT_EQ(open.locator.LocateSample(7), S_OK); // sample 7
    EXPECT_EQ(open.locator.Cursor().chunkNumber, 8u);
    EXPECT_EQ(open.locator.Cursor().sampleOffset, open.track.chunkOffsets[7]);
    EXPECT_EQ(open.locator.SizeCursor(), open.track.sizeTableOffset + 4 * 7);
    EXPECT_EQ(open.locator.ChunkCursor(), open.track.chunkTableOffset + 4 * 8);
    EXPECT_EQ(ExpectSamplesFrom(open, 7), 5u);
}

TEST(SampleLocatorPlacement, StartInsideTenSampleChunk)
{
    const std::vector<ChunkMapEntry> map = {{1, 10, 1}};
    OpenTrack open(WriteTrackFile("locator-ten.bin", RisingSizes(40, 3), map), 4000000);
    SampleLocation sample;
    ASSERT_EQ(open.locator.LocateSample(0), S_OK);
    ASSERT_EQ(open.locator.AdvanceSample(&sample), S_OK); // a first delivery already made

    ASSERT_EQ(open.locator.LocateSample(25), S_OK); // sample 25
    const ChunkCursorSet& cursor = open.locator.Cursor();
    EXPECT_EQ(cursor.chunkNumber, 3u);
    EXPECT_EQ(cursor.samplesLeftInChunk, 5u);
    int64_t expected = open.track.chunkOffsets[2];
    for (uint32_t i = 20; i < 25; ++i)
        expected += open.track.sizes[i];
    EXPECT_EQ(cursor.sampleOffset, expected);
    EXPECT_EQ(expected, open.track.offsets[25]);
    EXPECT_EQ(ExpectSamplesFrom(open, 25), 15u);
}

TEST(SampleLocatorPlacement, StartOnFirstSampleOfSecondRun)
{
    const std::vector<ChunkMapEntry> map = {{1, 4, 1}, {3, 2, 1}};
    OpenTrack open(WriteTrackFile("locator-runs.bin", RisingSizes(14), map), 1400000);
    SampleLocation sample;
    ASSERT_EQ(open.locator.LocateSample(0), S_OK);
    ASSERT_EQ(open.locator.AdvanceSample(&sample), S_OK);

    ASSERT_EQ(open.locator.LocateSample(8), S_OK); // samples 0 to 7 fill chunks 1 and 2
    EXPECT_EQ(open.locator.Cursor().chunkNumber, 3u);
    EXPECT_EQ(open.locator.Cursor().samplesLeftInChunk, 2u);
    EXPECT_EQ(open.locator.Cursor().chunkMapIndex, 1u);
    EXPECT_EQ(open.locator.Cursor().sampleOffset, open.track.chunkOffsets[2]);
    EXPECT_EQ(ExpectSamplesFrom(open, 8), 6u);
}

TEST(SampleLocatorPlacement, StartBeforeFirstDeliveryLandsExactly)
{
    // Chunks of several samples, and the start is set before anything was
    // delivered: the sample must still be found through the chunk map.
    const std::vector<ChunkMapEntry> map = {{1, 3, 1}, {4, 5, 1}};
    for (StreamKind kind : {StreamKind::Aac, StreamKind::Avc, StreamKind::Other}) {
        OpenTrack open(WriteTrackFile("locator-early.bin", RisingSizes(30, 7), map), 3000000, kind);
        ASSERT_EQ(open.locator.LocateSample(13), S_OK); // sample 13: the fifth of chunk 4
        EXPECT_EQ(open.locator.Cursor().chunkNumber, 4u);
        EXPECT_EQ(open.locator.Cursor().samplesLeftInChunk, 1u);
        EXPECT_EQ(ExpectSamplesFrom(open, 13), 17u);
    }
}

TEST(SampleLocatorPlacement, StartsOutsideTheTrack)
{
    const std::vector<ChunkMapEntry> map = {{1, 2, 1}};
    OpenTrack open(WriteTrackFile("locator-outside.bin", RisingSizes(5), map), 500000);
    EXPECT_EQ(open.locator.LocateSample(0), S_OK);
    EXPECT_EQ(ExpectSamplesFrom(open, 0), 5u);

    SampleLocation sample;
    EXPECT_EQ(open.locator.LocateSample(5), S_FALSE); // at the count
    EXPECT_EQ(open.locator.AdvanceSample(&sample), S_FALSE);
    EXPECT_EQ(open.locator.LocateSample(UINT32_MAX), S_FALSE);
    EXPECT_EQ(open.locator.AdvanceSample(&sample), S_FALSE);
    EXPECT_EQ(open.locator.LocateSample(4), S_OK); // the last sample only
    EXPECT_EQ(ExpectSamplesFrom(open, 4), 1u);
}

TEST(SampleLocatorStepping, WholeTracksEndAfterTheirLastSample)
{
    struct Case {
        const char* what;
        std::vector<ChunkMapEntry> map;
        uint32_t samples;
    } cases[] = {
        {"three one-sample chunks", {{1, 1, 1}}, 3},
        {"one chunk", {{1, 9, 1}}, 9},
        {"runs of several sizes", {{1, 3, 1}, {2, 1, 1}, {4, 5, 1}}, 23},
        {"runs of zero chunks", {{1, 2, 1}, {3, 4, 1}, {3, 1, 1}, {5, 3, 1}}, 17},
        {"chunks without samples", {{1, 2, 1}, {3, 0, 1}, {6, 3, 1}}, 13},
        {"map starting after chunk 1", {{3, 2, 1}}, 7},
        {"last chunk part-filled", {{1, 4, 1}}, 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        OpenTrack open(WriteTrackFile("locator-whole.bin", RisingSizes(c.samples, 2), c.map), 100000 * c.samples);
        // Without a start the cursor stands on the first sample.
        EXPECT_EQ(ExpectSamplesFrom(open, 0), c.samples);
        // A new start at 0 delivers the whole track again: the end is this pin's own.
        ASSERT_EQ(open.locator.LocateSample(0), S_OK);
        EXPECT_EQ(ExpectSamplesFrom(open, 0), c.samples);
        // And every start in the middle lands on its sample.
        for (uint32_t start = 1; start < c.samples; ++start) {
            ASSERT_EQ(open.locator.LocateSample(start), S_OK);
            EXPECT_EQ(ExpectSamplesFrom(open, start), c.samples - start) << "start " << start;
        }
    }
}

} // namespace

// A map of hundreds of runs, some of them empty (two entries naming the same
// first chunk): the runs are found through an index of every 64th, so every
// sample is placed once here and must land on its own bytes.
TEST(SampleLocatorPlacement, EverySampleOfAManyRunMapLandsOnItsBytes)
{
    std::vector<ChunkMapEntry> map;
    uint32_t chunk = 1;
    uint32_t samples = 0;
    for (uint32_t run = 0; run < 300; ++run) {
        const uint32_t perChunk = 1 + run % 5;
        const uint32_t chunks = run % 7 == 3 ? 0 : 1 + run % 3;
        map.push_back({chunk, perChunk, 1});
        chunk += chunks;
        samples += chunks * perChunk;
    }
    map.push_back({chunk, 2, 1}); // the open-ended last run: three chunks of two
    samples += 6;
    OpenTrack open(WriteTrackFile("locator-many-runs.bin", RisingSizes(samples), map), 100000 * samples);
    for (uint32_t index = 0; index < samples; ++index) {
        ASSERT_EQ(open.locator.LocateSample(index), S_OK) << "sample " << index;
        SampleLocation sample;
        ASSERT_EQ(open.locator.AdvanceSample(&sample), S_OK) << "sample " << index;
        ASSERT_EQ(sample.offset, open.track.offsets[index]) << "sample " << index;
        ASSERT_EQ(sample.size, open.track.sizes[index]) << "sample " << index;
    }
}
