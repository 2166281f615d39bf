// H.264 samples rewritten into start-code form, and the buffer bounds the
// delivery checks before it writes.
#include "streams/AnnexB.h"
#include "streams/SampleLocator.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Converted(Bytes sample, size_t expectedUnits)
{
    EXPECT_EQ(ConvertLengthPrefixesToStartCodes(sample.data(), sample.size()), expectedUnits);
    return sample;
}

TEST(AvcPrefix, ParameterSetsInFrontOfSamples)
{
    const Bytes sps = {0x67, 1, 2, 3, 4, 5, 6, 7, 8, 9}; // 10 bytes
    const Bytes pps = {0x68, 0xCE, 0x3C, 0x80};          // 4 bytes
    Bytes buffer(64, 0x55);

    // The first sample after a start carries both sets: 22 + 1,000 = 1,022.
    size_t first = WriteAvcPrefix(buffer.data(), buffer.size(), true, sps.data(), sps.size(), pps.data(), pps.size());
    EXPECT_EQ(first, 22u);
    EXPECT_EQ(first + 1000, 1022u);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 23),
              (Bytes{0, 0, 0, 1, 0x67, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0, 1, 0x68, 0xCE, 0x3C, 0x80, 0x55}));

    // Later samples carry the picture parameter set: 8 + 900 = 908.
    size_t later = WriteAvcPrefix(buffer.data(), buffer.size(), false, sps.data(), sps.size(), pps.data(), pps.size());
    EXPECT_EQ(later + 900, 908u);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 8), (Bytes{0, 0, 0, 1, 0x68, 0xCE, 0x3C, 0x80}));
    EXPECT_EQ(AvcPrefixSize(true, sps.size(), pps.size()), 22u);

    // An empty set gives no empty NAL unit.
    EXPECT_EQ(WriteAvcPrefix(buffer.data(), buffer.size(), false, nullptr, 0, nullptr, 0), 0u);
    EXPECT_EQ(WriteAvcPrefix(buffer.data(), buffer.size(), true, sps.data(), sps.size(), nullptr, 0), 14u);

    // A prefix that does not fit writes nothing.
    Bytes small(21, 0x55);
    EXPECT_EQ(WriteAvcPrefix(small.data(), small.size(), true, sps.data(), sps.size(), pps.data(), pps.size()), 0u);
    EXPECT_EQ(small, Bytes(21, 0x55));
}

TEST(AvcPrefix, SampleThatDoesNotFitTheBufferIsDetected)
{
    const size_t buffer = 2764800;
    SampleLocation sample;
    sample.size = 2764800 - 22;
    EXPECT_TRUE(sample.FitsBuffer(22, buffer));
    sample.size += 1;
    EXPECT_FALSE(sample.FitsBuffer(22, buffer));
    EXPECT_FALSE(sample.FitsBuffer(7, 0));
    sample.size = 0xFFFFFFFFu; // no wrap-around in the sum
    EXPECT_FALSE(sample.FitsBuffer(8, buffer));
    sample.size = 0;
    EXPECT_FALSE(sample.FitsBuffer(buffer + 1, buffer)); // a prefix larger than the buffer
}

TEST(StartCodeConversion, WellFormedSamples)
{
    // NAL units of 5 and 3 bytes: 4 + 5 + 4 + 3 = 16 bytes.
    EXPECT_EQ(Converted({0, 0, 0, 5, 0x65, 1, 2, 3, 4, 0, 0, 0, 3, 0x41, 7, 8}, 2),
              (Bytes{0, 0, 0, 1, 0x65, 1, 2, 3, 4, 0, 0, 0, 1, 0x41, 7, 8}));
    // A unit longer than 255 bytes: all four length bytes count.
    Bytes big(4 + 300, 0x11);
    big[0] = big[1] = 0;
    big[2] = 0x01;
    big[3] = 0x2C;
    Bytes expected = big;
    expected[2] = 0;
    expected[3] = 1;
    EXPECT_EQ(Converted(big, 1), expected);
}

