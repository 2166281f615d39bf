// The timeline over timing tables written byte by byte and read back through
// the parser's index, as a pin reads them: presentation order out of decoding
// order, sync samples, the edit start, the index of long tables, and the
// average steps of a track without usable tables.
#include "streams/SampleTimeline.h"
#include "parser/TimingTables.h"
#include "tests/streams/TrackFile.h"
#include "tests/support/BoxBuilder.h"
#include "tests/support/Fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

namespace {

// Timing table boxes in a file, read back as the parser reads them, and a
// timeline with its own readers on the file.
struct TimedFile {
    TimedFile(const std::vector<uint8_t>& boxes, uint32_t samples, uint32_t timeScale, EditStart edit = {})
    {
        const std::string path = TempPath("timeline.bin");
        EXPECT_TRUE(WriteFileBytes(path, {}));
        auto tables = AppendTimingTables(path, boxes, samples, timeScale, edit);
        EXPECT_TRUE(tables);
        for (FileReader* each : {&decodeReader, &offsetReader, &syncReader})
            EXPECT_TRUE(each->Open(path.c_str()));
        timeline.SetTables(tables);
        // The media header's duration: what the decoding times add up to.
        timeline.SetStreamTiming(samples, tables ? REFERENCE_TIME(tables->totalDecodeTime * 10000000 / timeScale) : 0);
    }

    // Every sample's times from the one the timeline stands on.
    std::vector<SampleTimes> All()
    {
        std::vector<SampleTimes> all;
        SampleTimes times;
        while (timeline.Next(&times) == S_OK)
            all.push_back(times);
        return all;
    }

