// Real movies made by ffmpeg, loaded and streamed to the end through every
// pin: each pin delivers every sample of its own track, exactly as ffmpeg
// reads it from the movie, rewritten for its media type and stamped with the
// times ffmpeg presents it at. Then seeks, first while stopped, then while
// running after each stream ended, back to 0 last: each pin starts at the
// sync sample that leads up to the start, marks the samples that end by it as
// preroll and stamps the rest from it. What was delivered is also left for
// the script that decodes it with ffmpeg (tests/fixtures/check-delivered.sh);
// after a seek, with the count of preroll pictures, so that it can compare
// the pictures shown with those ffmpeg shows from that time.
#include "tests/filter/ExpectedStreams.h"
#include "tests/support/BoxBuilder.h"
#include "tests/support/ComTest.h"
#include "tests/support/Fixtures.h"
#include "tests/support/MovieGraph.h"
#include "tests/support/Watchdog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <memory>

namespace {

constexpr DWORD kStreamTimeout = 60000;
constexpr REFERENCE_TIME kStarts[] = {10000000, 25000000, 50000000, 0};

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

// The samples of segment s on a sink.
std::vector<ReceivedSample> SegmentSamples(SinkPin& sink, size_t s)
{
    const std::vector<ReceivedSample> samples = sink.Samples();
    const std::vector<ReceivedSegment> segments = sink.Segments();
    const size_t end = s + 1 < segments.size() ? segments[s + 1].samplesBefore : samples.size();
    return std::vector<ReceivedSample>(samples.begin() + long(segments[s].samplesBefore), samples.begin() + long(end));
}

// Each fixture loaded, with what ffmpeg read from it, every pin connected.
class MovieStreaming : public ComTest, public ::testing::WithParamInterface<const char*> {
protected:
    void SetUp() override
    {
        ComTest::SetUp();
        name = GetParam();
        const std::string path = FixturePath(name);
        if (path.empty())
            GTEST_SKIP() << "fixture movies not made";
        std::string why;
        ASSERT_TRUE(LoadExpectedStreams(path, &expected, &why)) << why;
        graph.reset(new MovieGraph());
        ASSERT_EQ(S_OK, movie().Load(path));
        ASSERT_EQ(int(expected.size()), movie().PinCount());
        ASSERT_EQ(S_OK, movie().ConnectAll());
    }
    void TearDown() override
    {
        graph.reset(); // before the count of live objects is checked
        ComTest::TearDown();
    }
    MovieGraph& movie() { return *graph; }

