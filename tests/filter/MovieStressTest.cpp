// Several filters on real movies driven at once, each from a thread of its
// own: Pause, Run and Stop cycles and seek storms while quality notifications
// arrive from yet another thread, then each played to the end from a new
// start; and filters whose last reference goes while their pins deliver.
// Whatever the interleaving, every delivered sample is a whole sample of its
// track, every thread ends, nothing deadlocks (a watchdog ends a hung run)
// and every framework object is gone at the end.
#include "tests/filter/ExpectedStreams.h"
#include "tests/support/BoxBuilder.h"
#include "tests/support/ComTest.h"
#include "tests/support/Fixtures.h"
#include "tests/support/MovieGraph.h"
#include "tests/support/Watchdog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

namespace {

const char* const kMovies[] = {"h264-aac-chunks.mp4", "h264-aac-moov-last.mp4", "two-aac.mp4", "h264-aac.mov",
                               "frag-bframes.mp4"};
constexpr DWORD kStreamTimeout = 60000;

// A small generator of its own per thread, so that runs repeat.
struct Random {
    uint32_t state;
    uint32_t Next(uint32_t bound)
    {
        state = state * 1103515245u + 12345u;
        return (state >> 8) % bound;
    }
    void Pause() { std::this_thread::sleep_for(std::chrono::microseconds(Next(2000))); }
};

// A thread that may use COM objects.
class ComThread {
public:
    template <class Body>
    explicit ComThread(Body body)
        : thread([body]() mutable {
              HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
              body();
              if (SUCCEEDED(com))
                  CoUninitialize();
          })
    {
    }
    ~ComThread() { Join(); }
    void Join()
    {
        if (thread.joinable())
            thread.join();
    }

private:
    std::thread thread;
};

// What the threads found wrong; the test's thread reports it. The first
// problem of each kind is enough.
class Problems {
public:
    void Add(const std::string& what)
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (list.size() < 20)
            list.push_back(what);
    }
    void Report()
    {
        for (const std::string& problem : list)
            ADD_FAILURE() << problem;
    }

private:
    std::mutex mutex;
    std::vector<std::string> list;
};

// One fixture movie and what its pins must deliver.
struct Movie {
    std::string name;
    std::string path;
    std::vector<ExpectedStream> expected;
    std::vector<SampleCatalogue> catalogues;
};

class MovieStress : public ComTest {
protected:
    void SetUp() override
    {
        ComTest::SetUp();
        for (const char* name : kMovies) {
            Movie movie;
            movie.name = name;
            movie.path = FixturePath(name);
            if (movie.path.empty())
                GTEST_SKIP() << "fixture movies not made";
            std::string why;
            ASSERT_TRUE(LoadExpectedStreams(movie.path, &movie.expected, &why)) << why;
            for (const ExpectedStream& stream : movie.expected)
                movie.catalogues.push_back(CatalogueSamples(stream));
            movies.push_back(std::move(movie));
        }
    }

    std::vector<Movie> movies;
};

// Whether t is one of the sorted times, within 1 ms.
bool IsOneOf(const std::vector<REFERENCE_TIME>& sorted, REFERENCE_TIME t)
{
    const auto closest = std::lower_bound(sorted.begin(), sorted.end(), t - 10000);
    return closest != sorted.end() && *closest <= t + 10000;
}

// Every sample a sink holds is a whole sample of the pin's track, stamped at
// one of the track's presentation times counted from its segment's start;
// the first after each new segment is a discontinuity; no run ends twice.
// Empty when all is well.
std::string CheckWholeSamples(MovieGraph& graph, const Movie& movie)
{
    for (int i = 0; i < int(graph.sinks.size()); ++i) {
        SinkPin& sink = graph.Sink(i);
        const std::vector<ReceivedSample> samples = sink.Samples();
        // Read from the track, since the filter may be gone.
        const std::vector<REFERENCE_TIME> times = SortedTimes(movie.expected[size_t(i)]);
        const std::vector<ReceivedSegment> segments = sink.Segments();
        const std::string where = movie.name + " pin " + std::to_string(i);
        size_t segment = 0;
        for (size_t k = 0; k < samples.size(); ++k) {
            if (movie.catalogues[size_t(i)].count(samples[k].bytes) == 0)
                return where + ": sample " + std::to_string(k) + " is no sample of the track";
            while (segment + 1 < segments.size() && segments[segment + 1].samplesBefore <= k)
                ++segment;
            const REFERENCE_TIME time = samples[k].start + (segments.empty() ? 0 : segments[segment].start);
            if (!IsOneOf(times, time) || samples[k].stop < samples[k].start)
                return where + ": sample " + std::to_string(k) + " stamped at no time of the track";
        }
        for (const ReceivedSegment& segment : sink.Segments())
            if (segment.samplesBefore < samples.size() && !samples[segment.samplesBefore].discontinuity)
                return where + ": the first sample of a segment is no discontinuity";
        // Each run, from a start or a seek, ends at most once.
        if (size_t(sink.EndOfStreamCount()) > sink.Segments().size())
            return where + ": more ends of stream than runs";
    }
    return "";
}

