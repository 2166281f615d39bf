// Many rounds of the controlling thread's whole repertoire against two
// streaming threads at once: pause, run, a seek that restarts each stream,
// stop. A deadlock ends the program through the watchdog; a lost or stray
// sample shows in the positions each sink recorded.
#include "tests/framework/StreamFixture.h"
#include "tests/support/Watchdog.h"

#include <atomic>
#include <thread>

namespace {

const int Cycles = 200;

class StreamStressTest : public StreamFixture {};

bool HasPosition(SinkPin& sink, LONG position)
{
    for (LONG seen : Positions(sink))
        if (seen == position)
            return true;
    return false;
}

// What one pin delivered in a cycle: a run from where its cursor stood, cut
// at the seek, then a run from the seek's position; nothing else.
void ExpectTwoRuns(const std::vector<LONG>& positions, LONG start, LONG seekTo, int cycle)
{
    size_t i = 0;
    while (i < positions.size() && positions[i] == start + LONG(i))
        ++i;
    ASSERT_GT(i, 0u) << "cycle " << cycle << ": nothing before the seek";
    for (LONG expected = seekTo; i < positions.size(); ++i, ++expected)
        ASSERT_EQ(expected, positions[i]) << "cycle " << cycle << ", sample " << i;
}

TEST_F(StreamStressTest, PauseRunSeekStopCyclesOnTwoPins)
{
    Watchdog watchdog("stream stress", 120);
    StreamTestPin* endless = AddPin(L"endless");
    StreamTestPin* bounded = AddPin(L"bounded");
    // One pin streams until stopped; the other ends each segment early, so
    // that STOP meets both a streaming and a ready thread.
    bounded->segmentLength = 8;
    StreamTestPin* pins[] = {endless, bounded};
    SinkPin* sinksOf[] = {&Connect(endless), &Connect(bounded)};

    for (int cycle = 0; cycle < Cycles; ++cycle) {
        LONG starts[2];
        for (int p = 0; p < 2; ++p) {
            starts[p] = pins[p]->NextPosition();
            sinksOf[p]->ClearRecords();
        }
        const LONG seekTo = 100000 * (cycle + 1);

        ASSERT_EQ(S_OK, filter->Pause()) << "cycle " << cycle;
        for (SinkPin* sink : sinksOf)
            ASSERT_TRUE(sink->WaitForSamples(1, 10000)) << "cycle " << cycle;
        ASSERT_EQ(S_OK, filter->Run(0)) << "cycle " << cycle;
        for (StreamTestPin* pin : pins)
            ASSERT_EQ(S_OK, pin->Seek(seekTo)) << "cycle " << cycle;
        for (SinkPin* sink : sinksOf)
            ASSERT_TRUE(PollUntil([&] { return HasPosition(*sink, seekTo); })) << "cycle " << cycle;
        ASSERT_EQ(S_OK, filter->Stop()) << "cycle " << cycle;

        for (int p = 0; p < 2; ++p) {
            EXPECT_FALSE(pins[p]->ThreadExists());
            ExpectTwoRuns(Positions(*sinksOf[p]), starts[p], seekTo, cycle);
            EXPECT_EQ(1, sinksOf[p]->BeginFlushCount());
            EXPECT_EQ(1, sinksOf[p]->EndFlushCount());
        }
        EXPECT_EQ(0, sinksOf[0]->EndOfStreamCount());
        EXPECT_LE(sinksOf[1]->EndOfStreamCount(), 2);
        if (HasFatalFailure() || HasFailure())
            break;
    }

    for (StreamTestPin* pin : pins) {
        EXPECT_EQ(Cycles, pin->begins.load());
        EXPECT_EQ(Cycles, pin->ends.load());
    }
    EXPECT_TRUE(graph->Events().empty());
}

TEST_F(StreamStressTest, SeeksFromAnotherThreadMeetPausesAndStops)
{
    // Seeks restart streaming without the state lock, so their STOP and RUN
    // can fall between the commands of a starting or stopping filter. A RUN
    // between the STOP and the EXIT of a stop would leave the thread
    // streaming past its EXIT, and the join would never return.
    Watchdog watchdog("seeks against stops", 120);
    StreamTestPin* endless = AddPin(L"endless");
    StreamTestPin* bounded = AddPin(L"bounded");
    bounded->segmentLength = 8;
    StreamTestPin* pins[] = {endless, bounded};
    SinkPin* sinksOf[] = {&Connect(endless), &Connect(bounded)};

    std::atomic<bool> done{false};
    std::thread seeker([&] {
        for (LONG position = 0; !done.load(); position += 10)
            for (StreamTestPin* pin : pins)
                pin->Seek(position);
    });
    for (int cycle = 0; cycle < Cycles && !HasFailure(); ++cycle) {
        EXPECT_EQ(S_OK, filter->Pause()) << "cycle " << cycle;
        EXPECT_EQ(S_OK, filter->Run(0)) << "cycle " << cycle;
        EXPECT_EQ(S_OK, filter->Stop()) << "cycle " << cycle;
        for (StreamTestPin* pin : pins)
            EXPECT_FALSE(pin->ThreadExists()) << "cycle " << cycle;
    }
    done = true;
    seeker.join();

    // Whatever the seeks left behind, the pins still stream.
    for (SinkPin* sink : sinksOf)
        sink->ClearRecords();
    ASSERT_EQ(S_OK, filter->Pause());
    for (SinkPin* sink : sinksOf)
        EXPECT_TRUE(sink->WaitForSamples(1, 10000));
    EXPECT_EQ(S_OK, filter->Stop());
    for (StreamTestPin* pin : pins)
        EXPECT_EQ(pin->begins.load(), pin->ends.load());
    EXPECT_TRUE(graph->Events().empty());
}

} // namespace