    std::string name;
    std::vector<ExpectedStream> expected;
    std::unique_ptr<MovieGraph> graph;
};

TEST_P(MovieStreaming, EveryPinDeliversItsWholeTrackAsFfmpegReadsIt)
{
    Watchdog watchdog("streaming " + name, 120);
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(S_OK, movie().Run());
    ASSERT_TRUE(movie().WaitForEndOfStreams(1, kStreamTimeout));
    const auto elapsed = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(S_OK, movie().Stop());
    EXPECT_EQ(0, movie().graph->EventCount(EC_ERRORABORT));

    size_t delivered = 0;
    for (int i = 0; i < movie().PinCount(); ++i) {
        SCOPED_TRACE("pin " + std::to_string(i) + ", stream " + std::to_string(expected[size_t(i)].streamIndex));
        EXPECT_EQ(1, movie().Sink(i).EndOfStreamCount());
        ExpectWholeTrack(movie(), i, expected[size_t(i)]);
        WriteDelivered(name + ".s" + std::to_string(expected[size_t(i)].streamIndex) + "." +
                           ExtensionOf(expected[size_t(i)].codec),
                       movie().Sink(i).Samples());
        delivered += movie().Sink(i).SampleCount();
    }
    RecordProperty("samples", int(delivered));
    RecordProperty("milliseconds", int(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count()));
}

TEST_P(MovieStreaming, EachStartBeginsAtASyncSampleWithWhatEndsByItAsPreroll)
{
    Watchdog watchdog("seeking " + name, 120);
    for (size_t s = 0; s < std::size(kStarts); ++s) {
        for (int i = 0; i < movie().PinCount(); ++i) {
            REFERENCE_TIME start = kStarts[s];
            ASSERT_EQ(S_OK, movie().Seeking(i)->SetPositions(&start, AM_SEEKING_AbsolutePositioning, nullptr,
                                                             AM_SEEKING_NoPositioning));
        }
        if (s == 0) {
            ASSERT_EQ(S_OK, movie().Run());
        }
        ASSERT_TRUE(movie().WaitForEndOfStreams(int(s + 1), 60000));
    }
    EXPECT_EQ(S_OK, movie().Stop());

    for (int i = 0; i < movie().PinCount(); ++i) {
        const ExpectedStream& stream = expected[size_t(i)];
        ASSERT_EQ(std::size(kStarts), movie().Sink(i).Segments().size());
        for (size_t s = 0; s < std::size(kStarts); ++s) {
            const REFERENCE_TIME start = kStarts[s];
            SCOPED_TRACE("stream " + std::to_string(stream.streamIndex) + " from " + std::to_string(start));
            const std::vector<ReceivedSample> samples = SegmentSamples(movie().Sink(i), s);
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

// The kinds whose pins rewrite the track (HEVC behind start codes, PCM in
// 100 ms pieces of the platform's layout) stream to the end; what they
// delivered is left for the script, which decodes it and compares with what
// ffmpeg decodes from the movie.
class MovieStreamingKinds : public ComTest {};

TEST_F(MovieStreamingKinds, HevcAndPcmPinsLeaveWhatTheyDeliveredForDecoding)
{
    struct Case {
        const char* movie;
        const char* extension;
    };
    const Case cases[] = {{"hevc-hvc1.mp4", "hevc"},   {"hevc-hev1.mp4", "hevc"}, {"pcm-s16le.mov", "pcm"},
                          {"pcm-s24be.mov", "pcm"},    {"pcm-f64be.mov", "pcm"},  {"pcm-u8.mov", "pcm"},
                          {"pcm-s16le-6ch.mov", "pcm"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.movie);
        const std::string path = FixturePath(c.movie);
        if (path.empty())
            GTEST_SKIP() << "fixture movies not made";
        Watchdog watchdog(std::string("streaming ") + c.movie, 120);
        MovieGraph movie;
        ASSERT_EQ(S_OK, movie.Load(path));
        ASSERT_EQ(1, movie.PinCount());
        ASSERT_EQ(S_OK, movie.ConnectAll());
        ASSERT_EQ(S_OK, movie.Run());
        ASSERT_TRUE(movie.WaitForEndOfStreams(1, kStreamTimeout));
        EXPECT_EQ(S_OK, movie.Stop());
        EXPECT_EQ(1, movie.Sink(0).EndOfStreamCount());
        EXPECT_LT(0u, movie.Sink(0).SampleCount());
        WriteDelivered(std::string(c.movie) + ".s0." + c.extension, movie.Sink(0).Samples());
    }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, MovieStreaming,
                         ::testing::Values("h264-aac-faststart.mp4", "h264-aac-moov-last.mp4", "h264-aac.mov",
                                           "h264-aac-chunks.mp4", "two-aac.mp4", "mdat64.mp4", "mp4v.mp4", "text.mp4",
                                           "text.mov", "aac-8000-mono.mp4", "aac-8000-stereo.mp4", "aac-44100-mono.mp4",
                                           "aac-44100-stereo.mp4", "aac-48000-mono.mp4", "aac-48000-stereo.mp4",
                                           "aac-2112.mp4", "vfr-24.mp4", "vfr-15.mp4", "bframes.mp4",
                                           "bframes-negative.mp4", "empty-edit.mp4", "gop48.mp4", "constant-rate.mp4",
                                           "frag-bframes.mp4", "frag-bframes.mov", "frag-moof-base.mp4",
                                           "frag-negative.mp4", "frag-tables.mp4", "dash-sidx.mp4",
                                           "dash-segments.mp4"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             std::string name = info.param;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c)))
                                     c = '_';
                             return name;
                         });

} // namespace
