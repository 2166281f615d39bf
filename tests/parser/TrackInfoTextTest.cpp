// The track information text.
#include "tests/parser/FakeParserHost.h"
#include "tests/parser/TrackSpecs.h"

#include <gtest/gtest.h>

namespace {

std::string TextOf(const std::vector<TrackSpec>& tracks)
{
    return ParseBytes(BuildMovie(MovieOf(tracks)))->Text();
}

TEST(TrackInfoText, VideoBlockAsTheExampleShowsIt)
{
    TrackSpec track = VideoTrack(1);
    track.timeScale = 600;
    track.duration = 39900;
    track.sampleCount = 1995;
    track.chunkMap = {{1, 5, 1}};
    track.width = 1280;
    track.height = 720;
    EXPECT_EQ("Track # 1 Info:TrackID:1 -- TimeScale:600--Duration 0:1:6.500000\n"
              "Media Info: Type:'vide' -- subType:'avc1' -- Sample count:1995\n"
              "Handler name: ''\n"
              "Video Info:Image size: 1280 x 720 --pixel depth: 24\n"
              "\n",
              TextOf({track}));
}

TEST(TrackInfoText, DurationKeepsSinglePrecisionFraction)
{
    struct Case {
        uint32_t duration;
        uint32_t timeScale;
        const char* line;
    } cases[] = {
        {5400123, 90000, "Duration 0:1:0.001366\n"},
        {10854321, 1000, "Duration 3:0:54.321289\n"},
        {1000, 0, "Duration 0:0:0.000000\n"},
    };
    for (const Case& c : cases) {
        TrackSpec track = TextTrack(1);
        track.duration = c.duration;
        track.timeScale = c.timeScale;
        EXPECT_NE(std::string::npos, TextOf({track}).find(c.line)) << c.line;
    }
}

TEST(TrackInfoText, SoundAndTextBlocks)
{
    TrackSpec sound = SoundTrack(2);
    sound.audioSpecificConfig.clear();
    EXPECT_EQ("Track # 2 Info:TrackID:2 -- TimeScale:44100--Duration 0:0:1.000000\n"
              "Media Info: Type:'soun' -- subType:'mp4a' -- Sample count:10\n"
              "Handler name: ''\n"
              "Audio Info: Channel number: 2--Sample rate: 44100 --sound depth: 16\n"
              "\n",
              TextOf({sound}));

    TrackSpec text = TextTrack(3);
    text.dataHandlerName = "\x0b"
                           "DataHandler";
    EXPECT_EQ("Track # 3 Info:TrackID:3 -- TimeScale:600--Duration 0:0:1.000000\n"
              "Media Info: Type:'text' -- subType:'text' -- Sample count:10\n"
              "Handler name: '\x0b"
              "DataHandler'\n"
              "\n",
              TextOf({text}));
}

TEST(TrackInfoText, OneBlockPerTrackInOrderShowingTheLastValuesOfEachKind)
{
    TrackSpec first = VideoTrack(1);
    TrackSpec second = VideoTrack(2);
    second.width = 640;
    const std::string text = TextOf({first, second});
    const size_t one = text.find("Track # 1 Info:TrackID:1 --");
    const size_t two = text.find("Track # 2 Info:TrackID:2 --");
    ASSERT_NE(std::string::npos, one);
    ASSERT_NE(std::string::npos, two);
    EXPECT_LT(one, two);
    // Both blocks show the picture values of the last video track.
    EXPECT_EQ(std::string::npos, text.find("320 x 240"));
    const size_t line = text.find("Video Info:Image size: 640 x 240");
    ASSERT_LT(line, two);
    EXPECT_GT(text.find("Video Info:Image size: 640 x 240", line + 1), two);
}

} // namespace
