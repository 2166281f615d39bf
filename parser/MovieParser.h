// The parser's one entry point: the file named by the record's filePath is
// parsed into the record, and the host is asked for one output pin per
// streamable track.
#pragma once

#include "parser/MovieRecord.h"
#include "parser/ParserHost.h"

// Nonzero when a video or sound track of a streamable format was met and its pin
// asked for (hasVideo or hasAudio), 0 otherwise. Runs once per record: a record
// that already holds a parsed file is left as it is and answers 0.
int ParseMovie(MovieRecord& movie, ParserHost& host);

// A media header's duration in 100-ns units: (duration / timeScale) x 10^7,
// divided first and truncated toward zero; 0 for a time scale of 0.
REFERENCE_TIME MediaDuration(uint64_t duration, uint32_t timeScale);
