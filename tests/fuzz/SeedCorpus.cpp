// Writes the seed corpus of the fuzz targets: every hostile movie, and each
// movie named on the command line. With --movie-box-only the media data of
// those movies is left out (its box keeps only its header), so that the movie
// box of a movie that stores it last still lies within the fuzzers' input
// length; the parser never reads the media data.
//
//   fuzz_seed_corpus FOLDER [--movie-box-only] [MOVIE...]
#include "tests/support/BoxBuilder.h"
#include "tests/support/HostileMovies.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

uint32_t Read32(const std::vector<uint8_t>& bytes, size_t at)
{
    return uint32_t(bytes[at]) << 24 | uint32_t(bytes[at + 1]) << 16 | uint32_t(bytes[at + 2]) << 8 | bytes[at + 3];
}

// The top-level boxes as they stand, each media data box cut to its header.
std::vector<uint8_t> WithoutMediaData(const std::vector<uint8_t>& bytes)
{
    std::vector<uint8_t> kept;
    size_t at = 0;
    while (at + 8 <= bytes.size()) {
        const uint32_t size = Read32(bytes, at);
        if (size < 8 || size > bytes.size() - at)
            break;
        if (std::memcmp(&bytes[at + 4], "mdat", 4) == 0) {
            const uint8_t header[8] = {0, 0, 0, 8, 'm', 'd', 'a', 't'};
            kept.insert(kept.end(), header, header + 8);
        } else {
            kept.insert(kept.end(), bytes.begin() + std::ptrdiff_t(at), bytes.begin() + std::ptrdiff_t(at + size));
        }
        at += size;
    }
    kept.insert(kept.end(), bytes.begin() + std::ptrdiff_t(at), bytes.end());
    return kept;
}

std::string BaseName(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FOLDER [--movie-box-only] [MOVIE...]\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    const int hostile = WriteHostileMovies(folder);
    if (hostile < 0) {
        std::fprintf(stderr, "%s: cannot write the hostile movies\n", folder.c_str());
        return 1;
    }
    bool movieBoxOnly = false;
    int movies = 0;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--movie-box-only") == 0) {
            movieBoxOnly = true;
            continue;
        }
        const std::vector<uint8_t> bytes = ReadFileBytes(argv[i]);
        if (bytes.empty()) {
            std::fprintf(stderr, "%s: cannot read it\n", argv[i]);
            return 1;
        }
        const std::string target = folder + "/movie-" + BaseName(argv[i]);
        if (!WriteFileBytes(target, movieBoxOnly ? WithoutMediaData(bytes) : bytes)) {
            std::fprintf(stderr, "%s: cannot write it\n", target.c_str());
            return 1;
        }
        ++movies;
    }
    std::printf("%d hostile movies and %d movies in %s\n", hostile, movies, folder.c_str());
    return 0;
}
