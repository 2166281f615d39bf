// The text that shows a person what the parser read: one block per track.
#pragma once

#include "parser/MovieRecord.h"

// Room for one track's block. With every number at its widest, the codes and a
// 31-character handler name a block takes under 300 bytes; each block is cut
// to this room whatever its record holds.
constexpr size_t kTrackInfoBlockSize = 1000;

// Builds the record's infoText: trackCount blocks of at most kTrackInfoBlockSize
// bytes, written one after another and ended by a NUL; an empty text when there
// is no track. The picture and sound lines show the record's one set per kind.
void BuildTrackInfoText(MovieRecord& movie);
