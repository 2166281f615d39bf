#include "parser/MovieParser.h"

#include "parser/BoxReader.h"
#include "parser/EditList.h"
#include "parser/SampleTableParser.h"
#include "parser/TrackInfoText.h"

#include <cstring>

namespace {

// Track boxes beyond this many are skipped: each costs a record and 1000 bytes
// of track text, and no real movie comes near it, while a hostile one could
// hold millions of empty track boxes.
constexpr int32_t kMaxTracks = 1024;

// Creation and modification times precede the time scale: 4 bytes each in
// version 0 headers, 8 in version 1.
int64_t HeaderTimesSize(uint8_t version)
{
    return version == 1 ? 16 : 8;
}

class MovieParser {
  public:
    MovieParser(MovieRecord& movie, ParserHost& host) : movie(movie), host(host) {}

    void ParseMovieBox(BoxCursor& box);

  private:
    struct MediaState {
        HandlerKind kind = HandlerKind::Other;
        REFERENCE_TIME mediaDuration = 0;
    };

    void ParseMovieHeader(BoxCursor& box);
    void ParseTrackBox(BoxCursor& box);
    void ParseTrack(BoxCursor& box);
    void ParseTrackHeader(BoxCursor& box);
    void ParseEditBox(BoxCursor& box);
    void ParseEditList(BoxCursor& box);
    void ParseMediaBox(BoxCursor& box);
    void ParseMedia(BoxCursor& box);
    void ParseMediaHeader(BoxCursor& box);
    void ParseMediaHandler(BoxCursor& box);
    void ParseMediaInfo(BoxCursor& box);
    void ParseDataHandler(BoxCursor& box);
    void ParseSampleTableBox(BoxCursor& box);

    // Reads the time scale and duration of a movie or media header.
    static bool ReadTimeScaleAndDuration(BoxCursor& box, uint32_t* timeScale, uint64_t* duration);

