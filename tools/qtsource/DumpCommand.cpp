// qtsource dump: streams every pin of a movie to its file and samples.csv.
#include "tools/qtsource/Commands.h"
#include "tools/qtsource/DumpWriter.h"
#include "tools/qtsource/HresultText.h"
#include "tools/qtsource/MediaNames.h"
#include "tools/qtsource/MovieHost.h"
#include "tools/qtsource/Report.h"

#include <chrono>
#include <cstdio>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// A stream that delivers nothing for this long has stalled.
constexpr auto StallLimit = std::chrono::seconds(60);
// How long one wait for samples lasts when no pin had any.
constexpr DWORD PollMilliseconds = 20;

// What every pin's sink has counted so far.
std::vector<SampleTotals> SinkTotals(std::vector<HostPin>& pins)
{
    std::vector<SampleTotals> totals;
    for (HostPin& pin : pins)
        totals.push_back(pin.sink->Input().Totals());
    return totals;
}

size_t SampleSum(const std::vector<SampleTotals>& totals)
{
    size_t samples = 0;
    for (const SampleTotals& total : totals)
        samples += total.samples;
    return samples;
}

// The progress line on a terminal: samples so far and the furthest time.
class Progress {
public:
    Progress() : shown(isatty(fileno(stderr)) != 0) {}

    void Update(std::vector<HostPin>& pins, bool force = false)
    {
        if (!shown || (!force && Clock::now() - last < std::chrono::milliseconds(200)))
            return;
        last = Clock::now();
        const std::vector<SampleTotals> totals = SinkTotals(pins);
        REFERENCE_TIME furthest = 0;
        for (const SampleTotals& total : totals)
            furthest = total.lastStop > furthest ? total.lastStop : furthest;
        std::fprintf(stderr, "\r%zu samples, %.1f s", SampleSum(totals), double(furthest) / 1e7);
        std::fflush(stderr);
    }

    void End()
    {
        if (shown)
            std::fprintf(stderr, "\n");
    }

private:
    bool shown;
    Clock::time_point last{};
};

// Notes whether anything arrived since the last look, and says when nothing
// has for too long.
class StallWatch {
public:
    bool Stalled(std::vector<HostPin>& pins)
    {
        const size_t now = SampleSum(SinkTotals(pins));
        if (now != samples) {
            samples = now;
            lastChange = Clock::now();
        }
        return Clock::now() - lastChange > StallLimit;
    }

private:
    size_t samples = 0;
    Clock::time_point lastChange = Clock::now();
};

// Writes what each pin delivered until every pin has ended its stream.
HRESULT Drain(std::vector<HostPin>& pins, DumpWriter& writer, std::string* where)
{
    Progress progress;
    StallWatch watch;
    std::vector<bool> ended(pins.size(), false);
    size_t endedCount = 0;
    while (endedCount < pins.size()) {
        bool any = false;
        for (size_t i = 0; i < pins.size(); ++i) {
            if (ended[i])
                continue;
            bool done = false;
            std::vector<ReceivedSample> samples = pins[i].sink->Input().TakeSamples(0, &done);
            any = any || !samples.empty() || done;
            RETURN_IF_FAILED(writer.Write(i, samples, where));
            if (done) {
                ended[i] = true;
                ++endedCount;
            }
        }
        progress.Update(pins);
        if (any)
            continue;
        if (watch.Stalled(pins)) {
            progress.End();
            return VFW_E_TIMEOUT;
        }
        for (size_t i = 0; i < pins.size(); ++i) {
            if (ended[i])
                continue;
            // Waits for this pin only; what it takes is written next round.
            bool done = false;
            std::vector<ReceivedSample> samples = pins[i].sink->Input().TakeSamples(PollMilliseconds, &done);
            RETURN_IF_FAILED(writer.Write(i, samples, where));
            if (done) {
                ended[i] = true;
                ++endedCount;
            }
            break;
        }
    }
    progress.Update(pins, true);
    progress.End();
    return S_OK;
}