// Seeks every pin of the graph to start.
HRESULT SeekAll(MovieGraph& graph, REFERENCE_TIME start)
{
    for (int i = 0; i < graph.PinCount(); ++i) {
        REFERENCE_TIME position = start;
        HRESULT result = graph.Seeking(i)->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr,
                                                        AM_SEEKING_NoPositioning);
        if (FAILED(result))
            return result;
    }
    return S_OK;
}

// Pause/Run/Stop cycles with seek storms, while quality notifications and
// seeks from other threads arrive.
void Storm(MovieGraph& graph, const Movie& movie, uint32_t seed, Problems& problems, std::atomic<size_t>& samples)
{
    Random random{seed};
    const REFERENCE_TIME longest = movie.expected[0].MediaDuration();
    auto expect = [&](HRESULT result, const char* what) {
        if (result != S_OK)
            problems.Add(movie.name + ": " + what + " answered " + std::to_string(long(result)));
    };
    for (int cycle = 0; cycle < 6; ++cycle) {
        if (random.Next(3) == 0)
            expect(SeekAll(graph, REFERENCE_TIME(random.Next(uint32_t(longest / 100000))) * 100000), "seek stopped");
        expect(graph.filter->Pause(), "Pause");
        for (int step = 0; step < 16; ++step) {
            switch (random.Next(6)) {
            case 0:
                expect(graph.filter->Pause(), "Pause");
                break;
            case 1:
                expect(graph.filter->Run(0), "Run");
                break;
            default: {
                // From just before the start to just past the end.
                const REFERENCE_TIME start = REFERENCE_TIME(random.Next(uint32_t(longest / 100000) + 10)) * 100000;
                expect(SeekAll(graph, start - 500000), "seek");
            }
            }
            random.Pause();
        }
        expect(graph.filter->Stop(), "Stop");
        const std::string problem = CheckWholeSamples(graph, movie);
        if (!problem.empty())
            problems.Add(problem + " (cycle " + std::to_string(cycle) + ")");
        for (int i = 0; i < int(graph.sinks.size()); ++i) {
            samples += graph.Sink(i).SampleCount();
            graph.Sink(i).ClearRecords();
        }
    }
}

// From a new start to the end of every track, pausing on the way: exactly the
// samples from the one at the start on, then one end of stream.
void PlayToTheEnd(MovieGraph& graph, const Movie& movie, uint32_t seed, Problems& problems)
{
    Random random{seed};
    const REFERENCE_TIME start =
        REFERENCE_TIME(random.Next(uint32_t(movie.expected[0].MediaDuration() / 1000000))) * 1000000;
    if (SeekAll(graph, start) != S_OK || graph.Run() != S_OK) {
        problems.Add(movie.name + ": no run from " + std::to_string(start));
        return;
    }
    for (int toggle = 0; toggle < 4; ++toggle) {
        random.Pause();
        if ((toggle % 2 == 0 ? graph.filter->Pause() : graph.filter->Run(0)) != S_OK)
            problems.Add(movie.name + ": Pause or Run failed while playing");
    }
    if (!graph.WaitForEndOfStreams(1, kStreamTimeout))
        problems.Add(movie.name + ": no end of stream on every pin");
    graph.Stop();
    for (int i = 0; i < graph.PinCount(); ++i) {
        const std::string where = movie.name + " pin " + std::to_string(i) + " from " + std::to_string(start);
        const ExpectedStream& stream = movie.expected[size_t(i)];
        const size_t first = FirstSampleAt(stream, start);
        const std::vector<ReceivedSample> samples = graph.Sink(i).Samples();
        if (samples.size() != stream.packets.size() - first)
            problems.Add(where + ": " + std::to_string(samples.size()) + " samples delivered");
        for (size_t n = 0; n < samples.size() && first + n < stream.packets.size(); ++n)
            if (samples[n].bytes != ExpectedSample(stream, first + n, n == 0)) {
                problems.Add(where + ": sample " + std::to_string(n) + " is not the track's next");
                break;
            }
        if (graph.Sink(i).EndOfStreamCount() != 1 || graph.Sink(i).Segments().size() != 1)
            problems.Add(where + ": not one segment and one end of stream");
    }
}

