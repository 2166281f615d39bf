// Sample descriptions: picture and sound values, parameter sets, and the AAC
// decoder configuration that corrects the sound entry's own fields.
#include "parser/AacDecoderConfig.h"
#include "tests/parser/FakeParserHost.h"
#include "tests/parser/TrackSpecs.h"

#include <gtest/gtest.h>

namespace {

std::vector<uint8_t> Ramp(size_t size, uint8_t first)
{
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = uint8_t(first + i);
    return bytes;
}

std::vector<uint8_t> SequenceParameterSet(const MovieRecord& movie)
{
    const BYTE* data = nullptr;
    int32_t size = 0;
    movie.GetSequenceParameterSet(&data, &size);
    return std::vector<uint8_t>(data, data + size);
}

std::vector<uint8_t> PictureParameterSet(const MovieRecord& movie)
{
    const BYTE* data = nullptr;
    int32_t size = 0;
    movie.GetPictureParameterSet(&data, &size);
    return std::vector<uint8_t>(data, data + size);
}

TEST(SampleDescription, AvcEntryGivesPictureValuesAndFirstParameterSets)
{
    TrackSpec track = VideoTrack();
    track.width = 1280;
    track.height = 720;
    track.sps = Ramp(25, 0x67);
    track.pps = Ramp(4, 0x68);
    auto parsed = ParseBytes(BuildMovie(MovieOf({track})));

    EXPECT_EQ(1280, parsed->movie->videoWidth);
    EXPECT_EQ(720, parsed->movie->videoHeight);
    EXPECT_EQ(24, parsed->movie->videoDepth);
    EXPECT_EQ(track.sps, SequenceParameterSet(*parsed->movie));
    EXPECT_EQ(track.pps, PictureParameterSet(*parsed->movie));
    EXPECT_STREQ("avc1", parsed->Track(0)->sampleFormat);
    // The tables after the description are still found.
    EXPECT_EQ(10u, parsed->Track(0)->sampleCount);
    EXPECT_EQ(1, parsed->movie->hasVideo);
}

TEST(SampleDescription, AvcConfigurationIsFoundByTypeAfterOtherBoxes)
{
    TrackSpec track = VideoTrack();
    track.boxesBeforeAvcConfig = 2;
    auto parsed = ParseBytes(BuildMovie(MovieOf({track})));
    EXPECT_EQ(track.sps, SequenceParameterSet(*parsed->movie));
    EXPECT_EQ(track.pps, PictureParameterSet(*parsed->movie));

    track.avcConfig = false; // a pin all the same, without parameter sets
    parsed = ParseBytes(BuildMovie(MovieOf({track})));
    EXPECT_TRUE(SequenceParameterSet(*parsed->movie).empty());
    EXPECT_EQ(1u, parsed->host.Pins().size());
}

TEST(SampleDescription, SoundEntryFieldsAreTheFallback)
{
    TrackSpec track = SoundTrack();
    track.audioSpecificConfig.clear();
    track.channels = 2;
    track.bitsPerSample = 16;
    track.sampleRate = 44100;
    auto parsed = ParseBytes(BuildMovie(MovieOf({track})));
    EXPECT_EQ(2, parsed->movie->audioChannels);
    EXPECT_EQ(16, parsed->movie->audioSampleSize);
    EXPECT_EQ(44100u, parsed->movie->audioSampleRate);
    EXPECT_EQ(1, parsed->result);
}

TEST(SampleDescription, DecoderConfigurationCorrectsChannelsAndRate)
{
    struct Case {
        const char* what;
        std::vector<uint8_t> config;
        uint16_t version;
        bool inWave;
        uint32_t rate;
        int32_t channels;
    } cases[] = {
        {"mono marked as two channels", {0x11, 0x88}, 0, false, 48000, 1},
        {"96 kHz, beyond the 16-bit rate field", {0x10, 0x10}, 0, false, 96000, 2},
        {"explicit rate", {0x17, 0x80, 0x01, 0xF4, 0x08}, 0, false, 1000, 1},
        {"version 1 entry, configuration inside wave", {0x15, 0x88}, 1, true, 8000, 1},
        {"version 2 entry", {0x11, 0x90}, 2, false, 48000, 2},
        {"channel configuration 0 keeps the entry's count", {0x11, 0x80}, 0, false, 48000, 2},
        {"reserved rate index keeps the entry's rate", {0x16, 0x88}, 0, false, 44100, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TrackSpec track = SoundTrack();
        track.channels = 2;
        track.sampleRate = c.rate == 96000 ? 0 : 44100;
        track.audioSpecificConfig = c.config;
        track.soundVersion = c.version;
        track.decoderConfigInWave = c.inWave;
        auto parsed = ParseBytes(BuildMovie(MovieOf({track})));
        EXPECT_EQ(c.rate, parsed->movie->audioSampleRate);
        EXPECT_EQ(c.channels, parsed->movie->audioChannels);
        ASSERT_EQ(1u, parsed->host.Pins().size());
        EXPECT_EQ(c.rate, parsed->host.Pins()[0]->calls.audioSampleRate);
        EXPECT_EQ(c.channels, parsed->host.Pins()[0]->calls.audioChannels);
    }
}

TEST(SampleDescription, TextTrackStoresOnlyItsFormat)
{
    auto parsed = ParseBytes(BuildMovie(MovieOf({VideoTrack(), SoundTrack(), TextTrack()})));
    EXPECT_STREQ("text", parsed->Track(2)->sampleFormat);
    EXPECT_EQ(10u, parsed->Track(2)->sampleCount);
    EXPECT_EQ(320, parsed->movie->videoWidth);
    EXPECT_EQ(44100u, parsed->movie->audioSampleRate);
    EXPECT_EQ(2u, parsed->host.requests.size());
}

TEST(AacDecoderConfig, DescriptorsAreWalkedWithinTheirBytes)
{
    // Version and flags; ES descriptor with a URL flag; decoder configuration
    // with its specific information: 44,100 Hz, stereo, one-byte lengths.
    const std::vector<uint8_t> esds = {0,    0,    0,    0,                          // version, flags
                                       0x03, 0x19, 0x00, 0x01, 0x40, 0x02, 'a', 'b', // ES, URL "ab"
                                       0x04, 0x11, 0x40, 0x15, 0,    0,    0,   0,
                                       0,    0,    0,    0,    0,    0,    0, // decoder config
                                       0x05, 0x02, 0x12, 0x10};               // AudioSpecificConfig
    AacDecoderConfig config;
    ASSERT_TRUE(ParseAacDecoderConfig(esds.data(), esds.size(), &config));
    EXPECT_EQ(44100u, config.sampleRate);
    EXPECT_EQ(2, config.channels);
    // Cut anywhere before the last byte of the configuration, nothing is found
    // and nothing outside the bytes is read.
    for (size_t size = 0; size + 1 < esds.size(); ++size) {
        std::vector<uint8_t> cut(esds.begin(), esds.begin() + std::ptrdiff_t(size));
        EXPECT_FALSE(ParseAacDecoderConfig(cut.data(), cut.size(), &config)) << size;
    }
}

} // namespace