// Counting only: the sinks keep the totals, so this only waits for every end
// of stream, without waking for each sample.
HRESULT WaitForEnds(std::vector<HostPin>& pins)
{
    Progress progress;
    StallWatch watch;
    for (HostPin& pin : pins) {
        while (!pin.sink->Input().WaitForEndOfStream(1, 200)) {
            progress.Update(pins);
            if (watch.Stalled(pins)) {
                progress.End();
                return VFW_E_TIMEOUT;
            }
        }
    }
    progress.Update(pins, true);
    progress.End();
    return S_OK;
}

// "pin 1 "QT H264 Out"", as the summary names pins.
std::string PinText(const std::vector<HostPin>& pins, size_t pin)
{
    if (pin >= pins.size())
        return "a pin";
    return "pin " + std::to_string(pin + 1) + " \"" + pins[pin].name + "\"";
}

// What the failure line says of the pins that failed: the first one with its
// result, the others in the note.
void DescribeStreamErrors(const std::vector<HostPin>& pins, const std::vector<StreamError>& errors, std::string* what,
                          std::string* others)
{
    *what = PinText(pins, errors[0].pin) + " failed";
    for (size_t i = 1; i < errors.size(); ++i)
        *others +=
            (others->empty() ? "also " : ", ") + PinText(pins, errors[i].pin) + ": " + HresultText(errors[i].result);
}

void PrintSummary(std::vector<HostPin>& pins)
{
    const std::vector<SampleTotals> totals = SinkTotals(pins);
    for (size_t i = 0; i < pins.size(); ++i)
        std::printf("pin %u \"%s\": %zu samples, %llu bytes, last stop %lld\n", unsigned(i + 1),
                    pins[i].name.c_str(), totals[i].samples, totals[i].bytes,
                    static_cast<long long>(totals[i].lastStop));
}

} // namespace

int RunDump(const CommandLine& line)
{
    MovieHost host;
    if (FAILED(host.Open(line.movie)))
        return ExitFailure;
    HRESULT result = S_OK;
    std::string where;
    if (FAILED(result = host.ConnectAll(line.countOnly))) {
        ReportFailure(line.movie, "cannot connect the pins", result);
        return ExitFailure;
    }
    if (line.seek && FAILED(result = host.SeekAll(line.startSeconds))) {
        ReportFailure(line.movie, "cannot seek to the start", result);
        return ExitFailure;
    }

    std::vector<HostPin>& pins = host.Pins();
    std::vector<PayloadFormat> payloads;
    for (const HostPin& pin : pins)
        payloads.push_back(PayloadFormatOf(pin.type));
    DumpWriter writer(line.countOnly ? std::string() : line.folder, pins.size());
    // A failure after the first file is made takes them all away again.
    auto fail = [&](const std::string& subject, const std::string& what, HRESULT failure,
                    const std::string& more = std::string()) {
        host.Stop();
        bool removed = writer.Discard();
        std::string note = more;
        if (!line.countOnly)
            note += (note.empty() ? "" : "; ") +
                    (removed ? std::string("no output left") : "partial output left in " + line.folder);
        ReportFailure(subject, what, failure, note.empty() ? note : "(" + note + ")");
        return ExitFailure;
    };
    if (FAILED(result = writer.Open(payloads, &where)))
        return fail(where, "cannot write", result);
    if (FAILED(result = host.Run()))
        return fail(line.movie, "cannot run the filter", result);
    result = line.countOnly ? WaitForEnds(pins) : Drain(pins, writer, &where);
    if (FAILED(result))
        return fail(result == VFW_E_TIMEOUT ? line.movie : where,
                    result == VFW_E_TIMEOUT ? "streaming stalled" : "cannot write", result);
    result = host.Stop();
    // The pins' threads have ended, and every error they reported is in: a
    // pin that failed ended its stream early, so what it delivered is cut.
    const std::vector<StreamError> errors = host.StreamErrors();
    if (!errors.empty()) {
        std::string what, others;
        DescribeStreamErrors(pins, errors, &what, &others);
        return fail(line.movie, what, errors[0].result, others);
    }
    if (FAILED(result))
        return fail(line.movie, "cannot stop the filter", result);
    if (FAILED(result = writer.Finish(&where)))
        return fail(where, "cannot write", result);
    PrintSummary(pins);
    return ExitSuccess;
}
