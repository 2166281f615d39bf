// Real movies made by ffmpeg, loaded and streamed to the end through every
// pin: each pin delivers every sample of its own track, exactly as ffmpeg
// reads it from the movie, rewritten for its media type and stamped with the
// times ffmpeg presents it at. What was delivered is also left for the script that
// decodes it with ffmpeg (tests/fixtures/check-delivered.sh).
#include "tests/filter/ExpectedStreams.h"
#include "tests/support/ComTest.h"
#include "tests/support/Fixtures.h"
#include "tests/support/MovieGraph.h"
#include "tests/support/Watchdog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>

namespace {

constexpr DWORD kStreamTimeout = 60000;

std::string ExtensionOf(const std::string& codec)
{
    return codec == "h264" ? "h264" : codec == "aac" ? "aac" : "m4v";
}

// Every sample of one pin against the track ffmpeg read.
void ExpectWholeTrack(MovieGraph& movie, int pinIndex, const ExpectedStream& expected)
{
    MovieOutputPin* pin = movie.Pin(pinIndex);
    const std::vector<ReceivedSample> samples = movie.Sink(pinIndex).Samples();
    const size_t count = expected.packets.size();
    EXPECT_EQ(count, size_t(pin->SampleCount()));
    ASSERT_EQ(count, samples.size());

    // The k-th stamp is the k-th time ffmpeg presents the track at, within
    // 1 ms; sync points are its key frames; what ends by 0 is preroll.
    const std::vector<REFERENCE_TIME> times = SortedTimes(expected);
    REFERENCE_TIME worst = 0;
    for (size_t k = 0; k < count; ++k) {
        const ReceivedSample& sample = samples[k];
        SCOPED_TRACE("sample " + std::to_string(k));
        ASSERT_EQ(S_OK, sample.timeResult);
        EXPECT_NEAR(double(times[k]), double(sample.start), 10000.0);
        if (k + 1 < count) {
            EXPECT_EQ(samples[k + 1].start, sample.stop);
        }
        worst = std::max(worst, std::abs(times[k] - sample.start));
        EXPECT_EQ(bool(expected.keys[k]), sample.syncPoint);
        EXPECT_EQ(sample.stop <= 0, sample.preroll);
        EXPECT_EQ(k == 0, sample.discontinuity);
        // AAC: the frame of ffmpeg's own ADTS stream of the track, header included.
        ASSERT_EQ(ExpectedSample(expected, k, k == 0), sample.bytes);
    }
    ::testing::Test::RecordProperty("worst" + std::to_string(expected.streamIndex), int(worst));

    const std::vector<ReceivedSegment> segments = movie.Sink(pinIndex).Segments();
    ASSERT_EQ(1u, segments.size());
    EXPECT_EQ(0, segments[0].start);
    REFERENCE_TIME duration = 0;
    EXPECT_EQ(S_OK, movie.Seeking(pinIndex)->GetDuration(&duration));
    EXPECT_EQ(duration, segments[0].stop);
    EXPECT_EQ(1.0, segments[0].rate);
}

class MovieStreaming : public ComTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(MovieStreaming, EveryPinDeliversItsWholeTrackAsFfmpegReadsIt)
{
    const std::string name = GetParam();
    const std::string path = FixturePath(name);
    if (path.empty())
        GTEST_SKIP() << "fixture movies not made";
    std::vector<ExpectedStream> expected;
    std::string why;
    ASSERT_TRUE(LoadExpectedStreams(path, &expected, &why)) << why;

    Watchdog watchdog("streaming " + name, 120);
    MovieGraph movie;
    ASSERT_EQ(S_OK, movie.Load(path));
    ASSERT_EQ(int(expected.size()), movie.PinCount());
    ASSERT_EQ(S_OK, movie.ConnectAll());
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(S_OK, movie.Run());
    ASSERT_TRUE(movie.WaitForEndOfStreams(1, kStreamTimeout));
    const auto elapsed = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(S_OK, movie.Stop());
    EXPECT_EQ(0, movie.graph->EventCount(EC_ERRORABORT));

    size_t delivered = 0;
    for (int i = 0; i < movie.PinCount(); ++i) {
        SCOPED_TRACE("pin " + std::to_string(i) + ", stream " + std::to_string(expected[size_t(i)].streamIndex));
        EXPECT_EQ(1, movie.Sink(i).EndOfStreamCount());
        ExpectWholeTrack(movie, i, expected[size_t(i)]);
        WriteDelivered(name + ".s" + std::to_string(expected[size_t(i)].streamIndex) + "." +
                           ExtensionOf(expected[size_t(i)].codec),
                       movie.Sink(i).Samples());
        delivered += movie.Sink(i).SampleCount();
    }
    RecordProperty("samples", int(delivered));
    RecordProperty("milliseconds", int(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count()));
}

INSTANTIATE_TEST_SUITE_P(Fixtures, MovieStreaming,
                         ::testing::Values("h264-aac-faststart.mp4", "h264-aac-moov-last.mp4", "h264-aac.mov",
                                           "h264-aac-chunks.mp4", "two-aac.mp4", "mp4v.mp4", "text.mp4", "text.mov",
                                           "aac-8000-mono.mp4", "aac-8000-stereo.mp4", "aac-44100-mono.mp4",
                                           "aac-44100-stereo.mp4", "aac-48000-mono.mp4", "aac-48000-stereo.mp4",
                                           "aac-2112.mp4", "vfr-24.mp4", "vfr-15.mp4", "bframes.mp4",
                                           "bframes-negative.mp4", "empty-edit.mp4", "gop48.mp4", "constant-rate.mp4"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             std::string name = info.param;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c)))
                                     c = '_';
                             return name;
                         });

} // namespace
