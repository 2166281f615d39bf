// Broken and hostile movies, each named after the damage it carries. All are
// made from one small movie of the kind real writers make (an H.264 video, an
// AAC sound and a text track, the media data before the movie box) with the
// box builder, and then cut, corrupted, duplicated, pruned or inflated. The
// parser's tests load each one; tests of the whole filter can stream each one
// end to end, and the fuzz targets start from them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct HostileMovie {
    std::string family; // the kind of damage: "truncated", "box-size", "counts", ...
    std::string name;   // unique among all, usable as a file name
    std::vector<uint8_t> bytes;
    // What a sound reading of the file gives, where the damage settles it: the
    // output pins the filter offers and the track boxes it counts; -1 where
    // the damage leaves it open.
    int expectedPins = -1;
    int expectedTracks = -1;
    // The samples each pin delivers when streamed to the end, in pin order;
    // empty where the damage leaves them open.
    std::vector<size_t> expectedSamples;
};

// The well-formed movie that every hostile movie is made from: three tracks,
// of which the video and the sound track can be streamed.
std::vector<uint8_t> HostileBaseMovie();

// Every hostile movie, families in a fixed order, each family in a fixed order.
std::vector<HostileMovie> HostileMovies();
// The families of HostileMovies, in their order.
std::vector<std::string> HostileFamilies();

// Writes every hostile movie to folder (which must exist) as <name>.mp4;
// answers how many were written, or -1 when one could not be.
int WriteHostileMovies(const std::string& folder);
