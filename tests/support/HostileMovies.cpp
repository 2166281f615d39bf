// The base movie, the list of families, and the families that damage the file
// as a whole: cuts at every box boundary, wrong box sizes, top-level oddities.
#include "tests/support/HostileMovieFamilies.h"

#include "tests/support/BoxBuilder.h"

#include <set>

namespace hostile {

MovieSpec BaseSpec()
{
    MovieSpec spec;
    spec.mediaDataFirst = true; // edits of the movie box then move no sample
    spec.unknownMovieChildren = true;

    TrackSpec video;
    video.trackId = 1;
    video.trackReferenceAndEditList = true;
    video.chunkMap = {{1, 2, 1}, {3, 1, 1}};

    TrackSpec sound;
    sound.trackId = 2;
    sound.handlerType = "soun";
    sound.format = "mp4a";
    sound.timeScale = 44100;
    sound.duration = 44100;
    sound.audioSpecificConfig = {0x12, 0x10}; // AAC LC, 44,100 Hz, stereo
    sound.chunkMap = {{1, 4, 1}};
    sound.dataHandlerName = "\x0c"
                            "SoundHandler";

    TrackSpec text;
    text.trackId = 3;
    text.handlerType = "text";
    text.format = "tx3g";
    text.timeScale = 600;
    text.duration = 600;
    text.chunkMap = {{1, 5, 1}};

    spec.tracks = {video, sound, text};
    return spec;
}

MovieEdit BaseEdit()
{
    return MovieEdit(HostileBaseMovie());
}

MovieEdit Patched(const std::string& path, size_t offset, uint32_t value)
{
    MovieEdit edit = BaseEdit();
    edit.PutIn(path, offset, value);
    return edit;
}

MovieEdit Replaced(const std::string& path, const std::vector<uint8_t>& replacement)
{
    MovieEdit edit = BaseEdit();
    edit.InsertAfter(path, replacement).Remove(path);
    return edit;
}

std::vector<uint8_t> FullBox(const std::string& type, std::initializer_list<uint32_t> fields)
{
    BoxBuilder box;
    box.BeginFull(type);
    for (uint32_t field : fields)
        box.U32(field);
    return box.End().Data();
}

std::vector<uint8_t> EmptyBox(const std::string& type)
{
    BoxBuilder box;
    return box.Begin(type).End().Data();
}

void Family::Add(const std::string& name, std::vector<uint8_t> bytes, int pins, int tracks, std::vector<size_t> samples)
{
    HostileMovie movie;
    movie.family = family;
    movie.name = family + "-" + name;
    for (char& c : movie.name)
        if (c == ' ' || c == '/' || c == '\\')
            c = '_';
    movie.bytes = std::move(bytes);
    movie.expectedPins = pins;
    movie.expectedTracks = tracks;
    movie.expectedSamples = std::move(samples);
    movies.push_back(std::move(movie));
}

// Cut at the start and at the end of every box. Each track box that lies
// wholly before the cut is read, with its pin where it has one; a track box
// that runs past the cut ends the walk of the movie box.
void AddTruncatedMovies(Family& family)
{
    const MovieEdit base = BaseEdit();
    const BoxPlace& movie = base.Box("moov");
    std::set<size_t> cuts;
    for (const BoxPlace& box : base.Boxes()) {
        for (const bool atStart : {true, false}) {
            const size_t cut = atStart ? box.start : box.End();
            if (cut >= base.Size() || !cuts.insert(cut).second)
                continue;
            int tracks = 0;
            int pins = 0;
            for (const BoxPlace& track : base.Boxes()) {
                if (track.type != "trak" || track.End() > cut || cut < movie.start + 8)
                    continue;
                ++tracks;
                pins += track.path == kVideoTrack || track.path == kSoundTrack ? 1 : 0;
            }
            std::vector<uint8_t> bytes(base.Bytes().begin(), base.Bytes().begin() + std::ptrdiff_t(cut));
            family.Add((atStart ? "at-start-of-" : "at-end-of-") + box.path, std::move(bytes), pins, tracks);
        }
    }
}

// Sizes that no walk can use: 0 and 1 (no extended sizes inside the movie
// box), below the header, the largest, and one byte past the container. Each
// ends the walk of its container, and what that container still had to say
// is lost.
void AddBoxSizeMovies(Family& family)
{
    struct Target {
        std::string path;
        int pins;
        int tracks;
    };
    const Target inner[] = {
        {"moov.mvhd", 0, 0},
        {"moov.udta", 0, 0},
        {kVideoTrack, 0, 0},
        {kSoundTrack, 1, 1},
        {"moov.trak3", 2, 2},
        {kVideoTrack + ".tkhd", 1, 3},
        {kVideoTrack + ".edts", 1, 3},
        {kVideoMedia, 1, 3},
        {kVideoMedia + ".mdhd", 1, 3},
        {kVideoMedia + ".hdlr", 1, 3},
        {kVideoInfo, 1, 3},
        {kVideoInfo + ".dinf", 1, 3},
        {kVideoTable, 1, 3},
        {kVideoTable + ".stsd", 1, 3},
        {kVideoEntry, 1, 3},
        {kAvcConfig, 2, 3}, // the entry stays: a pin without parameter sets
        {kVideoTable + ".stts", 1, 3},
        {kVideoTable + ".stsc", 1, 3},
        {kVideoTable + ".stsz", 1, 3},
        {kVideoTable + ".stco", 1, 3},
        {kSoundMedia + ".mdhd", 1, 3},
        {kSoundInfo + ".hdlr", 1, 3},
        {kSoundEntry, 1, 3},
        {kDecoderConfig, 2, 3}, // the entry's own sound values stand
        {kSoundTable + ".stsz", 1, 3},
        {kSoundTable + ".stco", 1, 3},
        {kTextTable + ".stsd", 2, 3},
    };
    const MovieEdit base = BaseEdit();
    for (const Target& target : inner) {
        const BoxPlace& box = base.Box(target.path);
        const std::string parentPath = target.path.substr(0, target.path.rfind('.'));
        const uint32_t pastParent = uint32_t(base.Box(parentPath).End() - box.start + 1);
        const std::pair<const char*, uint32_t> sizes[] = {
            {"0", 0}, {"1", 1}, {"7", 7}, {"ffffffff", 0xFFFFFFFF}, {"past-parent", pastParent}};
        for (const auto& size : sizes)
            family.Add(std::string(size.first) + "-" + target.path,
                       MovieEdit(base).Put32(box.start, size.second).Bytes(), target.pins, target.tracks);
    }

    // At the top level a size of 0 runs to the end of the file, 1 takes the
    // 64-bit size that follows, and a box past the end is cut there: damage
    // before the movie box hides it, the movie box itself survives some.
    struct TopLevelCase {
        const char* name;
        uint32_t size; // 0xFFFFFFFE: one byte past the end of the file
        int moviePins; // when the movie box carries it
        int movieTracks;
    };
    const TopLevelCase topLevel[] = {
        {"0", 0, kBasePins, kBaseTracks},
        {"1", 1, 0, 0}, // the movie header's size and type make a 64-bit size; what follows is no box
        {"7", 7, 0, 0},
        {"ffffffff", 0xFFFFFFFF, kBasePins, kBaseTracks},
        {"past-end-of-file", 0xFFFFFFFE, kBasePins, kBaseTracks},
    };
    for (const char* path : {"ftyp", "mdat", "moov"}) {
        const BoxPlace& box = base.Box(path);
        const bool movie = box.type == "moov";
        for (const TopLevelCase& size : topLevel) {
            const uint32_t value = size.size == 0xFFFFFFFE ? uint32_t(base.Size() - box.start + 1) : size.size;
            family.Add(std::string(size.name) + "-" + path, MovieEdit(base).Put32(box.start, value).Bytes(),
                       movie ? size.moviePins : 0, movie ? size.movieTracks : 0);
        }
    }
}

std::vector<uint8_t> U64Bytes(uint64_t value)
{
    BoxBuilder bytes;
    bytes.U64(value);
    return bytes.Data();
}

// Files that are not movies, or movies with the top-level forms that only the
// top level knows (64-bit sizes, a box running to the end of the file).
void AddTopLevelMovies(Family& family)
{
    family.Add("empty-file", {}, 0, 0);
    family.Add("four-bytes", {0, 0, 0, 8}, 0, 0);
    const MovieEdit base = BaseEdit();
    family.Add("only-file-type", base.Copy("ftyp"), 0, 0);
    family.Add("only-movie-box", base.Copy("moov"), kBasePins, kBaseTracks);

    // A deterministic scramble: no movie box can be found in it.
    std::vector<uint8_t> noise(4096);
    uint32_t state = 0x2545F491;
    for (uint8_t& byte : noise) {
        state = state * 1664525u + 1013904223u;
        byte = uint8_t(state >> 24);
    }
    family.Add("random-bytes", noise, 0, 0);

    const BoxPlace& ftyp = base.Box("ftyp");
    const std::vector<uint8_t> openFree = {0, 0, 0, 0, 'f', 'r', 'e', 'e'};
    family.Add("free-box-to-end-of-file-before-movie", MovieEdit(base).Insert("", ftyp.End(), openFree), 0, 0);

    const BoxPlace& movie = base.Box("moov");
    MovieEdit longMovie(base);
    longMovie.Insert("", movie.start + 8, U64Bytes(movie.size + 8)).Put32(movie.start, 1);
    family.Add("movie-box-with-64-bit-size", longMovie, kBasePins, kBaseTracks);

    const BoxPlace& mediaData = base.Box("mdat");
    const std::pair<const char*, uint64_t> mediaDataSizes[] = {
        {"media-data-with-64-bit-size", mediaData.size + 8},
        {"media-data-with-64-bit-size-past-end", 0xFFFFFFFFFFFFFFFF},
        {"media-data-with-64-bit-size-below-16", 8},
        {"media-data-with-64-bit-size-past-2-gib", 0x80000000},
    };
    for (const auto& size : mediaDataSizes) {
        MovieEdit edit(base);
        edit.Insert("", mediaData.start + 8, U64Bytes(size.second)).Put32(mediaData.start, 1);
        const bool right = size.second == mediaData.size + 8;
        family.Add(size.first, edit, right ? kBasePins : 0, right ? kBaseTracks : 0);
    }
}

namespace {

struct FamilyMaker {
    const char* name;
    void (*add)(Family& family);
};

const FamilyMaker kFamilies[] = {
    {"truncated", AddTruncatedMovies},
    {"size", AddBoxSizeMovies},
    {"top-level", AddTopLevelMovies},
    {"table-values", AddTableValueMovies},
    {"counts", AddCountMovies},
    {"empty", AddEmptyTableMovies},
    {"timing", AddTimingMovies},
    {"duplicate", AddDuplicateMovies},
    {"missing", AddMissingBoxMovies},
    {"order", AddOrderMovies},
    {"nesting", AddNestingMovies},
    {"sample-entry", AddSampleEntryMovies},
    {"avc-config", AddAvcConfigMovies},
    {"decoder-config", AddDecoderConfigMovies},
    {"handler", AddHandlerMovies},
    {"timing-tables", AddTimingTableMovies},
    {"stream-kinds", AddStreamKindMovies},
    {"fragments", AddFragmentMovies},
};

} // namespace

} // namespace hostile

std::vector<uint8_t> HostileBaseMovie()
{
    return BuildMovie(hostile::BaseSpec());
}

std::vector<HostileMovie> HostileMovies()
{
    std::vector<HostileMovie> movies;
    for (const hostile::FamilyMaker& maker : hostile::kFamilies) {
        hostile::Family family(movies, maker.name);
        maker.add(family);
    }
    return movies;
}

std::vector<std::string> HostileFamilies()
{
    std::vector<std::string> names;
    for (const hostile::FamilyMaker& maker : hostile::kFamilies)
        names.push_back(maker.name);
    return names;
}

int WriteHostileMovies(const std::string& folder)
{
    int written = 0;
    for (const HostileMovie& movie : HostileMovies()) {
        if (!WriteFileBytes(folder + "/" + movie.name + ".mp4", movie.bytes))
            return -1;
        ++written;
    }
    return written;
}