    MovieRecord& movie;
    ParserHost& host;
    MediaState media; // of the media box being walked
    // A track has one sample table: later ones in the same track box (in a
    // second media information or media box, say) are not walked, so that a
    // track never asks for a second pin nor overwrites its record with
    // another table's values.
    bool trackHasSampleTable = false;
    // Of the track being walked: its first edit list. The edit box comes
    // before the media box in the files that have one; one that comes after
    // it is not applied.
    EditStart trackEdit;
    bool trackHasEditList = false;
};

void MovieParser::ParseMovieBox(BoxCursor& box)
{
    static const BoxHandler<MovieParser> handlers[] = {
        {FourCC("mvhd"), &MovieParser::ParseMovieHeader},
        {FourCC("trak"), &MovieParser::ParseTrackBox},
    };
    WalkBoxes(box, handlers, *this);
}

bool MovieParser::ReadTimeScaleAndDuration(BoxCursor& box, uint32_t* timeScale, uint64_t* duration)
{
    uint8_t version = 0;
    box.Read8(&version);
    box.Skip(3 + HeaderTimesSize(version));
    box.Read32(timeScale);
    if (version == 1)
        return box.Read64(duration);
    uint32_t duration32 = 0;
    box.Read32(&duration32);
    *duration = duration32;
    return box.Ok();
}

// A version 1 duration that does not fit the record's 32-bit field shows as the
// largest value there; the media duration is computed from the full value.
uint32_t RecordDuration(uint64_t duration)
{
    return duration > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(duration);
}

void MovieParser::ParseMovieHeader(BoxCursor& box)
{
    uint32_t timeScale = 0;
    uint64_t duration = 0;
    if (!ReadTimeScaleAndDuration(box, &timeScale, &duration))
        return;
    movie.movieTimeScale = timeScale;
    movie.movieDuration = RecordDuration(duration);
}

void MovieParser::ParseTrackBox(BoxCursor& box)
{
    if (movie.trackCount >= kMaxTracks)
        return;
    ++movie.trackCount;
    trackHasSampleTable = false;
    trackEdit = EditStart();
    trackHasEditList = false;
    // Without memory for a record the track's boxes go into the previous tail,
    // which always exists (the sentinel at worst).
    movie.AppendTrack();
    ParseTrack(box);
}

void MovieParser::ParseTrack(BoxCursor& box)
{
    static const BoxHandler<MovieParser> handlers[] = {
        {FourCC("tkhd"), &MovieParser::ParseTrackHeader},
        {FourCC("edts"), &MovieParser::ParseEditBox},
        {FourCC("mdia"), &MovieParser::ParseMediaBox},
    };
    WalkBoxes(box, handlers, *this);
}

void MovieParser::ParseEditBox(BoxCursor& box)
{
    static const BoxHandler<MovieParser> handlers[] = {
        {FourCC("elst"), &MovieParser::ParseEditList},
    };
    WalkBoxes(box, handlers, *this);
}

void MovieParser::ParseEditList(BoxCursor& box)
{
    if (trackHasEditList)
        return;
    trackHasEditList = true;
    ReadEditList(box, &trackEdit);
}

void MovieParser::ParseTrackHeader(BoxCursor& box)
{
    uint8_t version = 0;
    uint32_t trackId = 0;
    box.Read8(&version);
    box.Skip(3 + HeaderTimesSize(version));
    if (box.Read32(&trackId))
        movie.trackListTail->trackId = trackId;
}

void MovieParser::ParseMediaBox(BoxCursor& box)
{
    // The kind and duration of a media box are known only from its own headers.
    media = MediaState();
    ParseMedia(box);
}

void MovieParser::ParseMedia(BoxCursor& box)
{
    static const BoxHandler<MovieParser> handlers[] = {
        {FourCC("mdhd"), &MovieParser::ParseMediaHeader},
        {FourCC("hdlr"), &MovieParser::ParseMediaHandler},
        {FourCC("minf"), &MovieParser::ParseMediaInfo},
    };
    WalkBoxes(box, handlers, *this);
}

void MovieParser::ParseMediaHeader(BoxCursor& box)
{
    uint32_t timeScale = 0;
    uint64_t duration = 0;
    if (!ReadTimeScaleAndDuration(box, &timeScale, &duration))
        return;
    TrackRecord& track = *movie.trackListTail;
    track.timeScale = timeScale;
    track.duration = RecordDuration(duration);
    media.mediaDuration = MediaDuration(duration, timeScale);
}

void MovieParser::ParseMediaHandler(BoxCursor& box)
{
    uint32_t handlerType = 0;
    box.Skip(8); // version and flags, pre-defined (the component type in QuickTime)
    if (!box.Read32(&handlerType))
        return;
    FourCCText(handlerType, movie.trackListTail->handlerType);
    // Any other handler type leaves the kind as an earlier handler box set it.
    if (handlerType == FourCC("vide"))
        media.kind = HandlerKind::Video;
    else if (handlerType == FourCC("soun"))
        media.kind = HandlerKind::Sound;
    else if (handlerType == FourCC("text"))
        media.kind = HandlerKind::Text;
}

void MovieParser::ParseMediaInfo(BoxCursor& box)
{
    static const BoxHandler<MovieParser> handlers[] = {
        {FourCC("hdlr"), &MovieParser::ParseDataHandler},
        {FourCC("stbl"), &MovieParser::ParseSampleTableBox},
    };
    WalkBoxes(box, handlers, *this);
}

void MovieParser::ParseDataHandler(BoxCursor& box)
{
    // Version and flags, component type and subtype, 12 reserved bytes; the
    // name follows as it stands, a QuickTime length byte included.
    if (!box.Skip(24))
        return;
    char(&name)[32] = movie.trackListTail->handlerName;
    const size_t length = box.Remaining() < int64_t(sizeof name - 1) ? size_t(box.Remaining()) : sizeof name - 1;
    char bytes[sizeof name] = {};
    if (!box.ReadBytes(bytes, length))
        return;
    std::memcpy(name, bytes, sizeof name);
}

void MovieParser::ParseSampleTableBox(BoxCursor& box)
{
    if (trackHasSampleTable)
        return;
    trackHasSampleTable = true;
    ParseSampleTable(box, media.kind, media.mediaDuration, trackEdit, movie, *movie.trackListTail, host);
}

} // namespace

REFERENCE_TIME MediaDuration(uint64_t duration, uint32_t timeScale)
{
    if (timeScale == 0)
        return 0;
    const double units = double(duration) / double(timeScale) * 10000000.0;
    // Only a version 1 header reaches past the largest time.
    if (units >= 9.2e18)
        return 0x7FFFFFFFFFFFFFFF;
    return REFERENCE_TIME(units);
}

int ParseMovie(MovieRecord& movie, ParserHost& host)
{
    if (movie.parseFile || !std::memchr(movie.filePath, '\0', sizeof movie.filePath))
        return 0;
    movie.parseFile = std::fopen(movie.filePath, "rb");
    if (!movie.parseFile)
        return 0;

    // Every top-level box but the first movie box is skipped unread, so the movie
    // box may stand before or after the media data.
    BoxReader reader(movie.parseFile);
    BoxHeader header;
    if (FindTopLevelBox(reader, FourCC("moov"), &header)) {
        // A fragmented movie's tracks are handed their fragments with their
        // tables, so the fragments are found first.
        movie.fragments.ReadDefaults(header.payload);
        movie.fragments.Index(reader);
        MovieParser(movie, host).ParseMovieBox(header.payload);
    }

    BuildTrackInfoText(movie);
    return movie.hasVideo || movie.hasAudio ? 1 : 0;
}
