// Movies whose media data lies past 2 and 4 GiB, made from small fixtures by
// moving the "mdat" payload past a hole (tests/fixtures/make-fixtures.sh):
// unsigned "stco" offsets and "co64" ones must reach the same bytes, so every
// pin delivers exactly what it delivers from the small original.
#include "tests/support/ComTest.h"
#include "tests/support/Fixtures.h"
#include "tests/support/MovieGraph.h"
#include "tests/support/Watchdog.h"

#include <gtest/gtest.h>

#include <cctype>
#include <memory>
#include <ostream>

namespace {

constexpr DWORD kStreamTimeout = 60000;

struct LargeCase {
    const char* large;
    const char* original;
};

void PrintTo(const LargeCase& c, std::ostream* os)
{
    *os << c.large;
}

// The samples every pin of a movie delivered when run to the end.
std::vector<std::vector<ReceivedSample>> StreamAll(const std::string& path)
{
    std::vector<std::vector<ReceivedSample>> delivered;
    MovieGraph movie;
    EXPECT_EQ(S_OK, movie.Load(path)) << path;
    EXPECT_EQ(S_OK, movie.ConnectAll());
    EXPECT_EQ(S_OK, movie.Run());
    EXPECT_TRUE(movie.WaitForEndOfStreams(1, kStreamTimeout)) << path;
    EXPECT_EQ(S_OK, movie.Stop());
    EXPECT_EQ(0, movie.graph->EventCount(EC_ERRORABORT)) << path;
    for (int i = 0; i < movie.PinCount(); ++i)
        delivered.push_back(movie.Sink(i).Samples());
    return delivered;
}

class LargeFile : public ComTest, public ::testing::WithParamInterface<LargeCase> {};

TEST_P(LargeFile, EveryPinDeliversWhatTheSmallOriginalDelivers)
{
    const LargeCase& c = GetParam();
    const std::string original = FixturePath(c.original);
    if (original.empty())
        GTEST_SKIP() << "fixture movies not made";
    const std::string large = FixturePath(c.large);
    if (large.empty()) {
        // make-fixtures.sh leaves this note where the hole would have cost the disk.
        const bool unmade = !FixturePath(std::string(c.large) + ".unmade").empty();
        GTEST_SKIP() << c.large
                     << (unmade ? ": the fixture folder's file system has no sparse files"
                                : ": not made (run tests/fixtures/make-fixtures.sh)");
    }
    Watchdog watchdog(std::string("streaming ") + c.large, 120);

    const auto expected = StreamAll(original);
    const auto received = StreamAll(large);
    ASSERT_FALSE(expected.empty());
    ASSERT_EQ(expected.size(), received.size());
    for (size_t pin = 0; pin < expected.size(); ++pin) {
        SCOPED_TRACE("pin " + std::to_string(pin));
        ASSERT_FALSE(expected[pin].empty());
        ASSERT_EQ(expected[pin].size(), received[pin].size());
        for (size_t k = 0; k < expected[pin].size(); ++k) {
            SCOPED_TRACE("sample " + std::to_string(k));
            const ReceivedSample& want = expected[pin][k];
            const ReceivedSample& got = received[pin][k];
            EXPECT_EQ(want.timeResult, got.timeResult);
            EXPECT_EQ(want.start, got.start);
            EXPECT_EQ(want.stop, got.stop);
            EXPECT_EQ(want.syncPoint, got.syncPoint);
            EXPECT_EQ(want.discontinuity, got.discontinuity);
            EXPECT_EQ(want.preroll, got.preroll);
            ASSERT_EQ(want.bytes, got.bytes);
        }
    }
}

// Media data between 2 and 4 GiB through 32-bit offsets, and past 4 GiB
// through 64-bit ones, for the kinds whose samples are found differently:
// tables of sizes (H.264, AAC, HEVC) and one constant size (PCM).
const LargeCase kCases[] = {
    {"large-stco.mp4", "h264-aac-faststart.mp4"},
    {"large-co64.mp4", "h264-aac-faststart.mp4"},
    {"large-co64-hevc.mp4", "hevc-hvc1.mp4"},
    {"large-co64-pcm.mov", "pcm-s16le.mov"},
};

INSTANTIATE_TEST_SUITE_P(Movies, LargeFile, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<LargeCase>& info) {
                             std::string name;
                             for (const char* c = info.param.large; *c && *c != '.'; ++c)
                                 name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
                             return name;
                         });

} // namespace