TEST_F(MovieStress, FiltersCycledAndSeekedAtOnceWithQualityNotificationsDeliverOnlyWholeSamples)
{
    Watchdog watchdog("several filters cycled and seeked at once", 300);
    std::vector<std::unique_ptr<MovieGraph>> graphs;
    for (const Movie& movie : movies) {
        graphs.emplace_back(new MovieGraph());
        ASSERT_EQ(S_OK, graphs.back()->Load(movie.path)) << movie.name;
        ASSERT_EQ(int(movie.expected.size()), graphs.back()->PinCount()) << movie.name;
        ASSERT_EQ(S_OK, graphs.back()->ConnectAll()) << movie.name;
    }
    Problems problems;
    std::atomic<size_t> samples{0};
    std::atomic<int> notifications{0};
    {
        std::atomic<bool> storming{true};
        ComThread downstream([&] {
            Random random{99};
            while (storming) {
                MovieGraph& graph = *graphs[random.Next(uint32_t(graphs.size()))];
                IQualityControl* quality = graph.Pin(int(random.Next(uint32_t(graph.PinCount()))));
                const REFERENCE_TIME late = REFERENCE_TIME(random.Next(2000000)) - 400000;
                quality->Notify(graph.filter, Quality{Famine, 1000, late, 0});
                ++notifications;
                std::this_thread::sleep_for(std::chrono::microseconds(100));
            }
        });
        // Each filter also seeks from a thread of its own, across its
        // state changes.
        std::vector<std::unique_ptr<ComThread>> seekers;
        for (size_t m = 0; m < movies.size(); ++m)
            seekers.emplace_back(new ComThread([&, m] {
                Random random{uint32_t(3000 + m)};
                const uint32_t tenths = uint32_t(movies[m].expected[0].MediaDuration() / 1000000);
                while (storming) {
                    if (SeekAll(*graphs[m], REFERENCE_TIME(random.Next(tenths)) * 1000000) != S_OK)
                        problems.Add(movies[m].name + ": a seek from another thread failed");
                    random.Pause();
                }
            }));
        std::vector<std::unique_ptr<ComThread>> drivers;
        for (size_t m = 0; m < movies.size(); ++m)
            drivers.emplace_back(
                new ComThread([&, m] { Storm(*graphs[m], movies[m], uint32_t(1000 + m), problems, samples); }));
        drivers.clear(); // joins them
        storming = false;
        seekers.clear();
    }
    {
        std::vector<std::unique_ptr<ComThread>> drivers;
        for (size_t m = 0; m < movies.size(); ++m)
            drivers.emplace_back(
                new ComThread([&, m] { PlayToTheEnd(*graphs[m], movies[m], uint32_t(2000 + m), problems); }));
    }
    problems.Report();
    for (const std::unique_ptr<MovieGraph>& graph : graphs)
        EXPECT_EQ(0, graph->graph->EventCount(EC_ERRORABORT));
    EXPECT_GT(samples.load(), 0u);
    RecordProperty("samples", int(samples.load()));
    RecordProperty("notifications", notifications.load());
}

// The ways a host may let a filter go while its pins deliver.
enum class Release {
    RightAfterRun,       // the threads are still starting
    AfterFirstSamples,   // every pin has delivered
    FromReceive,         // every thread waits in the downstream Receive, let go meanwhile
    GraphFirst,          // the graph goes, then the filter
    LastOnSeekingThread, // a thread that seeks holds the last reference
    COUNT
};

