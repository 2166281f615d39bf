// Damaged and hostile movies: each parse ends, reads and writes only inside its
// buffers, leaks nothing (ASan and UBSan builds check that), and gives either
// nothing or a consistent part of the movie.
#include "tests/parser/FakeParserHost.h"
#include "tests/parser/TrackSpecs.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <system_error>

namespace {

// Overwrites the 32-bit number at offset bytes into the first box of this type.
void PatchBox(std::vector<uint8_t>& bytes, const std::string& type, size_t offset, uint32_t value)
{
    const std::string text(bytes.begin(), bytes.end());
    const size_t at = text.find(type);
    ASSERT_NE(std::string::npos, at) << type;
    for (int i = 0; i < 4; ++i)
        bytes[at - 4 + offset + size_t(i)] = uint8_t(value >> (24 - 8 * i));
}

BoxBuilder FileType()
{
    BoxBuilder file;
    file.Begin("ftyp").Text("isom").U32(0x200).Text("isom").End();
    return file;
}

void WriteMovieHeader(BoxBuilder& box)
{
    box.BeginFull("mvhd").U32(0).U32(0).U32(1000).U32(1000).Zeros(80).End();
}

TEST(HostileInput, BoxSizesThatCannotBeWalkedEndTheirContainer)
{
    // 0 and 1 (no extended sizes inside the movie box), below the header, past the movie box.
    for (uint32_t size : {0u, 1u, 7u, 0x10000u}) {
        SCOPED_TRACE(size);
        BoxBuilder file = FileType();
        file.Begin("moov");
        WriteMovieHeader(file);
        WriteTrack(file, VideoTrack(1), 0);
        file.U32(size).Text("free").Zeros(24); // the damaged box
        WriteTrack(file, VideoTrack(2), 0);
        file.End();
        auto parsed = ParseBytes(file.Data());
        EXPECT_EQ(1, parsed->result);
        EXPECT_EQ(1, parsed->movie->trackCount);
        EXPECT_EQ(1u, parsed->host.Pins().size());
    }
}

TEST(HostileInput, DamagedBoxInsideSampleTableEndsOnlyThatTable)
{
    MovieSpec spec = MovieOf({VideoTrack(1), SoundTrack(2)});
    std::vector<uint8_t> bytes = BuildMovie(spec);
    PatchBox(bytes, "stsc", 0, 3); // the video track's sample-to-chunk box claims 3 bytes
    auto parsed = ParseBytes(bytes);
    EXPECT_EQ(2, parsed->movie->trackCount);
    ASSERT_EQ(1u, parsed->host.Pins().size());
    EXPECT_EQ("QT AAC Out", parsed->host.requests[0].name);
    EXPECT_EQ(0u, parsed->Track(0)->sampleCount);
}

TEST(HostileInput, TopLevelExtendedSizesAreHonoured)
{
    const std::vector<uint8_t> movie = BuildMovie(MovieOf({VideoTrack()}));
    const std::vector<uint8_t> movieBox(movie.begin() + 32, movie.end() - 8 - 80); // after ftyp, before mdat
    ASSERT_EQ('m', movieBox[4]);

    BoxBuilder large = FileType(); // media data with a 64-bit size, then the movie box
    large.U32(1).Text("mdat").U64(16 + 4000).Zeros(4000).Bytes(movieBox);
    EXPECT_EQ(1, ParseBytes(large.Data())->result);

    BoxBuilder open = FileType(); // a movie box of size 0 runs to the end of the file
    open.Bytes(movieBox);
    open.Patch32(32, 0);
    EXPECT_EQ(1, ParseBytes(open.Data())->result);

    BoxBuilder last = FileType(); // a free box of size 0 hides what follows
    last.U32(0).Text("free").Zeros(8).Bytes(movieBox);
    EXPECT_EQ(0, ParseBytes(last.Data())->result);

    for (uint64_t size : {uint64_t(8), uint64_t(0xFFFFFFFFFFFFFFFF)}) { // below 16, far past the end
        BoxBuilder damaged = FileType();
        damaged.U32(1).Text("mdat").U64(size).Bytes(movieBox);
        EXPECT_EQ(0, ParseBytes(damaged.Data())->result);
    }
    BoxBuilder tiny = FileType();
    tiny.U32(5).Text("free").Bytes(movieBox);
    EXPECT_EQ(0, ParseBytes(tiny.Data())->result);
}

TEST(HostileInput, TableCountsBeyondTheirBoxesAllocateNothingAndMakeNoPin)
{
    std::vector<uint8_t> bytes = BuildMovie(MovieOf({VideoTrack()}));
    PatchBox(bytes, "stsc", 12, 0x7FFFFFFF);
    auto parsed = ParseBytes(bytes);
    EXPECT_EQ(0, parsed->result);

    bytes = BuildMovie(MovieOf({VideoTrack()}));
    PatchBox(bytes, "stsz", 16, 1000); // ten entries in the box
    parsed = ParseBytes(bytes);
    EXPECT_EQ(1000u, parsed->Track(0)->sampleCount);
    EXPECT_EQ(0, parsed->result);

    bytes = BuildMovie(MovieOf({VideoTrack()}));
    PatchBox(bytes, "stco", 12, 0x40000000);
    EXPECT_EQ(0, ParseBytes(bytes)->result);
}

TEST(HostileInput, ParameterSetLengthPastItsBoxIsNotRead)
{
    std::vector<uint8_t> bytes = BuildMovie(MovieOf({VideoTrack()}));
    const std::string text(bytes.begin(), bytes.end());
    const size_t avcC = text.find("avcC");
    ASSERT_NE(std::string::npos, avcC);
    bytes[avcC + 10] = 0xFF; // the sequence parameter set length: 0xFF05
    auto parsed = ParseBytes(bytes);
    const BYTE* sps = nullptr;
    int32_t size = 1;
    parsed->movie->GetSequenceParameterSet(&sps, &size);
    EXPECT_EQ(nullptr, sps);
    EXPECT_EQ(0, size);
    ASSERT_EQ(1u, parsed->host.requests.size());
    EXPECT_EQ(112u, ULONG(parsed->host.requests[0].type.cbFormat));
}

TEST(HostileInput, TrackCountIsBounded)
{
    BoxBuilder file = FileType();
    file.Begin("moov");
    for (int i = 0; i < 3000; ++i)
        file.U32(8).Text("trak");
    file.End();
    auto parsed = ParseBytes(file.Data());
    EXPECT_EQ(1024, parsed->movie->trackCount);
    EXPECT_LE(parsed->Text().size(), size_t(1024) * 1000);
    EXPECT_NE(nullptr, parsed->Track(1023));
    EXPECT_EQ(nullptr, parsed->Track(1024));
}

TEST(HostileInput, MovieBoxBeyondFourGibibytesIsRead)
{
    // Media data with a 64-bit size that ends past 4 GiB, the movie box after
    // it: positions are 64-bit all the way.
    const std::vector<uint8_t> movie = BuildMovie(MovieOf({VideoTrack()}));
    const std::vector<uint8_t> movieBox(movie.begin() + 32, movie.end() - 8 - 80);
    ASSERT_EQ('m', movieBox[4]);
    const uint64_t movieAt = 0x100000000ull + 64;
    BoxBuilder head = FileType();
    const uint64_t mediaDataAt = head.Data().size();
    head.U32(1).Text("mdat").U64(movieAt - mediaDataAt);
    const std::string path = ScratchPath();
    ASSERT_TRUE(WriteFileBytes(path, head.Data()));
    std::error_code error;
    std::filesystem::resize_file(path, movieAt, error); // sparse: nothing is written
    ASSERT_FALSE(error) << error.message();
    FILE* file = std::fopen(path.c_str(), "ab");
    ASSERT_NE(nullptr, file);
    ASSERT_EQ(movieBox.size(), std::fwrite(movieBox.data(), 1, movieBox.size(), file));
    std::fclose(file);
    ASSERT_EQ(movieAt + movieBox.size(), std::filesystem::file_size(path));

    auto parsed = ParseFile(path);
    parsed->scratchFile = path;
    EXPECT_EQ(1, parsed->movie->trackCount);
    EXPECT_EQ(10u, parsed->Track(0)->sampleCount);
    EXPECT_EQ(1u, parsed->host.requests.size());
}

} // namespace
