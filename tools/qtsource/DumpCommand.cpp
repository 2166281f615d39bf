// qtsource dump: streams every pin of a movie to its file and samples.csv.
#include "tools/qtsource/Commands.h"
#include "tools/qtsource/DumpWriter.h"
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

// The progress line on a terminal: samples so far and the furthest time.
class Progress {
public:
    Progress() : shown(isatty(fileno(stderr)) != 0) {}

    void Update(const std::vector<PinTotals>& totals, bool force = false)
    {
        if (!shown || (!force && Clock::now() - last < std::chrono::milliseconds(200)))
            return;
        last = Clock::now();
        size_t samples = 0;
        REFERENCE_TIME furthest = 0;
        for (const PinTotals& total : totals) {
            samples += total.samples;
            furthest = total.lastStop > furthest ? total.lastStop : furthest;
        }
        std::fprintf(stderr, "\r%zu samples, %.1f s", samples, double(furthest) / 1e7);
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

// Writes what each pin delivered until every pin has ended its stream.
HRESULT Drain(std::vector<HostPin>& pins, DumpWriter& writer, std::string* where)
{
    Progress progress;
    std::vector<bool> ended(pins.size(), false);
    size_t endedCount = 0;
    Clock::time_point lastSample = Clock::now();
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
        progress.Update(writer.Totals());
        if (any) {
            lastSample = Clock::now();
            continue;
        }
        if (Clock::now() - lastSample > StallLimit) {
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
    progress.Update(writer.Totals(), true);
    progress.End();
    return S_OK;
}

void PrintSummary(const std::vector<HostPin>& pins, const std::vector<PinTotals>& totals)
{
    for (size_t i = 0; i < pins.size(); ++i)
        std::printf("pin %u \"%s\": %zu samples, %llu bytes, last stop %lld\n", unsigned(i + 1),
                    pins[i].name.c_str(), totals[i].samples, totals[i].bytes,
                    static_cast<long long>(totals[i].lastStop));
}

} // namespace

int RunDump(const CommandLine& line)
{
    MovieHost host;
    std::string where;
    HRESULT result = host.Open(line.movie, &where);
    if (FAILED(result)) {
        ReportFailure(where, "cannot load", result);
        return ExitFailure;
    }
    if (FAILED(result = host.ConnectAll(!line.countOnly))) {
        ReportFailure(line.movie, "cannot connect the pins", result);
        return ExitFailure;
    }
    if (line.seek && FAILED(result = host.SeekAll(line.startSeconds))) {
        ReportFailure(line.movie, "cannot seek to the start", result);
        return ExitFailure;
    }

    std::vector<HostPin>& pins = host.Pins();
    std::vector<std::string> extensions;
    for (const HostPin& pin : pins)
        extensions.push_back(PayloadExtension(pin.type));
    DumpWriter writer(line.countOnly ? std::string() : line.folder, pins.size());
    // A failure after the first file is made takes them all away again.
    auto fail = [&](const std::string& subject, const std::string& what, HRESULT failure) {
        host.Stop();
        bool removed = writer.Discard();
        ReportFailure(subject, what, failure,
                      line.countOnly ? "" : removed ? "(no output left)" : "(partial output left in " + line.folder + ")");
        return ExitFailure;
    };
    if (FAILED(result = writer.Open(extensions, &where)))
        return fail(where, "cannot write", result);
    if (FAILED(result = host.Run()))
        return fail(line.movie, "cannot run the filter", result);
    if (FAILED(result = Drain(pins, writer, &where)))
        return fail(result == VFW_E_TIMEOUT ? line.movie : where,
                    result == VFW_E_TIMEOUT ? "streaming stalled" : "cannot write", result);
    if (FAILED(result = host.Stop()))
        return fail(line.movie, "cannot stop the filter", result);
    if (FAILED(result = writer.Finish(&where)))
        return fail(where, "cannot write", result);
    PrintSummary(pins, writer.Totals());
    return ExitSuccess;
}
