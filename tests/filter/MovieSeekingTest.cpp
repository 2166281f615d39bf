// Seeking a real movie while it streams: the first sample after each seek is
// the sync sample that leads up to the new start, the samples before the
// start are preroll, stamps count from the start; seek storms with quality notifications
// from another thread never deadlock and never deliver a broken sample.
#include "tests/filter/ExpectedStreams.h"
#include "tests/support/ComTest.h"
#include "tests/support/Fixtures.h"
#include "tests/support/MovieGraph.h"
#include "tests/support/Watchdog.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

namespace {

constexpr const char* kMovie = "h264-aac-chunks.mp4"; // ten seconds, chunks of several samples

class MovieSeeking : public ComTest {
protected:
    void SetUp() override
    {
        ComTest::SetUp();
        path = FixturePath(kMovie);
        if (path.empty())
            GTEST_SKIP() << "fixture movies not made";
        std::string why;
        ASSERT_TRUE(LoadExpectedStreams(path, &expected, &why)) << why;
        movie.reset(new MovieGraph());
        ASSERT_EQ(S_OK, movie->Load(path));
        ASSERT_EQ(int(expected.size()), movie->PinCount());
        ASSERT_EQ(S_OK, movie->ConnectAll());
    }
    void TearDown() override
    {
        movie.reset();
        ComTest::TearDown();
    }

    // The sample a start position makes pin i deliver first.
    size_t IndexAt(int i, REFERENCE_TIME start) { return FirstSampleAt(expected[size_t(i)], start); }

    HRESULT SeekAll(REFERENCE_TIME start)
    {
        for (int i = 0; i < movie->PinCount(); ++i) {
            REFERENCE_TIME position = start;
            HRESULT result = movie->Seeking(i)->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr,
                                                             AM_SEEKING_NoPositioning);
            if (FAILED(result))
                return result;
        }
        return S_OK;
    }

    // Checks that after every new segment the pin delivered the samples from
    // the one the segment's start gives on, consecutively, stamped with
    // ffmpeg's times from the start.
    void ExpectEachSegmentStartsAtItsSample(int i)
    {
        const std::vector<ReceivedSample> samples = movie->Sink(i).Samples();
        const std::vector<ReceivedSegment> segments = movie->Sink(i).Segments();
        const ExpectedStream& stream = expected[size_t(i)];
        for (size_t s = 0; s < segments.size(); ++s) {
            const size_t end = s + 1 < segments.size() ? segments[s + 1].samplesBefore : samples.size();
            const size_t first = IndexAt(i, segments[s].start);
            const std::vector<REFERENCE_TIME> times = SortedTimes(stream, first);
            for (size_t k = segments[s].samplesBefore; k < end; ++k) {
                const size_t n = k - segments[s].samplesBefore;
                ASSERT_LT(first + n, stream.packets.size()) << "segment " << s;
                ASSERT_EQ(ExpectedSample(stream, first + n, n == 0), samples[k].bytes)
                    << "pin " << i << ", segment " << s << " from " << segments[s].start << ", sample " << n;
                EXPECT_NEAR(double(times[n] - segments[s].start), double(samples[k].start), 10000.0);
                EXPECT_EQ(samples[k].stop <= 0, samples[k].preroll);
                EXPECT_EQ(n == 0, samples[k].discontinuity);
            }
        }
    }

    std::string path;
    std::vector<ExpectedStream> expected;
    std::unique_ptr<MovieGraph> movie;
};

TEST_F(MovieSeeking, FiveSecondsWhileRunningDeliversNextTheSampleAtFiveSeconds)
{
    Watchdog watchdog("seek to five seconds", 120);
    for (int i = 0; i < movie->PinCount(); ++i)
        movie->Sink(i).HoldReceive(true); // each pin's first sample waits downstream
    ASSERT_EQ(S_OK, movie->Run());
    for (int i = 0; i < movie->PinCount(); ++i)
        for (int tries = 0; movie->Sink(i).CallCount(SinkCall::Receive) == 0 && tries < 10000; ++tries)
            Sleep(1);
    ASSERT_EQ(S_OK, SeekAll(50000000));
    for (int i = 0; i < movie->PinCount(); ++i)
        movie->Sink(i).HoldReceive(false);
    ASSERT_TRUE(movie->WaitForEndOfStreams(1, 60000));

    for (int i = 0; i < movie->PinCount(); ++i) {
        SCOPED_TRACE("pin " + std::to_string(i));
        const ExpectedStream& stream = expected[size_t(i)];
        const size_t first = IndexAt(i, 50000000); // 125 of 250 pictures, 234 of 470 sound frames
        const std::vector<ReceivedSample> samples = movie->Sink(i).Samples();
        ASSERT_EQ(stream.packets.size() - first, samples.size()); // the held sample was flushed
        EXPECT_EQ(ExpectedSample(stream, first, true), samples[0].bytes);
        EXPECT_TRUE(samples[0].syncPoint);
        EXPECT_TRUE(samples[0].discontinuity);
        const std::vector<ReceivedSegment> segments = movie->Sink(i).Segments();
        ASSERT_EQ(2u, segments.size());
        EXPECT_EQ(50000000, segments[1].start);
        EXPECT_EQ(0u, segments[1].samplesBefore);
        ExpectEachSegmentStartsAtItsSample(i);
        RecordProperty("first" + std::to_string(i), int(first));
    }
    EXPECT_EQ(120u, IndexAt(0, 50000000)); // the key frame before picture 125
}

