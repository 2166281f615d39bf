// Seek latency in process: with the filter running, the time from a new start
// position set on one pin's IMediaSeeking to the first sample of the new
// segment at that pin's sink. The filter is made through the module, as a
// host makes it; the movie is the first argument that is not a benchmark flag.
//
//   seek_latency MOVIE [--benchmark_...]
#include "tests/support/SinkFilter.h"
#include "tools/qtsource/MovieHost.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <string>
#include <thread>

namespace {

std::string moviePath;

// Waits for the new segment a seek starts with, then for its first sample.
bool WaitForFirstSampleOfSegment(SinkPin& sink)
{
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (;;) {
        std::vector<ReceivedSegment> segments = sink.Segments();
        if (!segments.empty())
            return sink.WaitForSamples(segments.back().samplesBefore + 1, 5000);
        if (std::chrono::steady_clock::now() > limit)
            return false;
        std::this_thread::yield();
    }
}

void SeekToFirstSample(benchmark::State& state)
{
    MovieHost host;
    // Open prints why a movie did not load itself.
    HRESULT result = host.Open(moviePath);
    if (SUCCEEDED(result))
        result = host.ConnectAll(true);
    // Each sink takes one sample after each seek and then answers that it
    // wants no more, as a renderer waiting for its clock would hold the
    // thread: the pins do not race on through the movie between seeks.
    for (HostPin& pin : host.Pins())
        if (pin.sink)
            pin.sink->Input().LimitSamples(1);
    if (SUCCEEDED(result))
        result = host.Run();
    const size_t index = size_t(state.range(0));
    if (FAILED(result) || index >= host.Pins().size()) {
        state.SkipWithError("the movie cannot be opened and run, or has no such pin");
        return;
    }
    HostPin& pin = host.Pins()[index];
    ComPtr<IMediaSeeking> seeking;
    LONGLONG duration = 0;
    if (FAILED(pin.pin.As(IID_IMediaSeeking, &seeking)) || FAILED(seeking->GetDuration(&duration)) || duration <= 0) {
        state.SkipWithError("the pin cannot seek");
        return;
    }
    state.SetLabel(pin.name);
    SinkPin& sink = pin.sink->Input();
    std::mt19937_64 random(1);
    for (auto _ : state) {
        state.PauseTiming();
        LONGLONG start = LONGLONG(random() % uint64_t(duration));
        sink.ClearRecords();
        state.ResumeTiming();
        if (FAILED(seeking->SetPositions(&start, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning)) ||
            !WaitForFirstSampleOfSegment(sink)) {
            state.SkipWithError("no sample came after the seek");
            return;
        }
    }
    host.Stop();
}

} // namespace

BENCHMARK(SeekToFirstSample)->DenseRange(0, 1)->UseRealTime()->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: seek_latency MOVIE [--benchmark_...]\n");
        return 2;
    }
    moviePath = argv[1];
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
