// A sink that wants no more samples answers S_FALSE: the pin stops sending
// without an end of stream or an error, the graph still stops at once, and the
// next run streams the whole track again from its start.
#include "tests/support/BoxBuilder.h"
#include "tests/support/ComTest.h"
#include "tests/support/Fixtures.h"
#include "tests/support/HostileMovies.h"
#include "tests/support/MovieGraph.h"
#include "tests/support/Watchdog.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>

namespace {

class RefusedStream : public ComTest {};

TEST_F(RefusedStream, APinRefusedMidStreamEndsQuietlyAndStreamsWholeOnTheNextRun)
{
    const std::string path = TempPath("refused-stream.mp4");
    ASSERT_TRUE(WriteFileBytes(path, HostileBaseMovie()));
    {
        Watchdog watchdog("refused stream", 60);
        MovieGraph movie;
        ASSERT_EQ(S_OK, movie.Load(path));
        ASSERT_EQ(2, movie.PinCount()); // ten pictures and ten sound frames
        ASSERT_EQ(S_OK, movie.ConnectAll());
        for (int i = 0; i < movie.PinCount(); ++i)
            movie.Sink(i).LimitSamples(4);
        ASSERT_EQ(S_OK, movie.Run());
        for (int i = 0; i < movie.PinCount(); ++i)
            EXPECT_TRUE(movie.Sink(i).WaitForSamples(4, 10000));
        EXPECT_EQ(S_OK, movie.Stop());
        EXPECT_EQ(0, movie.graph->EventCount(EC_ERRORABORT));
        for (int i = 0; i < movie.PinCount(); ++i) {
            SCOPED_TRACE("pin " + std::to_string(i));
            EXPECT_EQ(4u, movie.Sink(i).SampleCount());
            EXPECT_EQ(0, movie.Sink(i).EndOfStreamCount());
            movie.Sink(i).ClearRecords();
            movie.Sink(i).LimitSamples(SIZE_MAX);
        }

        ASSERT_EQ(S_OK, movie.Run());
        EXPECT_TRUE(movie.WaitForEndOfStreams(1, 10000));
        EXPECT_EQ(S_OK, movie.Stop());
        for (int i = 0; i < movie.PinCount(); ++i) {
            SCOPED_TRACE("pin " + std::to_string(i));
            const std::vector<ReceivedSample> samples = movie.Sink(i).Samples();
            ASSERT_EQ(10u, samples.size());
            EXPECT_EQ(0, samples[0].start);
            EXPECT_TRUE(samples[0].discontinuity);
            EXPECT_EQ(1, movie.Sink(i).EndOfStreamCount());
        }
    }
    std::remove(path.c_str());
}

} // namespace