TEST(StartCodeConversion, MalformedSamplesStayInsideTheirBytes)
{
    // A zero first length: the sample is left as it is.
    EXPECT_EQ(Converted({0, 0, 0, 0, 0, 0, 0, 3, 1, 2, 3}, 0), (Bytes{0, 0, 0, 0, 0, 0, 0, 3, 1, 2, 3}));
    // A length running past the end stops the conversion and stays.
    EXPECT_EQ(Converted({0, 0, 0, 2, 9, 9, 0, 0, 0, 9, 1, 2}, 1), (Bytes{0, 0, 0, 1, 9, 9, 0, 0, 0, 9, 1, 2}));
    // So does a first length running past the end.
    EXPECT_EQ(Converted({0, 0, 0, 5, 1, 2}, 0), (Bytes{0, 0, 0, 5, 1, 2}));
    // A length field cut by the end of the sample.
    EXPECT_EQ(Converted({0, 0, 0, 1, 0x09, 0, 0}, 1), (Bytes{0, 0, 0, 1, 0x09, 0, 0}));
    // The largest length does not wrap around.
    EXPECT_EQ(Converted({0, 0, 0, 1, 0x09, 0xFF, 0xFF, 0xFF, 0xFF, 1}, 1),
              (Bytes{0, 0, 0, 1, 0x09, 0xFF, 0xFF, 0xFF, 0xFF, 1}));
    // Fewer bytes than one length field, and none at all.
    EXPECT_EQ(Converted({0, 0, 1}, 0), (Bytes{0, 0, 1}));
    EXPECT_EQ(ConvertLengthPrefixesToStartCodes(nullptr, 0), 0u);

    // Nothing past the sample is read or written: the bytes after it in the
    // buffer stay, even when the last unit's length would reach them.
    Bytes buffer = {0, 0, 0, 2, 5, 6, 0, 0, 0, 4, 1, 2, /* beyond the sample: */ 3, 4};
    EXPECT_EQ(ConvertLengthPrefixesToStartCodes(buffer.data(), 12), 1u);
    EXPECT_EQ(buffer, (Bytes{0, 0, 0, 1, 5, 6, 0, 0, 0, 4, 1, 2, 3, 4}));
}

TEST(StartCodeConversion, EveryLengthSizeGivesTheSameStream)
{
    // Units of 3 and 2 bytes behind lengths of 1, 2 and 4 bytes; a unit cut by
    // the end of the sample is copied as it is. Sizes other than 1, 2 and 4
    // convert nothing.
    const Bytes units = {0, 0, 0, 1, 0x40, 1, 2, 0, 0, 0, 1, 0x26, 7};
    struct Case {
        size_t lengthSize;
        Bytes sample;
        Bytes expected;
    } cases[] = {
        {1, {3, 0x40, 1, 2, 2, 0x26, 7}, units},
        {2, {0, 3, 0x40, 1, 2, 0, 2, 0x26, 7}, units},
        {4, {0, 0, 0, 3, 0x40, 1, 2, 0, 0, 0, 2, 0x26, 7}, units},
        {2, {0, 3, 0x40, 1, 2, 0, 9, 0x26, 7}, {0, 0, 0, 1, 0x40, 1, 2, 0, 9, 0x26, 7}},
        {1, {0, 3, 1, 2}, {0, 3, 1, 2}}, // a zero first length
        {3, {0, 0, 3, 0x40, 1, 2}, {0, 0, 3, 0x40, 1, 2}},
        {0, {3, 0x40, 1, 2}, {3, 0x40, 1, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lengthSize);
        ASSERT_EQ(c.expected.size(), StartCodeSampleSize(c.sample.data(), c.sample.size(), c.lengthSize));
        Bytes out(c.expected.size() + 2, 0xEE);
        EXPECT_EQ(c.expected.size(),
                  CopyAsStartCodes(c.sample.data(), c.sample.size(), c.lengthSize, out.data(), c.expected.size()));
        EXPECT_EQ(c.expected, Bytes(out.begin(), out.end() - 2));
        EXPECT_EQ(0xEE, out.back()); // nothing written past the result
        // One byte short of room: nothing is written.
        Bytes small(c.expected.size() - 1, 0xEE);
        EXPECT_EQ(0u, CopyAsStartCodes(c.sample.data(), c.sample.size(), c.lengthSize, small.data(), small.size()));
        EXPECT_EQ(Bytes(small.size(), 0xEE), small);
    }
}

} // namespace
