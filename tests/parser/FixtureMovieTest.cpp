// Movies made by ffmpeg: what the parser reads equals what ffprobe reads, and a
// real movie cut anywhere inside its movie box still parses consistently.
#include "tests/parser/FakeParserHost.h"
#include "tests/support/BoxBuilder.h"
#include "tests/support/Fixtures.h"
#include "tests/support/Probe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace {

const char* const kFixtures[] = {
    "h264-aac-faststart.mp4",
    "h264-aac-moov-last.mp4",
    "h264-aac.mov",
    "mp4v.mp4",
    "text.mov",
    "text.mp4",
    "aac-8000-mono.mp4",
    "aac-8000-stereo.mp4",
    "aac-44100-mono.mp4",
    "aac-44100-stereo.mp4",
    "aac-48000-mono.mp4",
    "aac-48000-stereo.mp4",
    "two-aac.mp4",
    "mdat64.mp4",
    // Fragmented: the counts and durations come from the fragments.
    "frag-bframes.mp4",
    "frag-bframes.mov",
    "frag-moof-base.mp4",
    "frag-tables.mp4",
    "dash-sidx.mp4",
    "dash-segments.mp4",
};

// The fixtures are always made by the test command: a missing one is a failure.
std::string RequireFixture(const std::string& name)
{
    const std::string path = FixturePath(name);
    EXPECT_FALSE(path.empty()) << name << " is missing from QT_FIXTURES (tests/fixtures/make-fixtures.sh makes it)";
    return path;
}

// The first sequence and picture parameter sets of an avcC record.
void AvcParameterSets(const std::vector<uint8_t>& avcC, std::vector<uint8_t>* sps, std::vector<uint8_t>* pps)
{
    ASSERT_GE(avcC.size(), 8u);
    ASSERT_GE(avcC[5] & 0x1F, 1);
    size_t at = 6;
    const size_t spsSize = size_t(avcC[at] << 8 | avcC[at + 1]);
    sps->assign(avcC.begin() + std::ptrdiff_t(at + 2), avcC.begin() + std::ptrdiff_t(at + 2 + spsSize));
    at += 2 + spsSize;
    for (int skip = (avcC[5] & 0x1F) - 1; skip > 0; --skip)
        at += 2 + size_t(avcC[at] << 8 | avcC[at + 1]);
    ASSERT_GE(avcC[at], 1);
    const size_t ppsSize = size_t(avcC[at + 1] << 8 | avcC[at + 2]);
    pps->assign(avcC.begin() + std::ptrdiff_t(at + 3), avcC.begin() + std::ptrdiff_t(at + 3 + ppsSize));
}

std::string HandlerTypeFor(const std::string& codecType, const std::string& name)
{
    if (codecType == "video")
        return "vide";
    if (codecType == "audio")
        return "soun";
    // ffmpeg marks mov_text as "text" in QuickTime movies and as "sbtl" in MP4.
    return name.find(".mov") != std::string::npos ? "text" : "sbtl";
}

TEST(FixtureMovies, ParsedValuesEqualWhatFfprobeReads)
{
    for (const char* name : kFixtures) {
        SCOPED_TRACE(name);
        const std::string path = RequireFixture(name);
        if (path.empty())
            continue;
        const Probe probe(path);
        ASSERT_TRUE(probe.Loaded()) << "no probe file beside " << path;
        auto parsed = ParseFile(path);
        ASSERT_EQ(probe.Streams(), parsed->movie->trackCount);

        std::vector<FakePin*> pins = parsed->host.Pins();
        size_t pin = 0;
        for (int i = 0; i < probe.Streams(); ++i) {
            SCOPED_TRACE("stream " + std::to_string(i));
            const TrackRecord* track = parsed->Track(size_t(i));
            ASSERT_NE(nullptr, track);
            const std::string codecType = probe.Stream(i, "codec_type");
            const std::string timeBase = probe.Stream(i, "time_base");
            const uint32_t timeScale =
                uint32_t(std::strtoul(timeBase.substr(timeBase.find('/') + 1).c_str(), nullptr, 10));
            EXPECT_EQ(probe.StreamNumber(i, "id"), track->trackId);
            EXPECT_EQ(timeScale, track->timeScale);
            EXPECT_EQ(probe.StreamNumber(i, "duration_ts"), track->duration);
            EXPECT_EQ(HandlerTypeFor(codecType, name), track->handlerType);
            EXPECT_EQ(probe.Stream(i, "codec_tag_string"), track->sampleFormat);
            // ffprobe's frame count is the tables' alone; a fragmented track's
            // is what ffmpeg read, beside the movie one line a packet.
            uint64_t frames = probe.StreamNumber(i, "nb_frames");
            std::ifstream packets(path + ".s" + std::to_string(i) + ".packets");
            if (packets)
                frames = uint64_t(std::count(std::istreambuf_iterator<char>(packets), {}, '\n'));
            EXPECT_EQ(frames, track->sampleCount);
            if (codecType == "video") {
                EXPECT_EQ(int32_t(probe.StreamNumber(i, "width")), parsed->movie->videoWidth);
                EXPECT_EQ(int32_t(probe.StreamNumber(i, "height")), parsed->movie->videoHeight);
            }
            if (codecType == "subtitle")
                continue;

            ASSERT_LT(pin, pins.size());
            const PinCalls& calls = pins[pin++]->calls;
            EXPECT_EQ(track->sampleCount, calls.sampleCount);
            const double seconds = double(track->duration) / double(timeScale);
            EXPECT_EQ(REFERENCE_TIME(seconds * 10000000.0), calls.mediaDuration);
            if (codecType == "audio") {
                EXPECT_EQ(probe.StreamNumber(i, "sample_rate"), calls.audioSampleRate);
                EXPECT_EQ(int32_t(probe.StreamNumber(i, "channels")), calls.audioChannels);
            }
            if (probe.Stream(i, "codec_tag_string") == "avc1") {
                std::vector<uint8_t> sps;
                std::vector<uint8_t> pps;
                AvcParameterSets(probe.StreamBytes(i, "extradata"), &sps, &pps);
                EXPECT_EQ(sps, calls.sps);
                EXPECT_EQ(pps, calls.pps);
            }
        }
        EXPECT_EQ(pin, pins.size());
    }
}

