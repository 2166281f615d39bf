// Faults that fuzzing the parser or its hostile movies brought up, one test
// each, named after what it guards against.
#include "tests/parser/FakeParserHost.h"
#include "tests/parser/TrackSpecs.h"
#include "tests/support/MovieEdit.h"

#include <gtest/gtest.h>

namespace {

const std::string kTable = "moov.trak1.mdia.minf.stbl";

TEST(ParserRegression, TrackWithSeveralSampleTablesAsksForOnePin)
{
    // Three sample tables in one track, the later ones with 7 samples: only
    // the first is the track's, so there is one pin and the record keeps its
    // 10 samples. A file of many tables asked for a pin for each.
    MovieEdit edit(BuildMovie(MovieOf({VideoTrack()})));
    edit.Duplicate(kTable).Duplicate(kTable);
    edit.PutIn(kTable + "2.stsz", 16, 7);
    edit.PutIn(kTable + "3.stsz", 16, 7);
    auto parsed = ParseBytes(edit.Bytes());
    ASSERT_EQ(1u, parsed->host.Pins().size());
    EXPECT_EQ(10u, parsed->host.Pins()[0]->calls.sampleCount);
    EXPECT_EQ(10u, parsed->Track(0)->sampleCount);

    // The same holds for sample tables in a second media information box.
    MovieEdit second(BuildMovie(MovieOf({VideoTrack(), SoundTrack()})));
    second.Duplicate("moov.trak1.mdia.minf").Duplicate("moov.trak2.mdia");
    parsed = ParseBytes(second.Bytes());
    EXPECT_EQ(2u, parsed->host.Pins().size());
}

} // namespace
