// The three output media types, their format blocks byte for byte.
#include "parser/MediaTypeBuilders.h"
#include "parser/StreamTypes.h"
#include "tests/parser/FakeParserHost.h"
#include "tests/parser/TrackSpecs.h"

#include <gtest/gtest.h>

namespace {

std::vector<uint8_t> FormatOf(const AM_MEDIA_TYPE& type)
{
    return std::vector<uint8_t>(type.pbFormat, type.pbFormat + type.cbFormat);
}

void Put32(std::vector<uint8_t>& block, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        block[at + size_t(i)] = uint8_t(value >> (8 * i));
}

TEST(MediaTypes, MpegVideoBlockIsAVideoInfoHeaderWithTheTracksPicture)
{
    TrackSpec track = VideoTrack();
    track.format = "mp4v";
    track.width = 1920;
    track.height = 1080;
    auto parsed = ParseBytes(BuildMovie(MovieOf({track})));
    ASSERT_EQ(1u, parsed->host.requests.size());
    const PinRequest& request = parsed->host.requests[0];
    EXPECT_EQ("QT MP4 Video Out", request.name);
    EXPECT_TRUE(request.type.majortype == MEDIATYPE_Video);
    EXPECT_TRUE(request.type.subtype == Mp4vStreamSubtype);
    EXPECT_TRUE(request.type.formattype == FORMAT_VideoInfo);
    ASSERT_EQ(sizeof(VIDEOINFOHEADER), request.type.cbFormat); // no decoder configuration in this entry
    const VIDEOINFOHEADER* info = reinterpret_cast<const VIDEOINFOHEADER*>(request.type.pbFormat);
    EXPECT_EQ(1920, info->bmiHeader.biWidth);
    EXPECT_EQ(1080, info->rcTarget.bottom);
}

TEST(MediaTypes, AvcBlockIsTheParameterSetsInStartCodeForm)
{
    TrackSpec track = VideoTrack();
    track.sps.assign(25, 0x67);
    track.pps.assign(4, 0x68);
    auto parsed = ParseBytes(BuildMovie(MovieOf({track})));
    ASSERT_EQ(1u, parsed->host.requests.size());
    const PinRequest& request = parsed->host.requests[0];
    EXPECT_EQ("QT H264 Out", request.name);
    EXPECT_TRUE(request.type.majortype == MEDIATYPE_Video);
    EXPECT_TRUE(request.type.subtype == AvcStreamSubtype);
    EXPECT_TRUE(request.type.formattype == AvcStreamFormat);
    EXPECT_EQ(0u, ULONG(request.type.lSampleSize));

    std::vector<uint8_t> expected = {0, 0, 0, 1};
    expected.insert(expected.end(), 25, 0x67);
    expected.insert(expected.end(), {0, 0, 0, 1, 0x68, 0x68, 0x68, 0x68});
    expected.insert(expected.end(), 75, 0);
    EXPECT_EQ(expected, FormatOf(request.type));
}

TEST(MediaTypes, AvcBlockGrowsForLargeParameterSets)
{
    TrackSpec track = VideoTrack();
    track.sps.assign(300, 0x67);
    track.pps.assign(60, 0x68);
    auto parsed = ParseBytes(BuildMovie(MovieOf({track})));
    ASSERT_EQ(1u, parsed->host.requests.size());
    std::vector<uint8_t> expected = {0, 0, 0, 1};
    expected.insert(expected.end(), 300, 0x67);
    expected.insert(expected.end(), {0, 0, 0, 1});
    expected.insert(expected.end(), 60, 0x68);
    EXPECT_EQ(expected, FormatOf(parsed->host.requests[0].type));

    // 104 bytes of sets still fit the usual block exactly.
    track.sps.assign(100, 0x67);
    track.pps.assign(4, 0x68);
    parsed = ParseBytes(BuildMovie(MovieOf({track})));
    EXPECT_EQ(112u, ULONG(parsed->host.requests[0].type.cbFormat));
}

TEST(MediaTypes, AacBlockCarriesTheTracksChannelsAndRate)
{
    TrackSpec track = SoundTrack();
    track.audioSpecificConfig = {0x11, 0x90}; // 48,000 Hz, stereo
    auto parsed = ParseBytes(BuildMovie(MovieOf({track})));
    ASSERT_EQ(1u, parsed->host.requests.size());
    const PinRequest& request = parsed->host.requests[0];
    EXPECT_EQ("QT AAC Out", request.name);
    EXPECT_TRUE(request.type.majortype == MEDIATYPE_Audio);
    EXPECT_TRUE(request.type.subtype == AacStreamSubtype);
    EXPECT_TRUE(request.type.formattype == AacStreamFormat);
    EXPECT_EQ(112u, ULONG(request.type.lSampleSize));

    std::vector<uint8_t> expected(112, 0);
    const uint8_t header[18] = {0x01, 0x00, 0x02, 0x00, 0x80, 0xBB, 0x00, 0x00, 0x00,
                                0x77, 0x01, 0x00, 0x04, 0x00, 0x10, 0x00, 0x5E, 0x00};
    std::copy(header, header + 18, expected.begin());
    Put32(expected, 40, 2);
    Put32(expected, 44, 64);
    Put32(expected, 64, 9);
    const uint8_t adts[9] = {0xFF, 0xF8, 0x58, 0x80, 0x1E, 0x81, 0x50, 0xCD, 0xB2};
    std::copy(adts, adts + 9, expected.begin() + 68);
    EXPECT_EQ(expected, FormatOf(request.type));
}

} // namespace
