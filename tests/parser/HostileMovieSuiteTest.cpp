// Every movie of the hostile suite loads through ParseMovie: the parse ends in
// time, stays inside its buffers and leaks nothing (the sanitizer builds check
// that), and leaves a consistent result with the pins and tracks that the
// damage leaves standing.
#include "tests/parser/FakeParserHost.h"
#include "tests/parser/ParseConsistency.h"
#include "tests/support/HostileMovies.h"
#include "tests/support/Watchdog.h"

#include <gtest/gtest.h>

#include <set>

namespace {

const std::vector<HostileMovie>& Suite()
{
    static const std::vector<HostileMovie> movies = HostileMovies();
    return movies;
}

// A movie's parse, with every way it falls short of a sound one.
void CheckParse(const HostileMovie& movie)
{
    SCOPED_TRACE(movie.name);
    std::unique_ptr<ParsedMovie> parsed;
    {
        Watchdog watchdog("parsing " + movie.name, 60);
        parsed = ParseBytes(movie.bytes);
    }
    for (const std::string& finding : FindInconsistencies(*parsed, movie.bytes.size()))
        ADD_FAILURE() << finding;
    if (movie.expectedPins >= 0) {
        EXPECT_EQ(movie.expectedPins, int(parsed->host.requests.size()));
    }
    if (movie.expectedTracks >= 0) {
        EXPECT_EQ(movie.expectedTracks, parsed->movie->trackCount);
    }
}

TEST(HostileMovieSuite, NamesAreUniqueAndTheBaseMovieIsWhole)
{
    std::set<std::string> names;
    for (const HostileMovie& movie : Suite())
        EXPECT_TRUE(names.insert(movie.name).second) << movie.name;
    EXPECT_GE(names.size(), 50u);

    // The expectations count on the base movie's two pins and three tracks.
    auto parsed = ParseBytes(HostileBaseMovie());
    EXPECT_TRUE(FindInconsistencies(*parsed, HostileBaseMovie().size()).empty());
    ASSERT_EQ(2u, parsed->host.requests.size());
    EXPECT_EQ("QT H264 Out", parsed->host.requests[0].name);
    EXPECT_EQ("QT AAC Out", parsed->host.requests[1].name);
    EXPECT_EQ(3, parsed->movie->trackCount);
}

class HostileFamily : public ::testing::TestWithParam<std::string> {};

TEST_P(HostileFamily, EveryMovieParsesConsistently)
{
    size_t count = 0;
    for (const HostileMovie& movie : Suite()) {
        if (movie.family != GetParam())
            continue;
        ++count;
        CheckParse(movie);
    }
    EXPECT_GT(count, 0u);
}

std::string FamilyTestName(const ::testing::TestParamInfo<std::string>& info)
{
    std::string name = info.param;
    for (char& c : name)
        if (c == '-')
            c = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(HostileMovieSuite, HostileFamily, ::testing::ValuesIn(HostileFamilies()), FamilyTestName);

} // namespace
