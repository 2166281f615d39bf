// The first sample description of a track: its format code, its picture or
// sound values, and whether the system can stream it.
#pragma once

#include "parser/BoxReader.h"
#include "parser/MovieRecord.h"

// The stream kinds the system builds a pin for.
enum class StreamFormat {
    None,
    MpegVideo, // "mp4v" in a video track
    Avc,       // "avc1" in a video track
    Aac,       // "mp4a" in a sound track
};

// Reads the contents of an "stsd" box (after its header): the format code into
// the track's sampleFormat; for a video track the picture size, depth and
// H.264 parameter sets, for a sound track the channel count, sample size and
// rate, into the movie record. Answers the stream kind that the track can have.
StreamFormat ReadSampleDescription(BoxCursor& box, HandlerKind kind, MovieRecord& movie, TrackRecord& track);