// Counts the releases made before every pin had ended its stream.
void ReleaseWhileStreaming(const Movie& movie, Release how, uint32_t seed, Problems& problems,
                           std::atomic<int>& midStream)
{
    Random random{seed};
    MovieGraph graph;
    if (graph.Load(movie.path) != S_OK || graph.ConnectAll() != S_OK) {
        problems.Add(movie.name + ": not loaded and connected");
        return;
    }
    const std::string where = movie.name + " released " + std::to_string(int(how));
    if (how == Release::FromReceive)
        for (SinkFilter* sink : graph.sinks)
            sink->Input().HoldReceive(true);
    if (graph.Run() != S_OK) {
        problems.Add(where + ": no run");
        return;
    }

    std::unique_ptr<ComThread> helper;
    switch (how) {
    case Release::RightAfterRun:
        break;
    case Release::AfterFirstSamples:
        for (SinkFilter* sink : graph.sinks)
            sink->Input().WaitForSamples(1, kStreamTimeout);
        break;
    case Release::FromReceive:
        for (SinkFilter* sink : graph.sinks)
            for (int tries = 0; sink->Input().CallCount(SinkCall::Receive) == 0 && tries < 10000; ++tries)
                Sleep(1);
        helper.reset(new ComThread([&graph, random]() mutable {
            random.Pause();
            for (SinkFilter* sink : graph.sinks)
                sink->Input().HoldReceive(false);
        }));
        break;
    case Release::GraphFirst:
        random.Pause();
        graph.graph->Release();
        graph.graph = nullptr;
        break;
    case Release::LastOnSeekingThread: {
        IMediaSeeking* seeking = graph.Seeking(0);
        seeking->AddRef();
        const REFERENCE_TIME longest = movie.expected[0].MediaDuration();
        helper.reset(new ComThread([seeking, longest, random]() mutable {
            for (int seek = 0; seek < 8; ++seek) {
                REFERENCE_TIME start = REFERENCE_TIME(random.Next(uint32_t(longest / 100000))) * 100000;
                seeking->SetPositions(&start, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
                random.Pause();
            }
            seeking->Release();
        }));
        break;
    }
    case Release::COUNT:
        break;
    }
    for (SinkFilter* sink : graph.sinks)
        if (sink->Input().EndOfStreamCount() == 0) {
            ++midStream;
            break;
        }
    graph.ReleaseSource();
    if (helper)
        helper->Join();

    // Once the last reference is gone no thread is left to deliver anything.
    std::vector<size_t> counts;
    for (SinkFilter* sink : graph.sinks)
        counts.push_back(sink->Input().SampleCount());
    Sleep(5);
    for (size_t i = 0; i < graph.sinks.size(); ++i)
        if (graph.sinks[i]->Input().SampleCount() != counts[i])
            problems.Add(where + ": samples still arrive after the filter has gone");
    const std::string problem = CheckWholeSamples(graph, movie);
    if (!problem.empty())
        problems.Add(where + ": " + problem);
}

TEST_F(MovieStress, FiltersReleasedWhileTheirPinsDeliverEndEveryThreadAndGiveEveryReferenceBack)
{
    Watchdog watchdog("filters released while streaming", 300);
    Problems problems;
    std::atomic<int> midStream{0};
    {
        std::vector<std::unique_ptr<ComThread>> drivers;
        for (size_t m = 0; m < movies.size(); ++m)
            drivers.emplace_back(new ComThread([&, m] {
                for (int round = 0; round < 4; ++round)
                    for (int how = 0; how < int(Release::COUNT); ++how)
                        ReleaseWhileStreaming(movies[m], Release(how), uint32_t(m * 100 + round * 10 + how), problems,
                                              midStream);
            }));
    }
    problems.Report();
    // At least the releases from within Receive come before any end of stream.
    EXPECT_GE(midStream.load(), 4 * int(movies.size()));
    RecordProperty("releasedMidStream", midStream.load());
    // ComTest's end checks that every pin, filter, sink and enumerator is gone.
}

// A graph that goes while a pin reports a failure to it: the pin's thread
// must not reach a graph that has left, nor read the filter's event sink as
// it is cleared. The first track of the movie is given a sample far larger
// than any buffer, so that its pin fails there, just after its end of stream.
TEST_F(MovieStress, GraphsReleasedAsTheirPinsReportAFailureAreNeverReachedAfterwards)
{
    const Movie& movie = movies[1];
    std::vector<uint8_t> bytes = ReadFileBytes(movie.path);
    const uint8_t type[] = {'s', 't', 's', 'z'};
    auto box = std::search(bytes.begin(), bytes.end(), std::begin(type), std::end(type));
    ASSERT_NE(bytes.end(), box);
    const size_t entry = size_t(box - bytes.begin()) + 16 + 4 * 12; // the thirteenth sample's size
    ASSERT_LT(entry + 4, bytes.size());
    const uint8_t huge[] = {0x01, 0x00, 0x00, 0x00}; // 16 MiB
    std::memcpy(&bytes[entry], huge, 4);
    const std::string path = TempPath("stress-oversized-sample.mp4");
    ASSERT_TRUE(WriteFileBytes(path, bytes));

    Watchdog watchdog("graphs released as their pins fail", 300);
    Problems problems;
    std::atomic<int> failures{0};
    {
        std::vector<std::unique_ptr<ComThread>> drivers;
        for (int d = 0; d < 4; ++d)
            drivers.emplace_back(new ComThread([&] {
                for (int round = 0; round < 10; ++round) {
                    MovieGraph graph;
                    if (graph.Load(path) != S_OK || graph.ConnectAll() != S_OK || graph.Run() != S_OK) {
                        problems.Add("the altered movie does not run");
                        return;
                    }
                    // The end of stream comes just before the failure is reported.
                    if (!graph.Sink(0).WaitForEndOfStream(1, kStreamTimeout))
                        problems.Add("the failing pin never ended its stream");
                    if (graph.Sink(0).SampleCount() != 12)
                        problems.Add("not the twelve samples before the oversized one");
                    failures += graph.graph->EventCount(EC_ERRORABORT);
                    graph.graph->Release();
                    graph.graph = nullptr;
                }
            }));
    }
    problems.Report();
    std::remove(path.c_str());
    RecordProperty("failuresSeen", failures.load());
}

} // namespace
