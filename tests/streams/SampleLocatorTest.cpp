// The sample locator over small track files built byte by byte: timing, the
// placing of the cursor on a start, sequential stepping and the quality skip.
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

TEST(SampleLocatorTiming, AverageDurationAndIndexes)
{
    FileReader none;
    SampleLocator locator(&none, &none);
    // A pin whose timing was never set: one second, no samples.
    EXPECT_EQ(locator.Duration(), 10000000);
    EXPECT_EQ(locator.SampleIndexAt(5000000), 0u);

    locator.SetStreamTiming(1000, 123456789);
    EXPECT_EQ(locator.Duration(), 123456789);
    EXPECT_EQ(locator.AverageSampleDuration(), 123456);

    locator.SetStreamTiming(250, 10000000);
    EXPECT_EQ(locator.AverageSampleDuration(), 40000);
    EXPECT_EQ(locator.SampleIndexAt(5000000), 125u);
    EXPECT_EQ(locator.SampleIndexAt(39999), 0u);
    EXPECT_EQ(locator.SampleIndexAt(40000), 1u);
    EXPECT_EQ(locator.SampleIndexAt(-1), 0u);         // before the start: the first sample
    EXPECT_EQ(locator.SampleIndexAt(9999999), 249u);  // the last sample
    EXPECT_EQ(locator.SampleIndexAt(10000000), 250u); // the end: nothing to deliver
    EXPECT_EQ(locator.SampleIndexAt(INT64_MAX), 250u);

    locator.SetStreamTiming(1000, 10000001); // truncated, not rounded
    EXPECT_EQ(locator.AverageSampleDuration(), 10000);
}

TEST(SampleLocatorTiming, IndexOfLongTrackDoesNotOverflow)
{
    FileReader none;
    SampleLocator locator(&none, &none);
    // 10^12 (a day) times 4,000,000,000 needs more than 64 bits.
    locator.SetStreamTiming(4000000000u, 1000000000000);
    EXPECT_EQ(locator.SampleIndexAt(999999999999), 3999999999u);
    EXPECT_EQ(locator.SampleIndexAt(500000000000), 2000000000u);
    EXPECT_EQ(locator.SampleIndexAt(250000000001), 1000000000u);
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
        OpenTrack open(track, {{1, 1, 1}}, c.duration);
        open.locator.SetStreamTiming(c.count, c.duration);
        SampleLocation sample;
        EXPECT_EQ(open.locator.Reposition(0), S_FALSE) << c.what;
        EXPECT_EQ(open.locator.AdvanceSample(&sample), S_FALSE) << c.what;
        EXPECT_FALSE(open.locator.SkipAhead(1000000)) << c.what;
        EXPECT_EQ(open.locator.SeekBase(), 0) << c.what;
    }
}

TEST(SampleLocatorPlacement, OneSamplePerChunkReadsEachChunkEntry)
{
    const std::vector<ChunkMapEntry> map = {{1, 1, 1}};
    OpenTrack open(WriteTrackFile("locator-single.bin", RisingSizes(12, 5), map), map, 1200000);
    ASSERT_EQ(open.locator.Reposition(700000), S_OK); // sample 7
    EXPECT_EQ(open.locator.Cursor().chunkNumber, 8u);
    EXPECT_EQ(open.locator.Cursor().sampleOffset, open.track.chunkOffsets[7]);
    EXPECT_EQ(open.locator.SizeCursor(), open.track.sizeTableOffset + 4 * 7);
    EXPECT_EQ(open.locator.ChunkCursor(), open.track.chunkTableOffset + 4 * 8);
    EXPECT_EQ(ExpectSamplesFrom(open, 7), 5u);
}

TEST(SampleLocatorPlacement, StartInsideTenSampleChunk)
{
    const std::vector<ChunkMapEntry> map = {{1, 10, 1}};
    OpenTrack open(WriteTrackFile("locator-ten.bin", RisingSizes(40, 3), map), map, 4000000);
    SampleLocation sample;
    ASSERT_EQ(open.locator.Reposition(0), S_OK);
    ASSERT_EQ(open.locator.AdvanceSample(&sample), S_OK); // a first delivery already made

    ASSERT_EQ(open.locator.Reposition(2500000), S_OK); // sample 25
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
    OpenTrack open(WriteTrackFile("locator-runs.bin", RisingSizes(14), map), map, 1400000);
    SampleLocation sample;
    ASSERT_EQ(open.locator.Reposition(0), S_OK);
    ASSERT_EQ(open.locator.AdvanceSample(&sample), S_OK);

    ASSERT_EQ(open.locator.Reposition(800000), S_OK); // samples 0 to 7 fill chunks 1 and 2
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
        OpenTrack open(WriteTrackFile("locator-early.bin", RisingSizes(30, 7), map), map, 3000000, kind);
        ASSERT_EQ(open.locator.Reposition(1300000), S_OK); // sample 13: the fifth of chunk 4
        EXPECT_EQ(open.locator.Cursor().chunkNumber, 4u);
        EXPECT_EQ(open.locator.Cursor().samplesLeftInChunk, 1u);
        EXPECT_EQ(ExpectSamplesFrom(open, 13), 17u);
    }
}