    FileReader decodeReader, offsetReader, syncReader;
    SampleTimeline timeline{&decodeReader, &offsetReader, &syncReader};
};

std::vector<uint8_t> Join(std::initializer_list<std::vector<uint8_t>> boxes)
{
    std::vector<uint8_t> all;
    for (const std::vector<uint8_t>& box : boxes)
        all.insert(all.end(), box.begin(), box.end());
    return all;
}

// 250 samples over 10,000,000: without tables, and with a decoding time table
// of whole 100-ns durations and nothing else, the same average steps.
TEST(SampleTimeline, ConstantRateTracksStepByTheAverageSample)
{
    TimedFile timed(TableBox("stts", 0, {1, 250, 40000}), 250, 10000000);
    SampleTimeline untimed(nullptr, nullptr, nullptr);
    untimed.SetStreamTiming(250, 10000000);
    for (SampleTimeline* timeline : {&untimed, &timed.timeline}) {
        SCOPED_TRACE(timeline == &untimed ? "without tables" : "with tables");
        EXPECT_EQ(125u, timeline->StartSampleAt(5000000));
        EXPECT_EQ(0u, timeline->StartSampleAt(-1));
        EXPECT_EQ(249u, timeline->StartSampleAt(9999999));
        EXPECT_EQ(250u, timeline->StartSampleAt(10000000)); // the end: nothing to deliver
        ASSERT_EQ(S_OK, timeline->PlaceAt(0));
        SampleTimes times;
        for (REFERENCE_TIME k = 0; timeline->Next(&times) == S_OK; ++k) {
            ASSERT_EQ(k * 40000, times.start);
            ASSERT_EQ((k + 1) * 40000, times.stop);
            ASSERT_TRUE(times.sync);
        }
        EXPECT_EQ(250u, timeline->NextSample());
    }
    // A day of four billion samples: no product overflows.
    untimed.SetStreamTiming(4000000000u, 1000000000000);
    EXPECT_EQ(2000000000u, untimed.StartSampleAt(500000000000));
}

// Decoding order I P B B P B B, a picture every 10 units: the stamps are the
// presentation times in display order, with the edit's two-picture shift.
TEST(SampleTimeline, ReordersCompositionOffsetsIntoDisplayOrderFromEachSyncSample)
{
    const std::vector<uint8_t> boxes = Join({
        TableBox("stts", 0, {1, 7, 10}),
        TableBox("ctts", 0, {7, 1, 20, 1, 40, 1, 10, 1, 10, 1, 40, 1, 10, 1, 10}),
        TableBox("stss", 0, {2, 1, 5}),
    });
    EditStart edit;
    edit.present = true;
    edit.mediaTime = 20;
    edit.mediaSpan = 70;
    TimedFile file(boxes, 7, 1000, edit); // a unit is 10,000 in 100-ns units
    const std::vector<SampleTimes> all = file.All();
    ASSERT_EQ(7u, all.size());
    for (size_t k = 0; k < all.size(); ++k) {
        EXPECT_EQ(REFERENCE_TIME(k) * 100000, all[k].start) << k;
        EXPECT_EQ(REFERENCE_TIME(k + 1) * 100000, all[k].stop) << k;
        EXPECT_EQ(k == 0 || k == 4, all[k].sync) << k;
    }
    // The second sync sample is shown at 600,000; the two pictures decoded
    // after it are shown before it and may lean on the first group, so a
    // start at 500,000 decodes from the first sync sample.
    EXPECT_EQ(4u, file.timeline.StartSampleAt(600000));
    EXPECT_EQ(0u, file.timeline.StartSampleAt(500000));
    EXPECT_EQ(7u, file.timeline.StartSampleAt(700000)); // the end
    // A skip lands on the next sync sample, never behind the stream.
    ASSERT_EQ(S_OK, file.timeline.PlaceAt(1));
    EXPECT_EQ(4u, file.timeline.SkipTargetAt(100000));
    ASSERT_EQ(S_OK, file.timeline.PlaceAt(5));
    EXPECT_EQ(7u, file.timeline.SkipTargetAt(100000));
}

TEST(SampleTimeline, EmptyEditsDelayTheTrack)
{
    EditStart edit;
    edit.present = true;
    edit.emptyTime = 500; // half a second of the movie's 1,000 a second
    edit.mediaTime = 1024;
    TimedFile file(TableBox("stts", 0, {1, 10, 1024}), 10, 48000, edit);
    const std::vector<SampleTimes> all = file.All();
    ASSERT_EQ(10u, all.size());
    EXPECT_EQ(5000000 - 213333, all[0].start); // the encoder delay before the sound begins
    EXPECT_EQ(5000000, all[1].start);
    EXPECT_EQ(5000000 + 1706667, all[9].start); // rounded once, not eight rounded steps added up
}

// One entry per sample in each table, over 300 samples: placing the cursor
// through the index gives what stepping from the start gives.
TEST(SampleTimeline, PlacingThroughTheIndexMatchesSteppingThrough)
{
    std::vector<uint32_t> decode = {300}, offsets = {300}, sync = {30};
    for (uint32_t k = 0; k < 300; ++k) {
        decode.insert(decode.end(), {1, 9 + k % 3});
        offsets.insert(offsets.end(), {1, uint32_t(k % 3 == 0 ? 0 : 30 - 10 * (k % 3))});
    }
    for (uint32_t k = 0; k < 30; ++k)
        sync.push_back(1 + 10 * k);
    TimedFile file(Join({TableBox("stts", 0, decode), TableBox("ctts", 0, offsets), TableBox("stss", 0, sync)}), 300,
                   100);
    const std::vector<SampleTimes> all = file.All();
    ASSERT_EQ(300u, all.size());
    for (uint32_t k = 0; k < 300; k += 7) {
        ASSERT_EQ(S_OK, file.timeline.PlaceAt(k));
        SampleTimes times;
        ASSERT_EQ(S_OK, file.timeline.Next(&times));
        EXPECT_EQ(all[k].sync, times.sync) << k;
        EXPECT_EQ(k % 10 == 0, times.sync) << k;
        if (k % 10 == 0) { // from a sync sample its group comes in display order
            EXPECT_EQ(all[k].start, times.start) << k;
        }
    }
    EXPECT_TRUE(std::is_sorted(all.begin(), all.end(),
                               [](const SampleTimes& a, const SampleTimes& b) { return a.start < b.start; }));
}

} // namespace
