// Every broken and hostile movie of the suite, loaded by the filter and
// streamed through every pin it offers: nothing crashes, hangs or touches
// memory outside its buffers (the sanitizer builds check that), no pin
// delivers more than its track holds (nor other than the damage leaves, where
// that is settled), and each pin ends its stream, with EC_ERRORABORT when its
// tables could not be read.
#include "tests/support/BoxBuilder.h"
#include "tests/support/ComTest.h"
#include "tests/support/Fixtures.h"
#include "tests/support/HostileMovies.h"
#include "tests/support/MovieEdit.h"
#include "tests/support/MovieGraph.h"
#include "tests/support/Watchdog.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

const std::vector<HostileMovie>& Suite()
{
    static const std::vector<HostileMovie> movies = HostileMovies();
    return movies;
}

struct StreamedMovie {
    int pins = 0;
    size_t samples = 0;
    int aborts = 0;
};

StreamedMovie StreamToTheEnd(const HostileMovie& hostile)
{
    SCOPED_TRACE(hostile.name);
    StreamedMovie streamed;
    const std::string path = TempPath("hostile-stream-" + hostile.name + ".mp4");
    EXPECT_TRUE(WriteFileBytes(path, hostile.bytes));
    {
        // Long enough for the largest fragment a movie may hold (2^18 samples),
        // which takes tens of seconds in Wine's run time.
        Watchdog watchdog("streaming " + hostile.name, 240);
        MovieGraph movie;
        const HRESULT loaded = movie.Load(path);
        EXPECT_TRUE(loaded == S_OK || loaded == E_FAIL) << std::hex << loaded;
        EXPECT_EQ(loaded == S_OK, movie.PinCount() > 0);
        if (hostile.expectedPins >= 0) {
            EXPECT_EQ(hostile.expectedPins, movie.PinCount());
        }
        EXPECT_EQ(S_OK, movie.ConnectAll());
        EXPECT_EQ(S_OK, movie.Run());
        EXPECT_TRUE(movie.WaitForEndOfStreams(1, 180000)) << "a pin never ended its stream";
        EXPECT_EQ(S_OK, movie.Stop());
        streamed.pins = movie.PinCount();
        streamed.aborts = movie.graph->EventCount(EC_ERRORABORT);
        EXPECT_LE(streamed.aborts, streamed.pins);
        std::vector<size_t> delivered;
        for (int i = 0; i < movie.PinCount(); ++i) {
            EXPECT_EQ(1, movie.Sink(i).EndOfStreamCount());
            EXPECT_LE(movie.Sink(i).SampleCount(), size_t(movie.Pin(i)->SampleCount()));
            delivered.push_back(movie.Sink(i).SampleCount());
            streamed.samples += delivered.back();
        }
        if (!hostile.expectedSamples.empty()) {
            EXPECT_EQ(hostile.expectedSamples, delivered);
        }
    }
    std::remove(path.c_str());
    return streamed;
}

class HostileStreaming : public ComTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(HostileStreaming, EveryPinEndsItsStream)
{
    StreamedMovie total;
    int movies = 0;
    for (const HostileMovie& movie : Suite()) {
        if (movie.family != GetParam())
            continue;
        ++movies;
        StreamedMovie streamed = StreamToTheEnd(movie);
        total.pins += streamed.pins;
        total.samples += streamed.samples;
        total.aborts += streamed.aborts;
    }
    EXPECT_GT(movies, 0);
    RecordProperty("movies", movies);
    RecordProperty("pins", total.pins);
    RecordProperty("samples", int(total.samples));
    RecordProperty("aborts", total.aborts);
}

class HostileStreamingBase : public ComTest {};

TEST_F(HostileStreamingBase, TheBaseMovieStreamsWhole)
{
    HostileMovie base{"base", "base", HostileBaseMovie(), 2, 3, {10, 10}}; // ten pictures and ten sound frames
    StreamedMovie streamed = StreamToTheEnd(base);
    EXPECT_EQ(2, streamed.pins);
    EXPECT_EQ(0, streamed.aborts);
}

std::string FamilyTestName(const ::testing::TestParamInfo<std::string>& info)
{
    std::string name = info.param;
    for (char& c : name)
        if (c == '-')
            c = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Families, HostileStreaming, ::testing::ValuesIn(HostileFamilies()), FamilyTestName);

