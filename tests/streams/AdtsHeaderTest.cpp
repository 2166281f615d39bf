// ADTS headers as a decoder parses them: every field at its bit position.
#include "streams/AdtsHeader.h"

#include <gtest/gtest.h>

#include <array>

namespace {

using Header = std::array<uint8_t, kAdtsHeaderSize>;

Header Build(uint32_t payload, uint32_t rate, uint32_t channels)
{
    Header header{};
    EXPECT_TRUE(BuildAdtsHeader(header.data(), payload, AacSampleRateIndex(rate), channels));
    return header;
}

// The 13-bit frame length as a parser reads it back.
uint32_t FrameLength(const Header& h)
{
    return (uint32_t(h[3] & 3) << 11) | (uint32_t(h[4]) << 3) | (h[5] >> 5);
}

TEST(AdtsHeader, KnownFrames)
{
    EXPECT_EQ(Build(371, 44100, 2), (Header{0xFF, 0xF1, 0x50, 0x80, 0x2F, 0x5F, 0xFC}));
    EXPECT_EQ(Build(1000, 48000, 1), (Header{0xFF, 0xF1, 0x4C, 0x40, 0x7D, 0xFF, 0xFC}));
    // Six channels: the third bit of the configuration lands in byte 2.
    Header surround = Build(200, 48000, 6);
    EXPECT_EQ(surround[2], 0x4D);
    EXPECT_EQ(surround[3] >> 6, 2);
}

TEST(AdtsHeader, SampleRateIndexes)
{
    EXPECT_EQ(AacSampleRateIndex(8000), 11u);
    EXPECT_EQ(AacSampleRateIndex(96000), 0u);
    EXPECT_EQ(AacSampleRateIndex(92016), 1u); // just below the bound of index 0
    EXPECT_EQ(AacSampleRateIndex(92017), 0u);
    EXPECT_EQ(AacSampleRateIndex(48000), 3u);
    EXPECT_EQ(AacSampleRateIndex(44100), 4u);
    EXPECT_EQ(AacSampleRateIndex(22050), 7u);
    EXPECT_EQ(AacSampleRateIndex(9391), 10u);
    EXPECT_EQ(AacSampleRateIndex(9390), 11u);
    EXPECT_EQ(AacSampleRateIndex(0), 11u);
}

TEST(AdtsHeader, FrameLengthLimits)
{
    EXPECT_EQ(FrameLength(Build(0, 44100, 2)), 7u);
    EXPECT_EQ(FrameLength(Build(kAdtsMaxPayload, 44100, 2)), 8191u);
    EXPECT_EQ(FrameLength(Build(2041, 44100, 2)), 2048u); // the length's top bits in byte 3

    // A payload the 13-bit field cannot describe is refused, header untouched.
    Header header{};
    EXPECT_FALSE(BuildAdtsHeader(header.data(), kAdtsMaxPayload + 1, 4, 2));
    EXPECT_FALSE(BuildAdtsHeader(header.data(), 0xFFFFFFFFu, 4, 2));
    EXPECT_EQ(header, Header{});
}

TEST(AdtsHeader, OutOfRangeFieldsStayInTheirBits)
{
    // Eight channels have no configuration of their own: 0, and the private
    // bit and the sampling index stay as they are.
    Header eight = Build(100, 44100, 8);
    EXPECT_EQ(eight[2], 0x50);
    EXPECT_EQ(eight[3] >> 6, 0);
    Header none = Build(100, 44100, 0);
    EXPECT_EQ(none[2], 0x50);
    Header header{};
    ASSERT_TRUE(BuildAdtsHeader(header.data(), 100, 0x1F, 2)); // an index wider than its 4 bits
    EXPECT_EQ(header[1], 0xF1);
    EXPECT_EQ(header[2], 0x7C);
}

TEST(AdtsHeader, CacheFollowsTheLength)
{
    AdtsHeaderCache cache(44100, 2);
    for (uint32_t payload : {371u, 371u, 1000u, 371u}) {
        const uint8_t* header = cache.HeaderFor(payload);
        ASSERT_NE(header, nullptr);
        EXPECT_EQ(FrameLength({header[0], header[1], header[2], header[3], header[4], header[5], header[6]}),
                  payload + 7);
    }
    EXPECT_EQ(cache.HeaderFor(kAdtsMaxPayload + 1), nullptr);
}

} // namespace