TEST(FixtureMovies, QuickTimeDataHandlerNameKeepsItsLengthByte)
{
    const std::string path = RequireFixture("h264-aac.mov");
    if (path.empty())
        return;
    auto parsed = ParseFile(path);
    ASSERT_EQ(2, parsed->movie->trackCount);
    EXPECT_STREQ("\x0b"
                 "DataHandler",
                 parsed->Track(0)->handlerName);
    EXPECT_NE(std::string::npos, parsed->Text().find("Handler name: '\x0b"
                                                     "DataHandler'\n"));
}

TEST(FixtureMovies, MovieCutAnywhereInsideItsMovieBoxGivesAConsistentPart)
{
    const std::string path = RequireFixture("h264-aac-faststart.mp4");
    if (path.empty())
        return;
    const std::vector<uint8_t> bytes = ReadFileBytes(path);
    // Find the movie box among the top-level boxes.
    size_t movieStart = 0;
    size_t movieEnd = 0;
    for (size_t at = 0; at + 8 <= bytes.size();) {
        const size_t size =
            size_t(bytes[at]) << 24 | size_t(bytes[at + 1]) << 16 | size_t(bytes[at + 2]) << 8 | bytes[at + 3];
        if (std::string(bytes.begin() + std::ptrdiff_t(at + 4), bytes.begin() + std::ptrdiff_t(at + 8)) == "moov") {
            movieStart = at;
            movieEnd = at + size;
            break;
        }
        if (size < 8)
            break;
        at += size;
    }
    ASSERT_LT(movieStart, movieEnd);

    // Written once and cut shorter one byte at a time.
    const std::string cutPath = ScratchPath();
    ASSERT_TRUE(WriteFileBytes(cutPath, bytes, movieEnd));
    size_t pinsAtFullLength = 0;
    for (size_t cut = 0; cut <= movieEnd - movieStart; ++cut) {
        const size_t length = movieEnd - cut;
        std::error_code error;
        std::filesystem::resize_file(cutPath, length, error);
        ASSERT_FALSE(error) << error.message();
        auto parsed = ParseFile(cutPath);
        ASSERT_LE(parsed->movie->trackCount, 2) << length;
        ASSERT_EQ(parsed->result != 0, !parsed->host.requests.empty()) << length;
        for (FakePin* pin : parsed->host.Pins()) {
            // Every table a pin was given lies wholly inside the file.
            ASSERT_LE(uint64_t(pin->calls.sizeTableOffset) + 4ull * pin->calls.sampleCount, length) << length;
            ASSERT_LE(uint64_t(pin->calls.chunkTableOffset) + 4ull * pin->calls.chunkCount, length) << length;
            ASSERT_TRUE(pin->calls.chunkMap) << length;
            ASSERT_LE(uint64_t(pin->calls.chunkMap->offset) + 12ull * pin->calls.chunkMap->entryCount, length)
                << length;
        }
        if (length == movieEnd)
            pinsAtFullLength = parsed->host.Pins().size();
    }
    std::remove(cutPath.c_str());
    EXPECT_EQ(2u, pinsAtFullLength);
}

} // namespace