TEST_F(MovieSeeking, EverySeekOfAStormLandsOnItsSample)
{
    Watchdog watchdog("seek storm", 300);
    ASSERT_EQ(S_OK, movie->Run());
    uint32_t random = 12345;
    REFERENCE_TIME start = 0;
    for (int seek = 0; seek < 100; ++seek) {
        random = random * 1103515245u + 12345u;
        start = REFERENCE_TIME((random >> 8) % 110) * 1000000 - 5000000; // -0.5 s to 10.4 s
        ASSERT_EQ(S_OK, SeekAll(start));
        std::this_thread::sleep_for(std::chrono::microseconds((random >> 4) % 3000));
    }
    // The last seek plays to the end of each track.
    for (int i = 0; i < movie->PinCount(); ++i) {
        const size_t left = expected[size_t(i)].packets.size() - IndexAt(i, start);
        SinkPin& sink = movie->Sink(i);
        ASSERT_TRUE(sink.WaitForSamples(sink.Segments().back().samplesBefore + left, 60000));
    }
    ASSERT_EQ(S_OK, movie->Stop());
    for (int i = 0; i < movie->PinCount(); ++i) {
        EXPECT_EQ(101u, movie->Sink(i).Segments().size());
        ExpectEachSegmentStartsAtItsSample(i);
    }
    EXPECT_EQ(0, movie->graph->EventCount(EC_ERRORABORT));
}

TEST_F(MovieSeeking, SeeksWithQualityNotificationsFromAnotherThreadDeliverOnlyWholeSamples)
{
    Watchdog watchdog("seeks with quality notifications", 300);
    // Every sample as it may be delivered: its index, by its bytes.
    std::vector<SampleCatalogue> known;
    for (const ExpectedStream& stream : expected)
        known.push_back(CatalogueSamples(stream));

    ASSERT_EQ(S_OK, movie->Run());
    std::atomic<bool> seeking{true};
    std::atomic<int> notifications{0};
    std::thread downstream([&] {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        uint32_t random = 777;
        while (seeking) {
            random = random * 1103515245u + 12345u;
            const REFERENCE_TIME late = REFERENCE_TIME((random >> 8) % 2000000) - 400000;
            IQualityControl* quality = movie->Pin(int(random >> 30) % movie->PinCount());
            quality->Notify(movie->filter, Quality{Famine, 1000, late, 0});
            ++notifications;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        CoUninitialize();
    });
    uint32_t random = 4242;
    for (int seek = 0; seek < 100; ++seek) {
        random = random * 1103515245u + 12345u;
        ASSERT_EQ(S_OK, SeekAll(REFERENCE_TIME((random >> 8) % 100) * 1000000));
        std::this_thread::sleep_for(std::chrono::microseconds((random >> 4) % 3000));
    }
    seeking = false;
    downstream.join();
    ASSERT_TRUE(movie->WaitForEndOfStreams(1, 60000)); // after the last jump, to the end
    ASSERT_EQ(S_OK, movie->Stop());

    size_t delivered = 0;
    for (int i = 0; i < movie->PinCount(); ++i) {
        const std::vector<ReceivedSegment> segments = movie->Sink(i).Segments();
        const std::vector<ReceivedSample> samples = movie->Sink(i).Samples();
        size_t segment = 0;
        for (size_t k = 0; k < samples.size(); ++k) {
            const ReceivedSample& sample = samples[k];
            auto found = known[size_t(i)].find(sample.bytes);
            ASSERT_NE(known[size_t(i)].end(), found) << "pin " << i << ": a sample that is no sample of the track";
            while (segment + 1 < segments.size() && segments[segment + 1].samplesBefore <= k)
                ++segment;
            // Within a segment stamps never go down, skips or not.
            if (k > segments[segment].samplesBefore) {
                EXPECT_LE(samples[k - 1].start, sample.start);
            }
            EXPECT_LE(sample.start, sample.stop);
        }
        delivered += movie->Sink(i).SampleCount();
    }
    EXPECT_EQ(0, movie->graph->EventCount(EC_ERRORABORT));
    RecordProperty("samples", int(delivered));
    RecordProperty("notifications", notifications.load());
}

} // namespace