class ChangedFragment : public ComTest {};

// A fragment that no longer holds what the index counted at load ends each
// stream that reaches it, with an error: here the second fragment's first run
// comes to count more samples than its box holds.
TEST_F(ChangedFragment, EndsEachStreamWithAnError)
{
    const std::vector<uint8_t>* whole = nullptr;
    for (const HostileMovie& movie : Suite())
        if (movie.name == "fragments-whole")
            whole = &movie.bytes;
    ASSERT_TRUE(whole);
    const std::string path = TempPath("changed-fragment.mp4");
    ASSERT_TRUE(WriteFileBytes(path, *whole));
    Watchdog watchdog("streaming a changed fragment", 60);
    MovieGraph movie;
    ASSERT_EQ(S_OK, movie.Load(path));
    ASSERT_EQ(2, movie.PinCount());

    const uint8_t count[4] = {0, 0, 0x03, 0xE8};
    FILE* file = std::fopen(path.c_str(), "r+b");
    ASSERT_TRUE(file);
    const long countField = long(MovieEdit(*whole).Box("moof2.traf.trun").start + 12); // the run's sample count
    const bool changed = std::fseek(file, countField, SEEK_SET) == 0 && std::fwrite(count, 1, 4, file) == 4;
    ASSERT_EQ(0, std::fclose(file));
    ASSERT_TRUE(changed);

    ASSERT_EQ(S_OK, movie.ConnectAll());
    ASSERT_EQ(S_OK, movie.Run());
    ASSERT_TRUE(movie.WaitForEndOfStreams(1, 30000));
    EXPECT_EQ(S_OK, movie.Stop());
    EXPECT_EQ(2, movie.graph->EventCount(EC_ERRORABORT));
    // The first fragment whole, nothing of the changed one.
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(1, movie.Sink(i).EndOfStreamCount());
        EXPECT_EQ(4u, movie.Sink(i).SampleCount());
    }
    movie.Close();
    std::remove(path.c_str());
}

class TimingFallback : public ComTest {};

// Timing tables that do not describe the video track's samples leave its pin
// stamping in steps of the average sample, every sample a sync point, from 0;
// the sound track's whole tables still time the sound pin.
TEST_F(TimingFallback, BrokenTimingTablesGiveAverageSteps)
{
    int movies = 0;
    for (const HostileMovie& hostile : Suite()) {
        if (hostile.family != "timing-tables")
            continue;
        SCOPED_TRACE(hostile.name);
        ++movies;
        const std::string path = TempPath("timing-fallback.mp4");
        ASSERT_TRUE(WriteFileBytes(path, hostile.bytes));
        // Long enough for the largest fragment a movie may hold (2^18 samples),
        // which takes tens of seconds in Wine's run time.
        Watchdog watchdog("streaming " + hostile.name, 240);
        MovieGraph movie;
        ASSERT_EQ(S_OK, movie.Load(path));
        ASSERT_EQ(2, movie.PinCount());
        EXPECT_FALSE(movie.Pin(0)->TimedByTables());
        EXPECT_TRUE(movie.Pin(1)->TimedByTables());
        ASSERT_EQ(S_OK, movie.ConnectAll());
        ASSERT_EQ(S_OK, movie.Run());
        ASSERT_TRUE(movie.WaitForEndOfStreams(1, 30000));
        EXPECT_EQ(S_OK, movie.Stop());
        const REFERENCE_TIME step = movie.Pin(0)->AverageSampleDuration();
        const std::vector<ReceivedSample> samples = movie.Sink(0).Samples();
        EXPECT_EQ(size_t(movie.Pin(0)->SampleCount()), samples.size());
        for (size_t k = 0; k < samples.size(); ++k) {
            EXPECT_EQ(REFERENCE_TIME(k) * step, samples[k].start);
            EXPECT_EQ(REFERENCE_TIME(k + 1) * step, samples[k].stop);
            EXPECT_TRUE(samples[k].syncPoint);
            EXPECT_FALSE(samples[k].preroll);
        }
    }
    EXPECT_GT(movies, 0);
}

} // namespace
