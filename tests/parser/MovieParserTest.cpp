// The movie, track and media walks, the sample tables and the hand-over to pins.
#include "tests/parser/FakeParserHost.h"
#include "tests/parser/TrackSpecs.h"

#include <gtest/gtest.h>

namespace {

const std::vector<std::string> kHandOverOrder = {"SetTrackData", "OpenStreamFiles", "SetStreamTiming",
                                                 "SetSampleSizeTableOffset", "SetChunkOffsetTableOffset"};

TEST(MovieParser, MovieBoxAfterMediaDataIsFoundAndReadAlike)
{
    for (bool mediaDataFirst : {false, true}) {
        SCOPED_TRACE(mediaDataFirst ? "mdat first" : "moov first");
        MovieSpec spec = MovieOf({VideoTrack(), SoundTrack()});
        spec.mediaDataFirst = mediaDataFirst;
        MovieLayout layout;
        auto parsed = ParseBytes(BuildMovie(spec, &layout));

        EXPECT_EQ(1, parsed->result);
        EXPECT_EQ(2, parsed->movie->trackCount);
        auto pins = parsed->host.Pins();
        ASSERT_EQ(2u, pins.size());
        for (size_t i = 0; i < 2; ++i) {
            EXPECT_EQ(kHandOverOrder, pins[i]->calls.order);
            EXPECT_EQ(int32_t(layout.sampleSizeBoxes[i] + 20), pins[i]->calls.sizeTableOffset);
            EXPECT_EQ(int32_t(layout.chunkOffsetBoxes[i] + 16), pins[i]->calls.chunkTableOffset);
            EXPECT_EQ(10u, pins[i]->calls.sampleCount);
            EXPECT_EQ(std::string(parsed->movie->filePath), pins[i]->calls.path);
        }
        EXPECT_EQ("QT H264 Out", parsed->host.requests[0].name);
        EXPECT_EQ("QT AAC Out", parsed->host.requests[1].name);
    }
}

TEST(MovieParser, UnknownChildrenAreSkippedAndLaterBoxesStillRead)
{
    MovieSpec spec = MovieOf({VideoTrack(7)});
    spec.unknownMovieChildren = true;
    spec.tracks[0].trackReferenceAndEditList = true;
    spec.movieTimeScale = 600;
    spec.movieDuration = 39900;
    auto parsed = ParseBytes(BuildMovie(spec));

    EXPECT_EQ(600u, parsed->movie->movieTimeScale);
    EXPECT_EQ(39900u, parsed->movie->movieDuration);
    ASSERT_NE(nullptr, parsed->Track(0));
    EXPECT_EQ(7u, parsed->Track(0)->trackId);
    EXPECT_STREQ("vide", parsed->Track(0)->handlerType);
    EXPECT_EQ(1u, parsed->host.Pins().size());
}

TEST(MovieParser, ThreeTracksGiveThreeRecordsInFileOrderWhateverTheirPins)
{
    MovieSpec spec = MovieOf({VideoTrack(1), SoundTrack(2), TextTrack(3)});
    spec.tracks[0].format = "jpeg"; // a video format without a pin
    spec.tracks[1].format = "lpcm"; // likewise for sound
    auto parsed = ParseBytes(BuildMovie(spec));

    EXPECT_EQ(0, parsed->result);
    EXPECT_EQ(3, parsed->movie->trackCount);
    EXPECT_TRUE(parsed->host.requests.empty());
    const char* handlers[] = {"vide", "soun", "text"};
    const char* formats[] = {"jpeg", "lpcm", "text"};
    for (uint32_t i = 0; i < 3; ++i) {
        const TrackRecord* track = parsed->Track(i);
        ASSERT_NE(nullptr, track);
        EXPECT_EQ(i + 1, track->trackId);
        EXPECT_STREQ(handlers[i], track->handlerType);
        EXPECT_STREQ(formats[i], track->sampleFormat);
        EXPECT_EQ(10u, track->sampleCount);
    }
    EXPECT_EQ(nullptr, parsed->Track(3));
    EXPECT_EQ(parsed->Track(2), parsed->movie->trackListTail);
}

TEST(MovieParser, FileWithoutMovieBoxOrUnreadableGivesNothing)
{
    BoxBuilder file;
    file.Begin("ftyp").Text("isom").U32(0).End().Filler("mdat", 100);
    auto parsed = ParseBytes(file.Data());
    EXPECT_EQ(0, parsed->result);
    EXPECT_EQ(0, parsed->movie->trackCount);
    EXPECT_EQ("", parsed->Text());

    auto missing = ParseFile(ScratchPath("-never-written"));
    EXPECT_EQ(0, missing->result);
    EXPECT_EQ(nullptr, missing->movie->parseFile);
}

TEST(MovieParser, SecondParseOfTheSameRecordChangesNothing)
{
    auto parsed = ParseBytes(BuildMovie(MovieOf({VideoTrack()})));
    ASSERT_EQ(1, parsed->result);
    EXPECT_EQ(0, ParseMovie(*parsed->movie, parsed->host));
    EXPECT_EQ(1, parsed->movie->trackCount);
    EXPECT_EQ(1u, parsed->host.requests.size());
}

TEST(MovieParser, DataHandlerNameKeepsItsLengthByteAndAtMost31Characters)
{
    const std::string name = "Apple Alias Data Handler"; // 24 characters
    MovieSpec spec = MovieOf({VideoTrack()});
    spec.tracks[0].dataHandlerName = char(24) + name;
    const std::vector<uint8_t> bytes = BuildMovie(spec);
    // The handler box in the media information box: 8 + 24 + 25 bytes.
    const std::string text(bytes.begin(), bytes.end());
    const size_t at = text.find("dhlralis");
    ASSERT_NE(std::string::npos, at);
    EXPECT_EQ(std::string("\0\0\0\x39hdlr", 8), text.substr(at - 12, 8));
    auto parsed = ParseBytes(bytes);
    EXPECT_EQ(char(24) + name, parsed->Track(0)->handlerName);

    spec.tracks[0].dataHandlerName = std::string(200, 'n');
    parsed = ParseBytes(BuildMovie(spec));
    EXPECT_EQ(std::string(31, 'n'), parsed->Track(0)->handlerName);
    EXPECT_EQ(1, parsed->result);

    parsed = ParseBytes(BuildMovie(MovieOf({VideoTrack()})));
    EXPECT_STREQ("", parsed->Track(0)->handlerName);
}

TEST(MovieParser, MediaDurationIsDividedFirstAndTruncated)
{
    struct Case {
        uint32_t duration;
        uint32_t timeScale;
        REFERENCE_TIME expected;
    } cases[] = {{90000, 90000, 10000000}, {1001, 30000, 333666}, {1000, 0, 0}};
    for (const Case& c : cases) {
        MovieSpec spec = MovieOf({VideoTrack()});
        spec.tracks[0].duration = c.duration;
        spec.tracks[0].timeScale = c.timeScale;
        auto parsed = ParseBytes(BuildMovie(spec));
        ASSERT_EQ(1u, parsed->host.Pins().size());
        EXPECT_EQ(c.expected, parsed->host.Pins()[0]->calls.mediaDuration);
        EXPECT_EQ(c.timeScale, parsed->Track(0)->timeScale);
        EXPECT_EQ(c.duration, parsed->Track(0)->duration);
    }
    EXPECT_EQ(REFERENCE_TIME(0x7FFFFFFFFFFFFFFF), MediaDuration(~0ull, 1));
}

TEST(MovieParser, Version1HeadersAreReadAtTheirOwnOffsets)
{
    MovieSpec spec = MovieOf({VideoTrack(5)});
    spec.tracks[0].headerVersion = 1;
    spec.tracks[0].timeScale = 1000;
    spec.tracks[0].duration = 2500;
    auto parsed = ParseBytes(BuildMovie(spec));
    EXPECT_EQ(5u, parsed->Track(0)->trackId);
    EXPECT_EQ(1000u, parsed->Track(0)->timeScale);
    EXPECT_EQ(2500u, parsed->Track(0)->duration);
    ASSERT_EQ(1u, parsed->host.Pins().size());
    EXPECT_EQ(25000000, parsed->host.Pins()[0]->calls.mediaDuration);

    // A duration beyond 32 bits: the record shows the largest value it can hold,
    // the pin gets the whole duration.
    spec.tracks[0].longDuration = 0x200000000ull;
    parsed = ParseBytes(BuildMovie(spec));
    EXPECT_EQ(0xFFFFFFFFu, parsed->Track(0)->duration);
    EXPECT_EQ(85899345920000, parsed->host.Pins()[0]->calls.mediaDuration); // 8,589,934.592 s
}

// Places the first track's size table box at sizeBoxAt and its chunk offset box
// at chunkBoxAt by growing filler boxes.
std::vector<uint8_t> PlaceTables(MovieSpec spec, size_t sizeBoxAt, size_t chunkBoxAt)
{
    MovieLayout layout;
    BuildMovie(spec, &layout);
    spec.fillerBeforeMovie = uint32_t(sizeBoxAt - layout.sampleSizeBoxes[0]);
    BuildMovie(spec, &layout);
    spec.tracks[0].fillerBeforeChunkOffsets = uint32_t(chunkBoxAt - layout.chunkOffsetBoxes[0]);
    return BuildMovie(spec, &layout);
}

TEST(MovieParser, TableOffsetsPointAtTheFirstEntries)
{
    MovieSpec spec = MovieOf({VideoTrack()});
    spec.tracks[0].sampleCount = 1234;
    spec.tracks[0].chunkMap = {{1, 1234, 1}};
    auto parsed = ParseBytes(PlaceTables(spec, 5000, 12000));
    ASSERT_EQ(1u, parsed->host.Pins().size());
    EXPECT_EQ(1234u, parsed->Track(0)->sampleCount);
    EXPECT_EQ(1234u, parsed->host.Pins()[0]->calls.sampleCount);
    EXPECT_EQ(5020, parsed->host.Pins()[0]->calls.sizeTableOffset);

    spec.tracks[0].sampleCount = 10;
    spec.tracks[0].chunkMap = {{1, 1, 1}};
    parsed = ParseBytes(PlaceTables(spec, 5000, 8000));
    ASSERT_EQ(1u, parsed->host.Pins().size());
    EXPECT_EQ(8016, parsed->host.Pins()[0]->calls.chunkTableOffset);
    EXPECT_EQ(10u, parsed->host.Pins()[0]->calls.chunkCount);
}

TEST(MovieParser, EachPinGetsItsOwnChunkMapAndTextTracksGetNone)
{
    auto parsed = ParseBytes(BuildMovie(MovieOf({VideoTrack(), SoundTrack(), TextTrack()})));
    const auto pins = parsed->host.Pins();
    ASSERT_EQ(2u, pins.size());
    std::vector<ChunkMapEntry> expectedVideo = {{1, 2, 1}, {3, 1, 1}};
    EXPECT_EQ(expectedVideo, pins[0]->calls.ChunkMapEntries());
    std::vector<ChunkMapEntry> expectedAudio = {{1, 4, 1}};
    EXPECT_EQ(expectedAudio, pins[1]->calls.ChunkMapEntries());
    EXPECT_EQ(8u, pins[0]->calls.chunkCount); // two chunks of 2 samples, six of 1
}

TEST(MovieParser, EachPinGetsItsOwnTracksTablesAndSoundValues)
{
    TrackSpec first = SoundTrack(1);
    first.audioSpecificConfig = {0x11, 0x90}; // 48,000 Hz, stereo
    first.chunkMap = {{1, 3, 1}};
    TrackSpec second = SoundTrack(2);
    second.audioSpecificConfig = {0x13, 0x88}; // 22,050 Hz, mono
    second.chunkMap = {{1, 5, 1}, {2, 2, 1}};
    auto parsed = ParseBytes(BuildMovie(MovieOf({first, second})));

    // The record keeps the last track's values, as the text shows them.
    EXPECT_EQ(22050u, parsed->movie->GetAudioSampleRate());
    EXPECT_EQ(1, parsed->movie->GetAudioChannels());
    auto pins = parsed->host.Pins();
    ASSERT_EQ(2u, pins.size());
    EXPECT_EQ(48000u, pins[0]->calls.audioSampleRate);
    EXPECT_EQ(2, pins[0]->calls.audioChannels);
    EXPECT_EQ(first.chunkMap, pins[0]->calls.ChunkMapEntries());
    EXPECT_EQ(22050u, pins[1]->calls.audioSampleRate);
    EXPECT_EQ(1, pins[1]->calls.audioChannels);
    EXPECT_EQ(second.chunkMap, pins[1]->calls.ChunkMapEntries());
    EXPECT_TRUE(pins[0]->calls.sps.empty());

    TrackSpec video = VideoTrack(1);
    TrackSpec other = VideoTrack(2);
    other.sps = {0x67, 0x64, 0x00, 0x1F};
    other.pps = {0x68, 0xEB};
    parsed = ParseBytes(BuildMovie(MovieOf({video, other})));
    pins = parsed->host.Pins();
    ASSERT_EQ(2u, pins.size());
    EXPECT_EQ(video.sps, pins[0]->calls.sps);
    EXPECT_EQ(video.pps, pins[0]->calls.pps);
    EXPECT_EQ(other.sps, pins[1]->calls.sps);
    const BYTE* sps = nullptr;
    int32_t size = 0;
    EXPECT_EQ(1, parsed->movie->GetSequenceParameterSet(&sps, &size));
    EXPECT_EQ(other.sps, std::vector<uint8_t>(sps, sps + size));
}

TEST(MovieParser, TracksWhoseSamplesCannotBeLocatedGetNoPin)
{
    struct Case {
        const char* fault;
        void (*spoil)(TrackSpec&);
    } cases[] = {
        {"no sample size box", [](TrackSpec& t) { t.sampleSizes = false; }},
        {"no chunk offset box", [](TrackSpec& t) { t.chunkOffsets = false; }},
        {"no sample-to-chunk entries", [](TrackSpec& t) { t.chunkMap.clear(); }},
        {"chunk numbers not increasing",
         [](TrackSpec& t) {
             t.chunkMap = {{1, 2, 1}, {1, 3, 1}};
         }},
        {"chunks without samples",
         [](TrackSpec& t) {
             t.chunkMap = {{1, 0, 1}};
         }},
        {"first chunk 0",
         [](TrackSpec& t) {
             t.chunkMap = {{0, 1, 1}};
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        TrackSpec spoiled = VideoTrack(2);
        c.spoil(spoiled);
        auto alone = ParseBytes(BuildMovie(MovieOf({spoiled})));
        EXPECT_EQ(0, alone->result);
        EXPECT_TRUE(alone->host.requests.empty());
        EXPECT_NE(std::string::npos, alone->Text().find("subType:'avc1'"));

        // An earlier track's map is not taken for this track's own.
        auto afterGood = ParseBytes(BuildMovie(MovieOf({VideoTrack(1), spoiled})));
        EXPECT_EQ(1, afterGood->result);
        EXPECT_EQ(1u, afterGood->host.requests.size());
    }
}

TEST(MovieParser, RefusedPinStillCountsAsStreamableButGetsNoHandOver)
{
    auto parsed = std::make_unique<ParsedMovie>();
    parsed->host.refusePins = true;
    parsed->scratchFile = ScratchPath();
    ASSERT_TRUE(WriteFileBytes(parsed->scratchFile, BuildMovie(MovieOf({SoundTrack()}))));
    std::snprintf(parsed->movie->filePath, sizeof parsed->movie->filePath, "%s", parsed->scratchFile.c_str());
    EXPECT_EQ(1, ParseMovie(*parsed->movie, parsed->host));
    EXPECT_EQ(1, parsed->movie->hasAudio);
    EXPECT_EQ(0, parsed->movie->hasVideo);
    EXPECT_EQ(1u, parsed->host.requests.size());
}

} // namespace

// A table of thousands of entries is read in blocks: every entry must be seen
// in place, each 64th indexed with its run's first sample, and a fault in the
// last block must still be seen.
TEST(MovieParser, LongChunkMapsComeThroughWholeAcrossReadBlocks)
{
    TrackSpec track = SoundTrack();
    track.chunkMap.clear();
    for (uint32_t i = 0; i < 10000; ++i)
        track.chunkMap.push_back({2 * i + 1, 1 + i % 3, 1 + i % 2});
    track.sampleCount = 0;
    for (uint32_t i = 0; i + 1 < 10000; ++i)
        track.sampleCount += 2 * (1 + i % 3);
    track.sampleCount += 1 + 9999 % 3;
    auto parsed = ParseBytes(BuildMovie(MovieOf({track})));
    ASSERT_EQ(1u, parsed->host.Pins().size());
    const PinCalls& calls = parsed->host.Pins()[0]->calls;
    EXPECT_EQ(track.chunkMap, calls.ChunkMapEntries());
    // Entry i starts at chunk 2i + 1 after i runs of two chunks.
    for (uint32_t i = 0; i < 10000; i += kTableIndexStride) {
        uint64_t firstSample = 0;
        for (uint32_t run = 0; run < i; ++run)
            firstSample += 2 * (1 + run % 3);
        const ChunkMapIndexPoint& point = calls.chunkMap->index[i / kTableIndexStride];
        EXPECT_EQ(2 * i + 1, point.firstChunk) << "entry " << i;
        EXPECT_EQ(firstSample, point.firstSample) << "entry " << i;
    }

    track.chunkMap[9998].samplesPerChunk = 0;
    parsed = ParseBytes(BuildMovie(MovieOf({track})));
    EXPECT_EQ(0u, parsed->host.Pins().size());
}
