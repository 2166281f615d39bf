// Where a track's edit list makes its media begin on the movie's time line:
// the empty edits in front of it, and the media time of the first edit that
// shows any media. Only that edit is applied; a track that cuts and repeats
// its media in later edits plays its media once from there.
#pragma once

#include "parser/BoxReader.h"

#include <cstdint>

struct EditStart {
    bool present = false;   // an edit with media was found
    int64_t mediaTime = 0;  // media time where the presentation begins, in the media's time scale
    uint64_t emptyTime = 0; // empty edits before it, in the movie's time scale
    uint64_t mediaSpan = 0; // that edit's duration in the movie's time scale; 0: to the media's end
    bool damaged = false;   // the list could not be used: the track's times are not to be trusted
};

// Reads an "elst" box (versions 0 and 1). A list nothing sensible can be made
// of (a negative or huge duration, a media time below -1, a list longer than
// its box) is marked damaged. A list of empty edits only is no edit at all.
void ReadEditList(BoxCursor& box, EditStart* start);
