// qtsource as a user runs it: what it prints, the files it writes, and how it
// fails. Each test runs the built program as a child process.
#include "framework/WideText.h"
#include "platform/TestHooks.h"
#include "tests/support/BoxBuilder.h"
#include "tests/support/ComTest.h"
#include "tests/support/Fixtures.h"
#include "tests/support/HostileMovies.h"
#include "tests/support/MovieBuilder.h"
#include "tests/support/MovieGraph.h"
#include "tests/tools/ProgramRun.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>

namespace {

const char TwoPinMovie[] = "h264-aac-faststart.mp4";
// Ten seconds: long enough to seek into.
const char LongMovie[] = "h264-aac-chunks.mp4";

struct Row {
    int pin = 0;
    long long index = 0, start = 0, stop = 0;
    int sync = 0, discontinuity = 0;
    long long bytes = 0;
    int preroll = 0;
};

// samples.csv read back, its header checked; rows grouped by pin number.
std::map<int, std::vector<Row>> ReadTable(const std::string& path)
{
    std::map<int, std::vector<Row>> pins;
    std::string text = ReadWholeFile(path);
    EXPECT_EQ(std::string::npos, text.find('\r')) << "rows end in \\n alone";
    std::vector<std::string> lines = SplitLines(text);
    EXPECT_FALSE(lines.empty());
    if (lines.empty())
        return pins;
    EXPECT_EQ("pin,index,start,stop,sync,discontinuity,bytes,preroll", lines[0]);
    for (size_t i = 1; i < lines.size(); ++i) {
        Row row;
        char end = 0;
        int fields = std::sscanf(lines[i].c_str(), "%d,%lld,%lld,%lld,%d,%d,%lld,%d%c", &row.pin, &row.index,
                                 &row.start, &row.stop, &row.sync, &row.discontinuity, &row.bytes, &row.preroll, &end);
        EXPECT_EQ(8, fields) << "row " << i << ": " << lines[i];
        pins[row.pin].push_back(row);
    }
    return pins;
}

long long TotalBytes(const std::vector<Row>& rows)
{
    long long total = 0;
    for (const Row& row : rows)
        total += row.bytes;
    return total;
}

long long FileSize(const std::string& path)
{
    std::error_code error;
    std::uintmax_t size = std::filesystem::file_size(std::filesystem::u8path(path), error);
    return error ? -1 : static_cast<long long>(size);
}

// A fresh output folder name; RemoveOutput takes it away with its files.
void RemoveOutput(const std::string& folder);

std::string OutputFolder(const std::string& name)
{
    std::string folder = TempPath("qtsource-" + name);
    RemoveOutput(folder);
    return folder;
}

void RemoveOutput(const std::string& folder)
{
    std::error_code error;
    std::filesystem::remove_all(std::filesystem::u8path(folder), error);
}

void MakeFolder(const std::string& folder)
{
    std::error_code error;
    ASSERT_TRUE(std::filesystem::create_directory(std::filesystem::u8path(folder), error)) << folder;
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(nullptr, file) << path;
    if (!bytes.empty())
        std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}

// A failure is one line on standard error naming the subject and the
// HRESULT as 0x and eight hex digits followed by its name.
void ExpectOneFailureLine(const ProgramRun& run, const std::string& subject, const std::string& hresult)
{
    std::vector<std::string> lines = SplitLines(run.err);
    ASSERT_EQ(1u, lines.size()) << run.err;
    EXPECT_NE(std::string::npos, lines[0].find(subject)) << lines[0];
    EXPECT_NE(std::string::npos, lines[0].find(hresult)) << lines[0];
    EXPECT_TRUE(run.out.empty()) << run.out;
}

#define REQUIRE_FIXTURE(variable, name)                                                                                \
    std::string variable = FixturePath(name);                                                                          \
    if (variable.empty())                                                                                              \
        GTEST_SKIP() << "fixture movie missing: " << (name);

struct PinReport {
    std::string name;
    HRESULT result; // S_OK when the pin reported no error
};

// What each pin of a movie reports to its graph when it streams alone into a
// sink of the test's own: alone, so that any error event is that pin's.
std::vector<PinReport> ReportsOfEachPin(const std::string& path)
{
    std::vector<PinReport> reports;
    for (int pin = 0;; ++pin) {
        MovieGraph movie;
        if (movie.Load(path) != S_OK || pin >= movie.PinCount())
            return reports;
        movie.Connect(movie.PinInterface(pin));
        movie.Run();
        // Long enough for the largest fragment a movie may hold (2^18 samples),
        // which takes tens of seconds in Wine's run time.
        EXPECT_TRUE(movie.WaitForEndOfStreams(1, 180000)) << "pin " << pin + 1 << " never ended its stream";
        movie.Stop();
        PinReport report = {NarrowText(movie.Pin(pin)->Name()), S_OK};
        for (const GraphEvent& event : movie.graph->Events())
            if (event.code == EC_ERRORABORT)
                report.result = HRESULT(event.param1);
        reports.push_back(report);
    }
}

TEST(QtsourceInfoTest, NamesTheFileTracksAndEveryPinWithItsTypes)
{
    REQUIRE_FIXTURE(movie, TwoPinMovie);
    ProgramRun run = RunQtsource({"info", movie});
    ASSERT_EQ(0, run.exitStatus) << run.err;
    EXPECT_TRUE(run.err.empty()) << run.err;
    std::vector<std::string> lines = SplitLines(run.out);
    ASSERT_GE(lines.size(), 4u) << run.out;
    EXPECT_EQ("file: " + movie, lines[0]);
    EXPECT_EQ("tracks: 2", lines[1]);

    std::vector<std::string> pinLines;
    for (const std::string& line : lines)
        if (line.compare(0, 4, "pin ") == 0)
            pinLines.push_back(line);
    ASSERT_EQ(2u, pinLines.size()) << run.out;
    // Number, then the name in double quotes, then major, sub and format type.
    EXPECT_EQ(0u, pinLines[0].find("pin 1 \"")) << pinLines[0];
    EXPECT_NE(std::string::npos, pinLines[0].find("\": Video H264 AvcStreamFormat, format ")) << pinLines[0];
    EXPECT_EQ(0u, pinLines[1].find("pin 2 \"")) << pinLines[1];
    EXPECT_NE(std::string::npos, pinLines[1].find("\": Audio MPEG_ADTS_AAC WaveFormatEx, format ")) << pinLines[1];
    // Then the format size and the duration the edit lists give: the
    // picture a second, the sound a second less its encoder delay.
    EXPECT_NE(std::string::npos, pinLines[0].find(" bytes, duration 1.000000 s")) << pinLines[0];
    EXPECT_NE(std::string::npos, pinLines[1].find(" bytes, duration 1.0")) << pinLines[1];
}

// The data chunk of a WAV file whose header qtsource wrote.
std::string WavData(const std::string& wav)
{
    const size_t at = wav.find("data", 12);
    if (at == std::string::npos || wav.size() < at + 8)
        return "";
    const uint32_t size = uint32_t(uint8_t(wav[at + 4])) | uint32_t(uint8_t(wav[at + 5])) << 8 |
                          uint32_t(uint8_t(wav[at + 6])) << 16 | uint32_t(uint8_t(wav[at + 7])) << 24;
    return wav.substr(at + 8, size);
}

TEST(QtsourceDumpTest, EachKindsPayloadIsWhatFfmpegReadsFromTheMovie)
{
    // PCM as ffmpeg decodes it, inside a WAV file; compressed sound as stored.
    struct Case {
        const char* movie;
        const char* file;
        const char* expected;
    } cases[] = {
        {"pcm-s16le.mov", "1.wav", "pcm"},     {"pcm-s16be.mov", "1.wav", "pcm"}, {"pcm-s24be.mov", "1.wav", "pcm"},
        {"pcm-s24le-96k.mov", "1.wav", "pcm"}, {"pcm-f64be.mov", "1.wav", "pcm"}, {"pcm-s8.mov", "1.wav", "pcm"},
        {"pcm-s16le-6ch.mov", "1.wav", "pcm"}, {"mp3.mov", "1.mp3", "raw"},       {"mp2.mp4", "1.mp2", "raw"},
        {"ac3.mp4", "1.ac3", "raw"},           {"eac3.mp4", "1.eac3", "raw"},     {"frag-mp3.mp4", "1.mp3", "raw"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.movie);
        const std::string movie = FixturePath(c.movie);
        ASSERT_FALSE(movie.empty());
        const std::string folder = OutputFolder("kinds");
        ProgramRun run = RunQtsource({"dump", movie, "-o", folder});
        ASSERT_EQ(0, run.exitStatus) << run.err;
        const std::string payload = ReadWholeFile(folder + "/" + c.file);
        const std::string expected = ReadWholeFile(movie + ".s0." + c.expected);
        ASSERT_FALSE(expected.empty());
        EXPECT_TRUE((std::string(c.expected) == "pcm" ? WavData(payload) : payload) == expected);
        // No delivered piece of sound is longer than 100 ms.
        const std::map<int, std::vector<Row>> rows = ReadTable(folder + "/samples.csv");
        for (const Row& row : rows.at(1))
            EXPECT_LE(row.stop - row.start, 1000000);
        RemoveOutput(folder);
    }
}

TEST(QtsourceDumpTest, FilesHoldEverySampleTheTableCountsWithItsTimes)
{
    REQUIRE_FIXTURE(movie, TwoPinMovie);
    std::string folder = OutputFolder("dump");
    ProgramRun run = RunQtsource({"dump", movie, "-o", folder});
    ASSERT_EQ(0, run.exitStatus) << run.err;

    std::map<int, std::vector<Row>> pins = ReadTable(folder + "/samples.csv");
    ASSERT_EQ(2u, pins.size());
    EXPECT_EQ(TotalBytes(pins[1]), FileSize(folder + "/1.h264"));
    EXPECT_EQ(TotalBytes(pins[2]), FileSize(folder + "/2.aac"));

    std::vector<std::string> summary = SplitLines(run.out);
    ASSERT_EQ(2u, summary.size()) << run.out;
    for (auto& [pin, rows] : pins) {
        ASSERT_FALSE(rows.empty());
        for (size_t k = 0; k < rows.size(); ++k) {
            SCOPED_TRACE("pin " + std::to_string(pin) + " row " + std::to_string(k));
            EXPECT_EQ(static_cast<long long>(k), rows[k].index);
            // Each sample ends where the next begins; what ends by 0 (the
            // sound's encoder delay) is preroll.
            EXPECT_LT(rows[k].start, rows[k].stop);
            if (k + 1 < rows.size()) {
                EXPECT_EQ(rows[k + 1].start, rows[k].stop);
            }
            EXPECT_EQ(rows[k].stop <= 0 ? 1 : 0, rows[k].preroll);
            EXPECT_EQ(k == 0 ? 1 : 0, rows[k].discontinuity);
            EXPECT_GT(rows[k].bytes, 0);
            if (testing::Test::HasFailure())
                break;
        }
        // The end summary agrees with the table.
        char expected[64];
        std::snprintf(expected, sizeof expected, ": %zu samples, %lld bytes, last stop %lld", rows.size(),
                      TotalBytes(rows), rows.back().stop);
        EXPECT_NE(std::string::npos, summary[size_t(pin - 1)].find(expected)) << summary[size_t(pin - 1)];
    }
    // Each H.264 sample starts with a start code; each AAC one with an ADTS sync word.
    std::string video = ReadWholeFile(folder + "/1.h264");
    std::string audio = ReadWholeFile(folder + "/2.aac");
    ASSERT_GE(video.size(), 4u);
    EXPECT_EQ(std::string("\0\0\0\1", 4), video.substr(0, 4));
    ASSERT_GE(audio.size(), 2u);
    EXPECT_EQ(0xFF, static_cast<unsigned char>(audio[0]));
    EXPECT_EQ(0xF0, static_cast<unsigned char>(audio[1]) & 0xF6);
    RemoveOutput(folder);
}

TEST(QtsourceDumpTest, StartSecondsRestartsEveryPinFromItsSyncSampleWithADiscontinuity)
{
    REQUIRE_FIXTURE(movie, LongMovie);
    std::string whole = OutputFolder("whole");
    std::string later = OutputFolder("from-5");
    ASSERT_EQ(0, RunQtsource({"dump", movie, "-o", whole}).exitStatus);
    ProgramRun run = RunQtsource({"dump", movie, "--start", "5", "-o", later});
    ASSERT_EQ(0, run.exitStatus) << run.err;

    std::map<int, std::vector<Row>> all = ReadTable(whole + "/samples.csv");
    std::map<int, std::vector<Row>> rest = ReadTable(later + "/samples.csv");
    ASSERT_EQ(2u, rest.size());
    for (auto& [pin, rows] : rest) {
        SCOPED_TRACE("pin " + std::to_string(pin));
        ASSERT_FALSE(rows.empty());
        EXPECT_EQ(0, rows[0].index);
        EXPECT_EQ(1, rows[0].sync);
        EXPECT_EQ(1, rows[0].discontinuity);
        // The samples before five seconds are in the payload as preroll, the
        // first shown one holds 0.
        size_t shown = 0;
        while (shown < rows.size() && rows[shown].preroll)
            ++shown;
        ASSERT_LT(shown, rows.size());
        EXPECT_LE(rows[shown].start, 0);
        EXPECT_GT(rows[shown].stop, 0);
        // Five seconds of a movie of more than that are gone, not the whole of it.
        EXPECT_LT(rows.size(), all[pin].size());
        EXPECT_GT(rows.size(), all[pin].size() / 4);
        // The samples are the tail of the whole dump, from the sample seeked to.
        long long skipped = static_cast<long long>(all[pin].size() - rows.size());
        EXPECT_GE(skipped, 1);
        // After the first sample (which may carry the parameter sets again)
        // the sizes are those of the whole dump's tail.
        for (size_t i = 1; i < rows.size(); ++i)
            EXPECT_EQ(all[pin][size_t(skipped) + i].bytes, rows[i].bytes) << "row " << i;
    }
    RemoveOutput(whole);
    RemoveOutput(later);
}

TEST(QtsourceDumpTest, NullCountsWhatADumpWritesAndWritesNothing)
{
    REQUIRE_FIXTURE(movie, TwoPinMovie);
    std::string folder = OutputFolder("null");
    std::string written = OutputFolder("counted");
    ProgramRun counted = RunQtsource({"dump", movie, "--null", "-o", folder});
    ASSERT_EQ(0, counted.exitStatus) << counted.err;
    EXPECT_FALSE(PathExists(folder));
    ProgramRun dumped = RunQtsource({"dump", movie, "-o", written});
    ASSERT_EQ(0, dumped.exitStatus) << dumped.err;
    EXPECT_EQ(dumped.out, counted.out);
    EXPECT_EQ(2u, SplitLines(counted.out).size()) << counted.out;
    RemoveOutput(written);
}

class QtsourceStreamFailureTest : public ComTest {};

// Each hostile movie that makes a pin fail part-way: the dump must not end as
// a success with that pin's stream cut short.
TEST_F(QtsourceStreamFailureTest, ADumpWhosePinFailsNamesThePinAndItsResultAndLeavesNoFiles)
{
    const std::string movie = TempPath("qtsource-hostile.mp4");
    const std::string folder = OutputFolder("hostile");
    int failing = 0;
    for (const HostileMovie& hostile : HostileMovies()) {
        ASSERT_TRUE(WriteFileBytes(movie, hostile.bytes));
        const std::vector<PinReport> reports = ReportsOfEachPin(movie);
        size_t failed = 0;
        while (failed < reports.size() && SUCCEEDED(reports[failed].result))
            ++failed;
        if (failed == reports.size())
            continue;
        ++failing;
        SCOPED_TRACE(hostile.name);
        ProgramRun run = RunQtsource({"dump", movie, "-o", folder});
        EXPECT_EQ(1, run.exitStatus) << run.err;
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%08X ", static_cast<unsigned>(reports[failed].result));
        const std::string named =
            movie + ": pin " + std::to_string(failed + 1) + " \"" + reports[failed].name + "\" failed: " + hex;
        ExpectOneFailureLine(run, named, "(no output left)");
        // The result's name follows its hex code.
        const size_t at = run.err.find(named);
        EXPECT_TRUE(at != std::string::npos && std::isupper(static_cast<unsigned char>(run.err[at + named.size()])))
            << run.err;
        std::error_code error;
        EXPECT_TRUE(std::filesystem::is_empty(std::filesystem::u8path(folder), error)) << "files left behind";
        RemoveOutput(folder);
    }
    EXPECT_GT(failing, 0) << "no hostile movie makes a pin fail: nothing was tested";
    std::remove(movie.c_str());
}

TEST(QtsourceFailureTest, MoviesThatCannotBeLoadedSayWhyInOneLineAndExitOne)
{
    std::string missing = TempPath("qtsource-no-such-movie.mp4");
    std::remove(missing.c_str());
    std::string folderMovie = OutputFolder("folder.mp4");
    MakeFolder(folderMovie);
    std::string notMovie = TempPath("qtsource-not-a-movie.mp4");
    WriteFile(notMovie, std::vector<uint8_t>(4096, 'x'));
    // A text track only: a movie, but nothing a pin can stream.
    MovieSpec spec;
    spec.tracks.resize(1);
    spec.tracks[0].handlerType = "text";
    spec.tracks[0].format = "text";
    std::string textOnly = TempPath("qtsource-text-only.mov");
    WriteFile(textOnly, BuildMovie(spec));
    const struct {
        std::string movie;
        std::string cause;
    } cases[] = {
        {missing, "no such file"},
        {folderMovie, "is a folder"},
        {notMovie, "no movie box found: not an MP4 or QuickTime movie"},
        {textOnly, "cannot load"},
    };

    for (const char* command : {"info", "dump"}) {
        SCOPED_TRACE(command);
        std::string folder = OutputFolder(std::string("failed-") + command);
        for (const auto& failure : cases) {
            SCOPED_TRACE(failure.movie);
            ProgramRun run = std::string(command) == "info" ? RunQtsource({command, failure.movie})
                                                            : RunQtsource({command, failure.movie, "-o", folder});
            EXPECT_EQ(1, run.exitStatus) << run.err;
            // The filter's own answer stays in the line, after the cause.
            ExpectOneFailureLine(run, failure.movie + ": " + failure.cause + ": ", ": 0x80004005 E_FAIL");
            EXPECT_FALSE(PathExists(folder)) << "output made for a movie that did not load";
        }
    }
    RemoveOutput(folderMovie);
    std::remove(notMovie.c_str());
    std::remove(textOnly.c_str());
}

TEST(QtsourceFailureTest, AMovieThatCannotBeReadSaysPermissionDenied)
{
    REQUIRE_FIXTURE(fixture, TwoPinMovie);
    std::string movie = TempPath("qtsource-unreadable.mp4");
    std::error_code error;
    ASSERT_TRUE(std::filesystem::copy_file(std::filesystem::u8path(fixture), std::filesystem::u8path(movie),
                                           std::filesystem::copy_options::overwrite_existing, error));
    bool refused = false;
    {
        UnreadableFile unreadable(movie);
        refused = unreadable.Refused();
        if (refused) {
            ProgramRun run = RunQtsource({"info", movie});
            EXPECT_EQ(1, run.exitStatus) << run.err;
            ExpectOneFailureLine(run, movie + ": cannot be read: permission denied: ", ": 0x80004005 E_FAIL");
        }
    }
    std::remove(movie.c_str());
    if (!refused)
        GTEST_SKIP() << "this user reads every file whatever its permissions (as the superuser does), so none "
                        "can be made unreadable";
}

TEST(QtsourceFailureTest, UsageErrorsExitWithTwoAndNameTheArgument)
{
    REQUIRE_FIXTURE(movie, TwoPinMovie);
    struct Case {
        std::vector<std::string> arguments;
        std::string named;
    } cases[] = {
        {{"dump", movie, "--speed"}, "--speed"},
        {{"dump", movie, "--start", "soon"}, "soon"},
        {{"dump", movie, "--start", "-3"}, "-3"},
        {{"dump", movie, "-o"}, "-o"},
        {{"info", movie, "--null"}, "--null"},
        {{"play", movie}, "play"},
        {{"dump"}, "dump"},
        {{"info", movie, movie}, movie},
    };
    for (const Case& usage : cases) {
        SCOPED_TRACE(usage.named);
        ProgramRun run = RunQtsource(usage.arguments);
        EXPECT_EQ(2, run.exitStatus) << run.err;
        ExpectOneFailureLine(run, usage.named, "0x80070057 E_INVALIDARG");
    }
}

TEST(QtsourceFailureTest, UnwritableOutputFolderFailsAndLeavesNoFiles)
{
    REQUIRE_FIXTURE(movie, TwoPinMovie);
    // A folder cannot be made inside a file.
    std::string blocker = TempPath("qtsource-blocker");
    WriteFile(blocker, {'x'});
    std::string folder = blocker + "/out";
    ProgramRun run = RunQtsource({"dump", movie, "-o", folder});
    EXPECT_EQ(1, run.exitStatus);
    ExpectOneFailureLine(run, folder, "0x8");
    EXPECT_EQ(1, FileSize(blocker));
    std::remove(blocker.c_str());

    // The folder exists but one pin's file cannot be made: what was made
    // before it goes again, and the message says so.
    std::string partial = OutputFolder("partial");
    ASSERT_EQ(0, RunQtsource({"dump", movie, "--null", "-o", partial}).exitStatus);
    std::string occupied = partial + "/2.aac";
    MakeFolder(partial);
    MakeFolder(occupied);
    run = RunQtsource({"dump", movie, "-o", partial});
    EXPECT_EQ(1, run.exitStatus);
    ExpectOneFailureLine(run, "2.aac", "0x8");
    EXPECT_NE(std::string::npos, run.err.find("no output left")) << run.err;
    EXPECT_FALSE(PathExists(partial + "/samples.csv"));
    EXPECT_FALSE(PathExists(partial + "/1.h264"));
    EXPECT_TRUE(PathExists(occupied)) << "a folder the program did not make is left alone";
    RemoveOutput(partial);
}

} // namespace
