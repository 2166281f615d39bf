// Seeks into movies timed by their tables, first while stopped, then while
// running after each stream ended, back to 0 last: each pin starts at the sync
// sample that leads up to the start, marks the samples that end by it as
// preroll and stamps the rest from it. What the H.264 pins delivered is left,
// with the count of their preroll pictures, for the script that decodes it and
// compares the pictures shown with those ffmpeg shows from that time
// (tests/fixtures/check-delivered.sh).
#include "tests/filter/ExpectedStreams.h"
#include "tests/support/BoxBuilder.h"
#include "tests/support/ComTest.h"
#include "tests/support/Fixtures.h"
#include "tests/support/MovieGraph.h"
#include "tests/support/Watchdog.h"

#include <gtest/gtest.h>

#include <cctype>

namespace {

constexpr REFERENCE_TIME kStarts[] = {10000000, 25000000, 50000000, 0};

class TimedSeeking : public ComTest, public ::testing::WithParamInterface<const char*> {};

// The samples of segment s on a sink.
std::vector<ReceivedSample> SegmentSamples(SinkPin& sink, size_t s)
{
    const std::vector<ReceivedSample> samples = sink.Samples();
    const std::vector<ReceivedSegment> segments = sink.Segments();
    const size_t end = s + 1 < segments.size() ? segments[s + 1].samplesBefore : samples.size();
    return std::vector<ReceivedSample>(samples.begin() + long(segments[s].samplesBefore), samples.begin() + long(end));
}

TEST_P(TimedSeeking, EachStartBeginsAtASyncSampleWithWhatEndsByItAsPreroll)
{
    const std::string name = GetParam();
    const std::string path = FixturePath(name);
    if (path.empty())
        GTEST_SKIP() << "fixture movies not made";
    std::vector<ExpectedStream> expected;
    std::string why;
    ASSERT_TRUE(LoadExpectedStreams(path, &expected, &why)) << why;

    Watchdog watchdog("seeking " + name, 120);
    MovieGraph movie;
    ASSERT_EQ(S_OK, movie.Load(path));
    ASSERT_EQ(S_OK, movie.ConnectAll());
    for (size_t s = 0; s < std::size(kStarts); ++s) {
        for (int i = 0; i < movie.PinCount(); ++i) {
            REFERENCE_TIME start = kStarts[s];
            ASSERT_EQ(S_OK, movie.Seeking(i)->SetPositions(&start, AM_SEEKING_AbsolutePositioning, nullptr,
                                                           AM_SEEKING_NoPositioning));
        }
        if (s == 0) {
            ASSERT_EQ(S_OK, movie.Run());
        }
        ASSERT_TRUE(movie.WaitForEndOfStreams(int(s + 1), 60000));
    }
    EXPECT_EQ(S_OK, movie.Stop());

    for (int i = 0; i < movie.PinCount(); ++i) {
        const ExpectedStream& stream = expected[size_t(i)];
        ASSERT_EQ(std::size(kStarts), movie.Sink(i).Segments().size());
        for (size_t s = 0; s < std::size(kStarts); ++s) {
            const REFERENCE_TIME start = kStarts[s];
            SCOPED_TRACE("stream " + std::to_string(stream.streamIndex) + " from " + std::to_string(start));
            const std::vector<ReceivedSample> samples = SegmentSamples(movie.Sink(i), s);
            const size_t first = FirstSampleAt(stream, start);
            ASSERT_EQ(stream.packets.size() - first, samples.size());
            const std::vector<REFERENCE_TIME> times = SortedTimes(stream, first);
            size_t preroll = 0;
            for (size_t n = 0; n < samples.size(); ++n) {
                ASSERT_EQ(ExpectedSample(stream, first + n, n == 0), samples[n].bytes) << "sample " << n;
                EXPECT_NEAR(double(times[n] - start), double(samples[n].start), 10000.0) << "sample " << n;
                EXPECT_EQ(samples[n].stop <= 0, samples[n].preroll) << "sample " << n;
                EXPECT_EQ(n == 0, samples[n].discontinuity) << "sample " << n;
                preroll += samples[n].preroll ? 1 : 0;
            }
            if (!samples.empty()) {
                EXPECT_TRUE(samples[0].syncPoint);
            }
            if (stream.codec == "h264" && !DeliveredFolder().empty()) {
                const std::string base = DeliveredFolder() + "/" + name + ".seek" + std::to_string(start / 10000) +
                                         ".s" + std::to_string(stream.streamIndex);
                WriteDelivered(base.substr(DeliveredFolder().size() + 1) + ".h264", samples);
                const std::string count = std::to_string(preroll) + "\n";
                WriteFileBytes(base + ".preroll", std::vector<uint8_t>(count.begin(), count.end()));
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, TimedSeeking,
                         ::testing::Values("h264-aac-chunks.mp4", "aac-2112.mp4", "vfr-24.mp4", "vfr-15.mp4",
                                           "bframes.mp4", "bframes-negative.mp4", "empty-edit.mp4", "gop48.mp4",
                                           "constant-rate.mp4"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             std::string name = info.param;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c)))
                                     c = '_';
                             return name;
                         });

} // namespace