TEST(SampleLocatorPlacement, StartsOutsideTheTrack)
{
    const std::vector<ChunkMapEntry> map = {{1, 2, 1}};
    OpenTrack open(WriteTrackFile("locator-outside.bin", RisingSizes(5), map), map, 500000);
    EXPECT_EQ(open.locator.Reposition(-300000), S_OK); // counts as 0
    EXPECT_EQ(open.locator.SeekBase(), 0);
    EXPECT_EQ(ExpectSamplesFrom(open, 0), 5u);

    SampleLocation sample;
    EXPECT_EQ(open.locator.Reposition(500000), S_FALSE); // at the duration
    EXPECT_EQ(open.locator.AdvanceSample(&sample), S_FALSE);
    EXPECT_EQ(open.locator.Reposition(INT64_MAX), S_FALSE);
    EXPECT_EQ(open.locator.AdvanceSample(&sample), S_FALSE);
    EXPECT_EQ(open.locator.Reposition(499999), S_OK); // the last sample only
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
        OpenTrack open(WriteTrackFile("locator-whole.bin", RisingSizes(c.samples, 2), c.map), c.map,
                       100000 * c.samples);
        // Without a start the cursor stands on the first sample.
        EXPECT_EQ(ExpectSamplesFrom(open, 0), c.samples);
        // A new start at 0 delivers the whole track again: the end is this pin's own.
        ASSERT_EQ(open.locator.Reposition(0), S_OK);
        EXPECT_EQ(ExpectSamplesFrom(open, 0), c.samples);
        // And every start in the middle lands on its sample.
        for (uint32_t start = 1; start < c.samples; ++start) {
            ASSERT_EQ(open.locator.Reposition(100000 * REFERENCE_TIME(start)), S_OK);
            EXPECT_EQ(ExpectSamplesFrom(open, start), c.samples - start) << "start " << start;
        }
    }
}

TEST(SampleLocatorQualitySkip, MovesInWholeSamplesAheadOfWhereTheStreamStands)
{
    // 10 s of 250 samples: 400,000 per sample.
    const std::vector<ChunkMapEntry> map = {{1, 4, 1}};
    OpenTrack open(WriteTrackFile("locator-skip.bin", RisingSizes(250), map), map, 100000000);
    ASSERT_EQ(open.locator.Reposition(0), S_OK);
    EXPECT_FALSE(open.locator.SkipAhead(0));
    EXPECT_FALSE(open.locator.SkipAhead(-1));
    EXPECT_EQ(open.locator.SeekBase(), 0);

    // Before anything is delivered: late plus one sample, rounded down to
    // whole samples, and successive skips add up.
    EXPECT_TRUE(open.locator.SkipAhead(1000000));
    EXPECT_EQ(open.locator.SeekBase(), 1200000);
    EXPECT_TRUE(open.locator.SkipAhead(1000000));
    EXPECT_EQ(open.locator.SeekBase(), 2400000);
    SampleLocation sample;
    ASSERT_EQ(open.locator.AdvanceSample(&sample), S_OK);
    EXPECT_EQ(sample.index, 6u);
    EXPECT_EQ(sample.offset, open.track.offsets[6]);

    // After 50 samples the skip starts at the 51st, not at the last start.
    ASSERT_EQ(open.locator.Reposition(0), S_OK);
    for (int i = 0; i < 50; ++i)
        ASSERT_EQ(open.locator.AdvanceSample(&sample), S_OK);
    EXPECT_TRUE(open.locator.SkipAhead(1000000));
    EXPECT_EQ(open.locator.SeekBase(), 21200000);
    EXPECT_EQ(ExpectSamplesFrom(open, 53), 197u);

    // A new start resets what the skips added.
    ASSERT_EQ(open.locator.Reposition(0), S_OK);
    EXPECT_EQ(open.locator.SeekBase(), 0);

    // Late beyond the end, even at the end of the time line, ends the stream.
    EXPECT_TRUE(open.locator.SkipAhead(INT64_MAX));
    EXPECT_EQ(open.locator.AdvanceSample(&sample), S_FALSE);
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
    OpenTrack open(WriteTrackFile("locator-many-runs.bin", RisingSizes(samples), map), map, 100000 * samples);
    for (uint32_t index = 0; index < samples; ++index) {
        ASSERT_EQ(open.locator.LocateSample(index), S_OK) << "sample " << index;
        SampleLocation sample;
        ASSERT_EQ(open.locator.AdvanceSample(&sample), S_OK) << "sample " << index;
        ASSERT_EQ(sample.offset, open.track.offsets[index]) << "sample " << index;
        ASSERT_EQ(sample.size, open.track.sizes[index]) << "sample " << index;
    }
}
