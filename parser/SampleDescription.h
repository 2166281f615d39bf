// The first sample description of a track: its format code, its picture or
// sound values, and whether the system can stream it.
#pragma once

#include "parser/BoxReader.h"
#include "parser/MovieRecord.h"
#include "parser/SampleEntry.h"

// The stream kinds the system builds a pin for.
enum class StreamFormat {
    None,
    MpegVideo, // "mp4v" in a video track
    Avc,       // "avc1" in a video track
    Aac,       // "mp4a" in a sound track
};

// Reads the contents of an "stsd" box (after its header) into entry: the kind,
// the picture or sound values and the configuration a pin needs. It also
// stores the format code in the track's sampleFormat and the picture or sound
// values (and H.264 parameter sets) in the movie record, for the track text.
void ReadSampleEntry(BoxCursor& box, HandlerKind kind, MovieRecord& movie, TrackRecord& track, SampleEntry* entry);

// The same, answering only the kinds that have a pin.
StreamFormat ReadSampleDescription(BoxCursor& box, HandlerKind kind, MovieRecord& movie, TrackRecord& track);
