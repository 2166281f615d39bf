// The reader's window must hand back exactly the file's bytes whatever the
// order of the reads: interleaved tracks jump back and forth across it.
#include "streams/FileReader.h"
#include "platform/Platform.h"
#include "tests/support/Fixtures.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <vector>

namespace {

class FileReaderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Long enough for several windows; no two neighbouring bytes repeat a
        // pattern a misplaced copy could match.
        bytes.resize(3 * FileReader::kWindowSize + 1234);
        std::mt19937 random(7);
        for (uint8_t& byte : bytes)
            byte = static_cast<uint8_t>(random());
        path = TempPath("file-reader.bin");
        std::FILE* file = std::fopen(path.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
        std::fclose(file);
        ASSERT_TRUE(reader.Open(path.c_str()));
    }
    void TearDown() override
    {
        reader.Close();
        std::remove(path.c_str());
    }

    // Reads and checks one span; the count must be what the file holds there.
    void ExpectRead(int64_t offset, size_t size)
    {
        std::vector<uint8_t> out(size + 1, 0xEE);
        const size_t expected = offset >= int64_t(bytes.size()) ? 0 : std::min(size, bytes.size() - size_t(offset));
        ASSERT_EQ(reader.ReadAt(offset, out.data(), size), expected) << "at " << offset << " size " << size;
        for (size_t i = 0; i < expected; ++i)
            ASSERT_EQ(out[i], bytes[size_t(offset) + i]) << "byte " << i << " of the read at " << offset;
        EXPECT_EQ(out[size], 0xEE) << "wrote past the read at " << offset;
    }

    std::vector<uint8_t> bytes;
    std::string path;
    FileReader reader;
};

TEST_F(FileReaderTest, InterleavedReadsAcrossTheWindowReturnTheFileBytes)
{
    // Two interleaved tracks stepping forward, each now and then jumping
    // back, with sizes from a few bytes to more than the window.
    std::mt19937 random(11);
    int64_t tracks[2] = {0, 5000};
    for (int step = 0; step < 4000; ++step) {
        int64_t& at = tracks[step % 2];
        size_t size = random() % 16 == 0 ? random() % (2 * FileReader::kWindowSize) : random() % 900;
        if (random() % 50 == 0)
            at = int64_t(random() % bytes.size());
        ExpectRead(at, size);
        at = (at + int64_t(size) + int64_t(random() % 3000)) % int64_t(bytes.size());
    }
}

TEST_F(FileReaderTest, ReadsAtTheEndAreShortAndTheReaderStaysUsable)
{
    const int64_t end = int64_t(bytes.size());
    ExpectRead(end - 10, 100);                      // short, through the window
    ExpectRead(end - 10, FileReader::kWindowSize); // short, straight from the file
    ExpectRead(end, 4);
    ExpectRead(end + 100000, 4);
    ExpectRead(0, 16); // back to the start after reads that met the end
    ExpectRead(end - 4, 4);

    uint32_t value = 0;
    EXPECT_FALSE(reader.ReadBigEndian32At(end - 3, &value));
    ASSERT_TRUE(reader.ReadBigEndian32At(end - 4, &value));
    EXPECT_EQ(value, uint32_t(bytes[bytes.size() - 4]) << 24 | uint32_t(bytes[bytes.size() - 3]) << 16 |
                         uint32_t(bytes[bytes.size() - 2]) << 8 | bytes[bytes.size() - 1]);

    uint8_t out[4];
    EXPECT_EQ(reader.ReadAt(-1, out, sizeof out), 0u);
    reader.Close();
    EXPECT_EQ(reader.ReadAt(0, out, sizeof out), 0u);
}

TEST(FileReaderLarge, ReadsPastTwoAndFourGibibytesReturnTheFileBytes)
{
    // A sparse file with marks just before 2 GiB, across 4 GiB and at its
    // end: the C run time's own seek takes a 32-bit long on Windows.
    const std::string path = TempPath("file-reader-large.bin");
    const uint8_t marks[][4] = {{1, 2, 3, 4}, {5, 6, 7, 8}, {9, 10, 11, 12}};
    const int64_t places[] = {0x7FFFFFFEll, 0xFFFFFFFEll, 0x100001000ll};
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    for (size_t i = 0; i < 3; ++i) {
        ASSERT_EQ(0, _fseeki64(file, places[i], SEEK_SET));
        ASSERT_EQ(4u, std::fwrite(marks[i], 1, 4, file));
    }
    std::fclose(file);

    FileReader reader;
    ASSERT_TRUE(reader.Open(path.c_str()));
    for (size_t i : {2, 0, 1}) { // out of order: every read seeks
        uint32_t value = 0;
        EXPECT_TRUE(reader.ReadBigEndian32At(places[i], &value)) << i;
        EXPECT_EQ(uint32_t(marks[i][0]) << 24 | marks[i][1] << 16 | marks[i][2] << 8 | marks[i][3], value) << i;
    }
    uint64_t across = 0; // a 64-bit offset read across the 4 GiB line
    EXPECT_TRUE(reader.ReadBigEndian64At(places[1] - 4, &across));
    EXPECT_EQ(0x05060708ull, across);
    uint8_t tail[8] = {};
    EXPECT_EQ(4u, reader.ReadAt(places[2], tail, sizeof tail)); // short at the end
    EXPECT_FALSE(reader.ReadBigEndian64At(places[2], &across));
    reader.Close();
    std::remove(path.c_str());
}

} // namespace
