// Seeking a movie pin: new start positions while stopped and while streaming,
// stop and rate changes, and the quality skip of a late downstream filter.
#include "tests/streams/PinHarness.h"
#include "tests/support/ComTest.h"
#include "tests/support/Watchdog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace {

class PinSeeking : public ComTest {};

constexpr REFERENCE_TIME kStep = 400000;

// count samples of rising sizes whose bytes name their index.
PinTrack NumberedTrack(StreamKind kind, uint32_t count, std::vector<ChunkMapEntry> map)
{
    PinTrack track;
    track.kind = kind;
    for (uint32_t i = 0; i < count; ++i)
        track.samples.push_back(kind == StreamKind::Avc ? NalSample({20 + i % 50}, uint8_t(i))
                                                        : SampleBytes(i, 20 + i % 50));
    track.map = std::move(map);
    track.sps = {0x67, 0x42, 0x00, 0x1E};
    track.pps = {0x68, 0xCE};
    return track;
}

HRESULT SeekTo(MovieOutputPin* pin, REFERENCE_TIME start)
{
    return static_cast<IMediaSeeking*>(pin)->SetPositions(&start, AM_SEEKING_AbsolutePositioning, nullptr,
                                                          AM_SEEKING_NoPositioning);
}

bool WaitForReceive(SinkPin& sink, int calls)
{
    for (int i = 0; i < 10000; ++i) {
        if (sink.CallCount(SinkCall::Receive) >= calls)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

// The sample of the track that these delivered bytes are, or -1: the sample
// itself behind the prefix of its kind (for H.264 the prefix with or without
// the sequence set, and its one NAL length as a start code).
int SampleIndexOf(const PinTrack& track, const std::vector<uint8_t>& bytes)
{
    const uint8_t startCode[] = {0, 0, 0, 1};
    for (size_t i = 0; i < track.samples.size(); ++i) {
        const std::vector<uint8_t>& sample = track.samples[i];
        if (bytes.size() < sample.size())
            continue;
        const size_t prefix = bytes.size() - sample.size();
        const auto at = bytes.begin() + long(prefix);
        bool same = false;
        switch (track.kind) {
        case StreamKind::Aac:
            same = prefix == 7 && std::equal(sample.begin(), sample.end(), at);
            break;
        case StreamKind::Avc:
            same = (prefix == 14 || prefix == 6) && std::equal(startCode, startCode + 4, at) &&
                   std::equal(sample.begin() + 4, sample.end(), at + 4);
            break;
        default: // the others as stored
            same = bytes == sample;
            break;
        }
        if (same)
            return int(i);
    }
    return -1;
}

TEST_F(PinSeeking, QualitySkipJumpsAheadFromWhereTheStreamStands)
{
    PinHarness harness;
    PinTrack track = NumberedTrack(StreamKind::Other, 10, {{1, 4, 1}});
    MovieOutputPin* pin = harness.AddPin(track, "seek-quality.bin");
    IQualityControl* quality = pin;
    ASSERT_EQ(S_OK, pin->Activate());
    EXPECT_EQ(track.samples[0], harness.Fill(pin).bytes);

    // Late 0 and early notices change nothing.
    for (REFERENCE_TIME late : {REFERENCE_TIME(0), REFERENCE_TIME(-1), REFERENCE_TIME(-5000000)})
        EXPECT_EQ(S_OK, quality->Notify(nullptr, Quality{Famine, 1000, late, 0}));
    FilledSample next = harness.Fill(pin);
    EXPECT_EQ(track.samples[1], next.bytes);
    EXPECT_FALSE(next.discontinuity);

    // From where the stream stands, never from the last start: the next
    // sample (2, at 800,000) plus 1,000,000 late is 1,800,000; the first
    // sample shown from then on is 5, at 2,000,000, stamped with its own
    // time. Skipping from the start would deliver samples 3 and 4 again.
    EXPECT_EQ(S_OK, quality->Notify(nullptr, Quality{Famine, 1000, 1000000, 0}));
    FilledSample skipped = harness.Fill(pin);
    EXPECT_EQ(track.samples[5], skipped.bytes);
    EXPECT_EQ(5 * kStep, skipped.start);
    EXPECT_EQ(6 * kStep, skipped.stop);
    EXPECT_TRUE(skipped.discontinuity);

    // Again from the next sample, 6: 3,400,000, sample 9.
    EXPECT_EQ(S_OK, quality->Notify(nullptr, Quality{Famine, 1000, 1000000, 0}));
    FilledSample again = harness.Fill(pin);
    EXPECT_EQ(track.samples[9], again.bytes);
    EXPECT_EQ(9 * kStep, again.start);
    EXPECT_TRUE(again.discontinuity);

    // Past the end: the stream ends.
    EXPECT_EQ(S_OK, quality->Notify(nullptr, Quality{Famine, 1000, 100000000, 0}));
    EXPECT_EQ(S_FALSE, harness.Fill(pin).result);

    // Before anything is delivered, skips add up from the start: 1,000,000
    // (sample 3), then 2,200,000 (sample 6).
    MovieOutputPin* fresh = harness.AddPin(track, "seek-quality-fresh.bin");
    ASSERT_EQ(S_OK, fresh->Activate());
    quality = fresh;
    EXPECT_EQ(S_OK, quality->Notify(nullptr, Quality{Famine, 1000, 1000000, 0}));
    EXPECT_EQ(S_OK, quality->Notify(nullptr, Quality{Famine, 1000, 1000000, 0}));
    FilledSample first = harness.Fill(fresh);
    EXPECT_EQ(track.samples[6], first.bytes);
    EXPECT_EQ(6 * kStep, first.start);
    EXPECT_TRUE(first.discontinuity);
}

TEST_F(PinSeeking, AfterAQualitySkipTheStreamCatchesUpWithTheClock)
{
    // A decoder that spends one and a half samples' time on each sample and
    // measures its lateness against a clock begun with the first stamp: when
    // it is more than a sample late it says so, and the sample after the
    // skip is less than one sample late.
    PinHarness harness;
    PinTrack track = NumberedTrack(StreamKind::Other, 60, {{1, 4, 1}});
    MovieOutputPin* pin = harness.AddPin(track, "seek-catch-up.bin");
    IQualityControl* quality = pin;
    ASSERT_EQ(S_OK, pin->Activate());
    REFERENCE_TIME clock = 0;
    int skips = 0;
    for (int k = 0; k < 20; ++k) {
        const FilledSample sample = harness.Fill(pin);
        ASSERT_EQ(S_OK, sample.result);
        const REFERENCE_TIME late = clock - sample.start;
        if (k > 0 && sample.discontinuity) {
            EXPECT_LT(late, kStep) << "sample " << k << " after a skip";
        }
        if (late > kStep) {
            EXPECT_EQ(S_OK, quality->Notify(nullptr, Quality{Famine, 1000, late, 0}));
            ++skips;
        }
        clock += kStep * 3 / 2;
    }
    EXPECT_GE(skips, 2);
}

TEST_F(PinSeeking, AStartSetWhileStoppedStartsNoThreadAndPlaysFromExactlyThatSample)
{
    struct Case {
        const char* what;
        std::vector<ChunkMapEntry> map;
        uint32_t count;
        REFERENCE_TIME start;
        int first; // -1: nothing to play
    } cases[] = {
        {"sample 8, first of the second run", {{1, 4, 1}, {3, 2, 1}}, 12, 8 * kStep, 8},
        {"sample 25, inside a ten-sample chunk", {{1, 10, 1}}, 30, 25 * kStep + 1, 25},
        {"one sample a chunk", {{1, 1, 1}}, 6, 4 * kStep, 4},
        {"before the start", {{1, 3, 1}}, 5, -2 * kStep, 0},
        {"at the end", {{1, 3, 1}}, 5, 5 * kStep, -1},
        {"far past the end", {{1, 3, 1}}, 5, 0x3FFFFFFFFFFFFFFF, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (StreamKind kind : {StreamKind::Avc, StreamKind::Aac, StreamKind::Other}) {
            PinHarness harness;
            PinTrack track = NumberedTrack(kind, c.count, c.map);
            MovieOutputPin* pin = harness.AddPin(track, "seek-stopped.bin");
            SinkPin& sink = harness.Connect(pin);
            ASSERT_EQ(S_OK, SeekTo(pin, c.start));
            EXPECT_FALSE(pin->ThreadExists());
            EXPECT_EQ(0, sink.BeginFlushCount());
            ASSERT_EQ(S_OK, harness.Run());
            ASSERT_TRUE(sink.WaitForEndOfStream(1, 10000));
            std::vector<ReceivedSample> samples = sink.Samples();
            const size_t expected = c.first < 0 ? 0 : c.count - uint32_t(c.first);
            ASSERT_EQ(expected, samples.size());
            for (size_t k = 0; k < samples.size(); ++k) {
                EXPECT_EQ(int(c.first + int(k)), SampleIndexOf(track, samples[k].bytes)) << k;
                // Stamps count from the start: its sample may begin before it.
                EXPECT_EQ(REFERENCE_TIME(c.first + int(k)) * kStep - c.start, samples[k].start);
                EXPECT_EQ(k == 0, samples[k].discontinuity);
            }
            ASSERT_EQ(1u, sink.Segments().size());
            EXPECT_EQ(c.start, sink.Segments()[0].start); // the start as it was set
            EXPECT_EQ(0, harness.graph->EventCount(EC_ERRORABORT));
        }
    }
}

// Also on a track with a sync sample every tenth picture, where the seek lands
// between two: the pin starts at the sync sample before it, the pictures
// before the start as preroll.
TEST_F(PinSeeking, ASeekWhileStreamingRestartsAtTheSampleOfTheNewStart)
{
    Watchdog watchdog("seek while streaming", 60);
    for (const bool keyed : {false, true}) {
        SCOPED_TRACE(keyed ? "a sync sample every ten" : "every sample a sync sample");
        PinHarness harness;
        // 250 samples over 10 s; chunks of 3 and 7 samples.
        PinTrack track = NumberedTrack(StreamKind::Avc, 250, {{1, 3, 1}, {5, 7, 1}});
        track.duration = 100000000;
        for (uint32_t number = 1; keyed && number <= 250; number += 10)
            track.syncSamples.push_back(number);
        MovieOutputPin* pin = harness.AddPin(track, "seek-running.bin");
        EXPECT_EQ(keyed, pin->TimedByTables());
        SinkPin& sink = harness.Connect(pin);
        sink.HoldReceive(true); // the first sample waits downstream
        ASSERT_EQ(S_OK, harness.Run());
        ASSERT_TRUE(WaitForReceive(sink, 1));

        ASSERT_EQ(S_OK, SeekTo(pin, 50000000));
        EXPECT_EQ(1, sink.BeginFlushCount());
        EXPECT_EQ(1, sink.EndFlushCount());
        sink.HoldReceive(false);
        ASSERT_TRUE(sink.WaitForEndOfStream(1, 20000));

        // The held sample was flushed; what follows starts exactly at sample
        // 125, or at the sync sample 120 before it.
        const size_t first = keyed ? 120 : 125;
        std::vector<ReceivedSample> samples = sink.Samples();
        ASSERT_EQ(250 - first, samples.size());
        const std::vector<uint8_t> bothSets = {0, 0, 0, 1, 0x67, 0x42, 0x00, 0x1E, 0, 0, 0, 1, 0x68, 0xCE};
        EXPECT_TRUE(std::equal(bothSets.begin(), bothSets.end(), samples[0].bytes.begin()));
        for (size_t k = 0; k < samples.size(); ++k) {
            EXPECT_EQ(int(first + k), SampleIndexOf(track, samples[k].bytes)) << k;
            EXPECT_EQ(REFERENCE_TIME(first + k) * kStep - 50000000, samples[k].start) << k;
            EXPECT_EQ(first + k < 125, samples[k].preroll) << k;
            EXPECT_EQ(!keyed || (first + k) % 10 == 0, samples[k].syncPoint) << k;
            EXPECT_EQ(k == 0, samples[k].discontinuity) << k;
        }
        const std::vector<ReceivedSegment> segments = sink.Segments();
        ASSERT_EQ(2u, segments.size());
        EXPECT_EQ(50000000, segments[1].start);
        EXPECT_EQ(100000000, segments[1].stop);

        // After the end of stream the thread still answers: a seek plays again.
        sink.ClearRecords();
        ASSERT_EQ(S_OK, SeekTo(pin, 248 * kStep));
        ASSERT_TRUE(sink.WaitForEndOfStream(1, 20000));
        ASSERT_EQ(keyed ? 10u : 2u, sink.SampleCount());
        EXPECT_EQ(keyed ? 240 : 248, SampleIndexOf(track, sink.Samples()[0].bytes));
    }
}

TEST_F(PinSeeking, StopAndRateChangesWhileStreamingRestartNothing)
{
    Watchdog watchdog("stop and rate changes", 60);
    PinHarness harness;
    PinTrack track = NumberedTrack(StreamKind::Aac, 6, {{1, 2, 1}});
    MovieOutputPin* pin = harness.AddPin(track, "seek-stop-rate.bin");
    IMediaSeeking* seeking = pin;
    SinkPin& sink = harness.Connect(pin);
    sink.HoldReceive(true);
    ASSERT_EQ(S_OK, harness.Run());
    ASSERT_TRUE(WaitForReceive(sink, 1));
    REFERENCE_TIME stop = 1000000;
    ASSERT_EQ(S_OK, seeking->SetPositions(nullptr, AM_SEEKING_NoPositioning, &stop, AM_SEEKING_AbsolutePositioning));
    ASSERT_EQ(S_OK, seeking->SetRate(2.0));
    sink.HoldReceive(false);
    ASSERT_TRUE(sink.WaitForEndOfStream(1, 10000));

    // Samples are not cut at the stop; the sample after the change is marked.
    std::vector<ReceivedSample> samples = sink.Samples();
    ASSERT_EQ(6u, samples.size());
    EXPECT_TRUE(samples[1].discontinuity);
    EXPECT_FALSE(samples[2].discontinuity);
    EXPECT_EQ(5 * kStep, samples[5].start);
    EXPECT_EQ(0, sink.BeginFlushCount());
    ASSERT_EQ(1u, sink.Segments().size());

    // The rate and stop travel with the next new segment; stamps are not scaled.
    sink.ClearRecords();
    ASSERT_EQ(S_OK, SeekTo(pin, 2 * kStep));
    ASSERT_TRUE(sink.WaitForEndOfStream(1, 10000));
    ASSERT_EQ(1u, sink.Segments().size());
    EXPECT_EQ(2.0, sink.Segments()[0].rate);
    EXPECT_EQ(1000000, sink.Segments()[0].stop);
    ASSERT_EQ(4u, sink.SampleCount());
    EXPECT_EQ(kStep, sink.Samples()[1].start);
}

} // namespace
