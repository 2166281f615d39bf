// One track's sample table box: the sample size and chunk offset tables stay
// in the file (only where they start is noted), the sample-to-chunk map and
// the timing tables are checked and indexed, the first sample
// description is read, and once the whole box has been walked the track's pin
// is asked for and handed its tables.
#pragma once

#include "parser/BoxReader.h"
#include "parser/EditList.h"
#include "parser/MovieRecord.h"
#include "parser/ParserHost.h"

void ParseSampleTable(BoxCursor& sampleTable, HandlerKind kind, REFERENCE_TIME mediaDuration, const EditStart& edit,
                      MovieRecord& movie, TrackRecord& track, ParserHost& host);
