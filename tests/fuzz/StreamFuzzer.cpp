// The filter on arbitrary bytes: every input is loaded as a movie, each pin
// is connected to a test sink and the graph runs until every pin has ended
// its stream or delivered its first samples; then the graph stops and is torn
// down. Nothing may crash, hang, touch memory outside its buffers or leak (the
// sanitizers and libFuzzer watch that), every framework object must be gone
// afterwards, and what the pins delivered must keep the rules of the hostile
// movie suite; any breach ends the run as a finding.
#include "streams/AdtsHeader.h"
#include "tests/fuzz/FuzzInput.h"
#include "tests/support/MovieGraph.h"
#include "tests/support/Watchdog.h"

#include <chrono>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

// Samples each pin may deliver: enough to cross chunk boundaries and the
// first jumps of the size table, few enough to keep an input short.
constexpr size_t kSamplesPerPin = 64;
// A pin that has neither delivered them nor ended its stream by then hangs.
constexpr DWORD kStreamMilliseconds = 5000;
// Loading, stopping and tearing down take far less than this.
constexpr int kInputSeconds = 8;

[[noreturn]] void Finding(const char* format, ...)
{
    std::va_list arguments;
    va_start(arguments, format);
    std::fprintf(stderr, "stream fuzzer: ");
    std::vfprintf(stderr, format, arguments);
    std::fprintf(stderr, "\n");
    va_end(arguments);
    std::abort();
}

constexpr size_t kWholePin = SIZE_MAX;

void Expect(bool holds, const char* what, int pin = -1, size_t sample = kWholePin)
{
    if (holds)
        return;
    if (pin < 0)
        Finding("%s", what);
    if (sample == kWholePin)
        Finding("pin %d: %s", pin, what);
    Finding("pin %d, sample %zu: %s", pin, sample, what);
}

// What one pin delivered: one new segment from the start at the normal rate
// ahead of every sample; the samples stamped in steps of one average sample
// from the segment's start, or, when the track's tables time them, with stamps
// that never go down, each ending where the next begins, preroll exactly when
// it ends by 0; the first one after the start marked as a discontinuity,
// AAC frames behind an ADTS header that gives their length. The stamps are
// compared in unsigned arithmetic: a hostile duration may wrap them, which
// the pin computes the same way.
void CheckSamples(MovieGraph& movie, int pin)
{
    MovieOutputPin* output = movie.Pin(pin);
    const std::vector<ReceivedSample> samples = movie.Sink(pin).Samples();
    const uint64_t step = uint64_t(output->AverageSampleDuration());
    const bool timed = output->TimedByTables();
    const bool aac = output->Kind() == StreamKind::Aac;
    const std::vector<ReceivedSegment> segments = movie.Sink(pin).Segments();
    Expect(segments.size() == 1, "not one new segment", pin);
    Expect(segments[0].samplesBefore == 0, "a sample ahead of the new segment", pin);
    Expect(segments[0].start == 0 && segments[0].rate == 1.0, "the segment is not the start at the normal rate", pin);
    for (size_t k = 0; k < samples.size(); ++k) {
        const ReceivedSample& sample = samples[k];
        Expect(sample.timeResult == S_OK, "no time stamps", pin, k);
        if (timed) {
            Expect(k == 0 || samples[k - 1].stop == sample.start, "start stamp not the last stop", pin, k);
            Expect(sample.start <= sample.stop, "stop stamp before the start", pin, k);
            Expect(sample.preroll == (sample.stop <= 0), "preroll flag wrong", pin, k);
        } else {
            Expect(uint64_t(sample.start) == k * step, "start stamp off its step", pin, k);
            Expect(uint64_t(sample.stop) == (k + 1) * step, "stop stamp off its step", pin, k);
            Expect(sample.syncPoint, "not a sync point", pin, k);
        }
        Expect(sample.discontinuity == (k == 0), "discontinuity flag wrong", pin, k);
        Expect(sample.bytes.size() <= size_t(MovieOutputPin::kBufferSize), "longer than its buffer", pin, k);
        if (aac) {
            Expect(sample.bytes.size() >= kAdtsHeaderSize, "AAC frame without its header", pin, k);
            const uint8_t* header = sample.bytes.data();
            const size_t frameLength = (size_t(header[3] & 0x03) << 11) | (size_t(header[4]) << 3) | (header[5] >> 5);
            Expect(header[0] == 0xFF && (header[1] & 0xF0) == 0xF0, "AAC header without its sync word", pin, k);
            Expect(frameLength == sample.bytes.size(), "AAC header length is not the frame's", pin, k);
        }
    }
}

void StreamInput(const char* path)
{
    MovieGraph movie;
    const HRESULT loaded = movie.Load(path);
    Expect(loaded == S_OK || loaded == E_FAIL, "Load answered neither S_OK nor E_FAIL");
    Expect((loaded == S_OK) == (movie.PinCount() > 0), "Load's answer disagrees with the pins it made");
    Expect(movie.ConnectAll() == S_OK, "a pin did not connect to an accepting sink");
    for (int i = 0; i < movie.PinCount(); ++i)
        movie.Sink(i).LimitSamples(kSamplesPerPin);
    Expect(movie.Run() == S_OK, "the graph did not run");

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStreamMilliseconds);
    for (int i = 0; i < movie.PinCount(); ++i) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (!movie.Sink(i).WaitForEndOfStreamOrSamples(kSamplesPerPin, DWORD(left.count() > 0 ? left.count() : 0)))
            Finding("pin %d neither delivered %zu samples nor ended its stream within %u ms (%zu delivered)", i,
                    kSamplesPerPin, unsigned(kStreamMilliseconds), movie.Sink(i).SampleCount());
    }
    Expect(movie.Stop() == S_OK, "the graph did not stop");

    Expect(movie.graph->EventCount(EC_ERRORABORT) <= movie.PinCount(), "more aborts than pins");
    for (int i = 0; i < movie.PinCount(); ++i) {
        const size_t delivered = movie.Sink(i).SampleCount();
        Expect(delivered <= kSamplesPerPin, "the sink kept more samples than it allowed", i);
        Expect(delivered <= size_t(movie.Pin(i)->SampleCount()), "more samples than the track holds", i);
        // A pin that was refused its last sample ends without an end of
        // stream; any other sends exactly one.
        const int expectedEnds = delivered < kSamplesPerPin ? 1 : 0;
        Expect(movie.Sink(i).EndOfStreamCount() == expectedEnds, "end of stream missing or repeated", i);
        CheckSamples(movie, i);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Samples arrive on the pins' threads: the process is free-threaded.
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static FuzzInput input;
    const char* path = input.Write(data, size);
    if (!path)
        Finding("the input could not be written to a file");
    const LONG liveAtStart = LiveObjectCount;
    {
        Watchdog watchdog("streaming one fuzz input", kInputSeconds);
        StreamInput(path);
    }
    if (LiveObjectCount != liveAtStart)
        Finding("%d framework objects outlived the graph", int(LiveObjectCount - liveAtStart));
    return 0;
}
