// Renderers ask the source pin about itself from inside Receive and
// EndOfStream, on the streaming thread: the stop position to time the end,
// the connection type, the pin's id. A Stop holds the filter's state lock
// while it waits for that thread to end, so none of those questions may wait
// for the state lock. Each round stops the filter just as the sinks ask, at
// the end of the stream or in the middle of it; a watchdog ends a hung run.
#include "tests/support/ComTest.h"
#include "tests/support/Fixtures.h"
#include "tests/support/MovieGraph.h"
#include "tests/support/Watchdog.h"

#include <gtest/gtest.h>

namespace {

constexpr DWORD kStreamTimeout = 60000;
constexpr int kRounds = 12;

class RendererCallback : public ComTest {};

TEST_F(RendererCallback, StopWhileSinksQueryThePinFromTheStreamingThreadNeverHangs)
{
    const std::string path = FixturePath("h264-aac-faststart.mp4");
    if (path.empty())
        GTEST_SKIP() << "fixture movies not made";
    Watchdog watchdog("stopping while renderers ask the pins", 240);
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        MovieGraph movie;
        ASSERT_EQ(S_OK, movie.Load(path));
        ASSERT_EQ(S_OK, movie.ConnectAll());
        const bool atEnd = round % 2 == 0;
        for (int i = 0; i < movie.PinCount(); ++i)
            movie.Sink(i).QueryUpstreamOnDelivery(true, atEnd ? DWORD(round % 4 + 1) : 0);
        ASSERT_EQ(S_OK, movie.Run());
        if (atEnd)
            ASSERT_TRUE(movie.WaitForEndOfStreams(1, kStreamTimeout));
        else
            ASSERT_TRUE(movie.Sink(0).WaitForEndOfStreamOrSamples(size_t(round), kStreamTimeout));
        EXPECT_EQ(S_OK, movie.Stop());
        EXPECT_EQ(0, movie.graph->EventCount(EC_ERRORABORT));
    }
}

} // namespace
