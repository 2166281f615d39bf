// The families of hostile movies, shared by the files that make them.
#pragma once

#include "tests/support/HostileMovies.h"
#include "tests/support/MovieBuilder.h"
#include "tests/support/MovieEdit.h"

#include <initializer_list>
#include <string>
#include <vector>

namespace hostile {

// What the base movie gives: three track boxes, a video and a sound pin.
constexpr int kBasePins = 2;
constexpr int kBaseTracks = 3;

// Boxes of the base movie by path.
inline const std::string kVideoTrack = "moov.trak1";
inline const std::string kVideoMedia = kVideoTrack + ".mdia";
inline const std::string kVideoInfo = kVideoMedia + ".minf";
inline const std::string kVideoTable = kVideoInfo + ".stbl";
inline const std::string kVideoEntry = kVideoTable + ".stsd.avc1";
inline const std::string kAvcConfig = kVideoEntry + ".avcC";
inline const std::string kSoundTrack = "moov.trak2";
inline const std::string kSoundMedia = kSoundTrack + ".mdia";
inline const std::string kSoundInfo = kSoundMedia + ".minf";
inline const std::string kSoundTable = kSoundInfo + ".stbl";
inline const std::string kSoundEntry = kSoundTable + ".stsd.mp4a";
inline const std::string kDecoderConfig = kSoundEntry + ".esds";
inline const std::string kTextTable = "moov.trak3.mdia.minf.stbl";

// The description of the base movie, for families that build a variant of it.
MovieSpec BaseSpec();
// A fresh editor over the base movie.
MovieEdit BaseEdit();

// Collects one family's movies.
class Family {
public:
    Family(std::vector<HostileMovie>& movies, std::string family) : movies(movies), family(std::move(family)) {}

    void Add(const std::string& name, std::vector<uint8_t> bytes, int pins, int tracks = kBaseTracks,
             std::vector<size_t> samples = {});
    void Add(const std::string& name, const MovieEdit& edit, int pins, int tracks = kBaseTracks,
             std::vector<size_t> samples = {})
    {
        Add(name, edit.Bytes(), pins, tracks, std::move(samples));
    }

private:
    std::vector<HostileMovie>& movies;
    std::string family;
};

// The base movie with one 32-bit number of the box at path overwritten,
// offset counted from the box's first byte.
MovieEdit Patched(const std::string& path, size_t offset, uint32_t value);
// The base movie with the box at path replaced by replacement.
MovieEdit Replaced(const std::string& path, const std::vector<uint8_t>& replacement);
// A full box (version 0, no flags) holding these 32-bit fields, and a box
// holding nothing.
std::vector<uint8_t> FullBox(const std::string& type, std::initializer_list<uint32_t> fields);
std::vector<uint8_t> EmptyBox(const std::string& type);
// A four-character code as the number that stands for it in a box.
inline uint32_t TypeCode(const char (&code)[5])
{
    return uint32_t(uint8_t(code[0])) << 24 | uint32_t(uint8_t(code[1])) << 16 | uint32_t(uint8_t(code[2])) << 8 |
           uint32_t(uint8_t(code[3]));
}

void AddTruncatedMovies(Family& family);
void AddBoxSizeMovies(Family& family);
void AddTopLevelMovies(Family& family);
void AddTableValueMovies(Family& family);
void AddCountMovies(Family& family);
void AddEmptyTableMovies(Family& family);
void AddTimingMovies(Family& family);
void AddTimingTableMovies(Family& family);
void AddDuplicateMovies(Family& family);
void AddMissingBoxMovies(Family& family);
void AddOrderMovies(Family& family);
void AddNestingMovies(Family& family);
void AddSampleEntryMovies(Family& family);
void AddAvcConfigMovies(Family& family);
void AddDecoderConfigMovies(Family& family);
void AddHandlerMovies(Family& family);
void AddStreamKindMovies(Family& family);
void AddFragmentMovies(Family& family);

} // namespace hostile
