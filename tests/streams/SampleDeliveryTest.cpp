// FillSample on media samples of real allocators: the bytes each stream kind
// delivers, their lengths, stamps and flags, the end of each pin's stream and
// the samples that must never be written.
#include "framework/ComPtr.h"
#include "streams/AdtsHeader.h"
#include "tests/streams/PinHarness.h"
#include "tests/support/BoxBuilder.h"
#include "tests/support/ComTest.h"
#include "tests/support/Fixtures.h"
#define COUNTING_HEAP_COUNTERS_ONLY
#include "tests/support/CountingHeap.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>

namespace {

class SampleDelivery : public ComTest {};

const std::vector<uint8_t> kStartCode = {0, 0, 0, 1};
const std::vector<uint8_t> kSps = {0x67, 0x42, 0xC0, 0x1E, 0x95, 0xA0, 0x50, 0x1F, 0x90, 0x88}; // 10 bytes
const std::vector<uint8_t> kPps = {0x68, 0xCE, 0x38, 0x80};                                     // 4 bytes

std::vector<uint8_t> Join(std::initializer_list<std::vector<uint8_t>> parts)
{
    std::vector<uint8_t> bytes;
    for (const std::vector<uint8_t>& part : parts)
        bytes.insert(bytes.end(), part.begin(), part.end());
    return bytes;
}

std::vector<uint8_t> Slice(const std::vector<uint8_t>& bytes, size_t from, size_t count)
{
    return std::vector<uint8_t>(bytes.begin() + long(from), bytes.begin() + long(from + count));
}

PinTrack AvcTrack(std::vector<std::vector<uint8_t>> samples)
{
    PinTrack track;
    track.kind = StreamKind::Avc;
    track.samples = std::move(samples);
    track.sps = kSps;
    track.pps = kPps;
    return track;
}

TEST_F(SampleDelivery, AacFramesCarryAnAdtsHeaderForTheirTrack)
{
    PinHarness harness;
    PinTrack stereo;
    stereo.kind = StreamKind::Aac;
    stereo.samples = {SampleBytes(0, 371), SampleBytes(1, 371), SampleBytes(2, 200)};
    MovieOutputPin* pin = harness.AddPin(stereo, "delivery-aac-44100.bin");
    FilledSample first = harness.Fill(pin);
    ASSERT_EQ(S_OK, first.result);
    ASSERT_EQ(378u, first.bytes.size());
    EXPECT_EQ(Join({{0xFF, 0xF1, 0x50, 0x80, 0x2F, 0x5F, 0xFC}, stereo.samples[0]}), first.bytes);
    EXPECT_EQ(first.bytes, Join({Slice(first.bytes, 0, 7), stereo.samples[0]}));
    FilledSample second = harness.Fill(pin); // the same length: the same header
    EXPECT_EQ(Slice(first.bytes, 0, 7), Slice(second.bytes, 0, 7));
    FilledSample third = harness.Fill(pin); // 207 bytes: 0x0CF
    EXPECT_EQ(std::vector<uint8_t>({0xFF, 0xF1, 0x50, 0x80, 0x19, 0xFF, 0xFC}), Slice(third.bytes, 0, 7));

    PinTrack mono = stereo;
    mono.samples = {SampleBytes(0, 1000)};
    mono.sampleRate = 48000;
    mono.channels = 1;
    FilledSample frame = harness.Fill(harness.AddPin(mono, "delivery-aac-48000.bin"));
    ASSERT_EQ(S_OK, frame.result);
    EXPECT_EQ(std::vector<uint8_t>({0xFF, 0xF1, 0x4C, 0x40, 0x7D, 0xFF, 0xFC}), Slice(frame.bytes, 0, 7));
    EXPECT_EQ(mono.samples[0], Slice(frame.bytes, 7, 1000));
}

TEST_F(SampleDelivery, AvcSamplesGetParameterSetsAndStartCodes)
{
    PinHarness harness;
    PinTrack track = AvcTrack({NalSample({996}, 1), NalSample({896}, 2), NalSample({5, 3}, 3)});
    MovieOutputPin* pin = harness.AddPin(track, "delivery-avc.bin");

    // The first sample after a start: both parameter sets.
    FilledSample first = harness.Fill(pin);
    ASSERT_EQ(S_OK, first.result);
    ASSERT_EQ(1022u, first.bytes.size());
    EXPECT_EQ(Join({kStartCode, kSps, kStartCode, kPps, kStartCode, Slice(track.samples[0], 4, 996)}), first.bytes);
    // Then the picture set alone.
    FilledSample second = harness.Fill(pin);
    ASSERT_EQ(908u, second.bytes.size());
    EXPECT_EQ(Join({kStartCode, kPps, kStartCode, Slice(track.samples[1], 4, 896)}), second.bytes);
    // Two NAL units of 5 and 3 bytes: 4 + 5 + 4 + 3 = 16 bytes, each behind a start code.
    FilledSample third = harness.Fill(pin);
    EXPECT_EQ(
        Join({kStartCode, kPps, kStartCode, Slice(track.samples[2], 4, 5), kStartCode, Slice(track.samples[2], 13, 3)}),
        third.bytes);
    EXPECT_EQ(S_FALSE, harness.Fill(pin).result);
}

TEST_F(SampleDelivery, MalformedAvcSamplesAreDeliveredAsTheyAre)
{
    PinHarness harness;
    std::vector<uint8_t> zeroFirst = Join({{0, 0, 0, 0}, NalSample({6}, 4)});
    std::vector<uint8_t> runsPast = NalSample({6}, 5);
    runsPast.insert(runsPast.end(), {0x00, 0x00, 0x01, 0x00, 0xAA, 0xBB}); // claims 256 bytes, has 2
    MovieOutputPin* pin = harness.AddPin(AvcTrack({zeroFirst, runsPast}), "delivery-avc-malformed.bin");
    FilledSample first = harness.Fill(pin);
    EXPECT_EQ(Join({kStartCode, kSps, kStartCode, kPps, zeroFirst}), first.bytes);
    FilledSample second = harness.Fill(pin);
    EXPECT_EQ(Join({kStartCode, kPps, kStartCode, Slice(runsPast, 4, 6), Slice(runsPast, 10, 6)}), second.bytes);
}

// Without timing tables (the harness hands none over) samples are stamped in
// steps of the average duration.
TEST_F(SampleDelivery, StampsStepByOneAverageSampleAndOnlyTheFirstIsADiscontinuity)
{
    for (StreamKind kind : {StreamKind::Aac, StreamKind::Avc, StreamKind::Other}) {
        SCOPED_TRACE(int(kind));
        PinHarness harness;
        PinTrack track = AvcTrack({NalSample({20}, 1), NalSample({30}, 2), NalSample({40}, 3)});
        track.kind = kind;
        track.map = {{1, 2, 1}}; // two samples to a chunk
        track.duration = 1200000;
        MovieOutputPin* pin = harness.AddPin(track, "delivery-stamps.bin");
        EXPECT_EQ(400000, pin->AverageSampleDuration());
        for (int pass = 0; pass < 2; ++pass) {
            for (REFERENCE_TIME k = 0; k < 3; ++k) {
                FilledSample sample = harness.Fill(pin);
                ASSERT_EQ(S_OK, sample.result);
                EXPECT_EQ(k * 400000, sample.start);
                EXPECT_EQ((k + 1) * 400000, sample.stop);
                EXPECT_TRUE(sample.syncPoint);
                EXPECT_EQ(k == 0, sample.discontinuity);
                if (kind == StreamKind::Other) { // an "mp4v" sample: its own bytes, nothing more
                    EXPECT_EQ(track.samples[size_t(k)], sample.bytes);
                }
            }
            // The track's last sample was delivered: the end of this pin's stream.
            EXPECT_EQ(S_FALSE, harness.Fill(pin).result);
            EXPECT_EQ(S_FALSE, harness.Fill(pin).result);
            // A new start at 0 delivers the three again, stamped from 0, the
            // first marked as a discontinuity.
            ASSERT_EQ(S_OK, pin->Activate());
        }
    }
}

TEST_F(SampleDelivery, SamplesThatDoNotFitTheBufferAreNeverWritten)
{
    PinHarness harness;
    // 990 + 4 bytes of sample and 22 bytes of prefix fill 1,016 bytes exactly;
    // the next sample needs 994 + 4 and 8 bytes of prefix: 1,006.
    MovieOutputPin* avc = harness.AddPin(AvcTrack({NalSample({990}, 1), NalSample({994}, 2)}), "delivery-fit.bin");
    EXPECT_EQ(1016u, harness.Fill(avc, 1016).bytes.size());
    EXPECT_EQ(VFW_E_BUFFER_OVERFLOW, harness.Fill(avc, 1005).result);

    PinTrack aac;
    aac.kind = StreamKind::Aac;
    aac.samples = {SampleBytes(0, kAdtsMaxPayload), SampleBytes(1, kAdtsMaxPayload + 1), SampleBytes(2, 100)};
    MovieOutputPin* audio = harness.AddPin(aac, "delivery-aac-limit.bin");
    EXPECT_EQ(size_t(kAdtsMaxPayload) + 7, harness.Fill(audio).bytes.size());
    // Longer than the header's 13-bit frame length can say.
    EXPECT_EQ(VFW_E_BUFFER_OVERFLOW, harness.Fill(audio).result);

    PinTrack other;
    other.kind = StreamKind::Other;
    other.samples = {SampleBytes(0, 300)};
    MovieOutputPin* mp4v = harness.AddPin(other, "delivery-other-fit.bin");
    EXPECT_EQ(VFW_E_BUFFER_OVERFLOW, harness.Fill(mp4v, 299).result);
}

TEST_F(SampleDelivery, FilesThatEndEarlyOrCannotBeOpenedEndTheStream)
{
    PinHarness harness;
    // The last sample's bytes are cut off the end of the file: a short read.
    PinTrack track = AvcTrack({NalSample({50}, 1), NalSample({60}, 2)});
    MovieOutputPin* pin = harness.AddPin(track, "delivery-short.bin");
    std::vector<uint8_t> bytes = ReadFileBytes(harness.files.back().path);
    WriteFileBytes(harness.files.back().path, bytes, bytes.size() - 10);
    EXPECT_EQ(S_OK, harness.Fill(pin).result);
    EXPECT_EQ(S_FALSE, harness.Fill(pin).result);

    // Without readers nothing is read and the stream fails.
    MovieOutputPin* unopened = harness.AddBarePin(StreamKind::Avc, L"unopened");
    harness.HandOver(unopened, track, TempPath("no-such-track-file.bin"));
    EXPECT_EQ(E_FAIL, harness.Fill(unopened).result);
    char tooLong[MAX_PATH + 10];
    std::memset(tooLong, 'p', sizeof tooLong);
    tooLong[sizeof tooLong - 1] = '\0';
    EXPECT_EQ(E_FAIL, unopened->OpenStreamFiles(tooLong));
    EXPECT_EQ(E_FAIL, unopened->OpenStreamFiles(nullptr));
}

TEST_F(SampleDelivery, TracksWithoutSamplesOrDurationEndAtOnce)
{
    PinHarness harness;
    PinTrack track = AvcTrack({NalSample({50}, 1)});
    MovieOutputPin* noSamples = harness.AddPin(track, "delivery-empty.bin");
    noSamples->SetStreamTiming(0, 10000000);
    EXPECT_EQ(S_FALSE, harness.Fill(noSamples).result);

    MovieOutputPin* noDuration = harness.AddPin(track, "delivery-no-duration.bin");
    noDuration->SetStreamTiming(1, 0);
    Quality late = {Famine, 500, 1000000, 0};
    EXPECT_EQ(S_OK, static_cast<IQualityControl*>(noDuration)->Notify(nullptr, late));
    EXPECT_EQ(S_FALSE, harness.Fill(noDuration).result);

    // Timing never set: the parser never reached the pin.
    MovieOutputPin* bare = harness.AddBarePin(StreamKind::Aac, L"bare");
    EXPECT_EQ(S_OK, static_cast<IQualityControl*>(bare)->Notify(nullptr, late));
    EXPECT_NE(S_OK, harness.Fill(bare).result);
}

TEST_F(SampleDelivery, TheReadersOpenAReadOnlyMovie)
{
    PinHarness harness;
    PinTrack track = AvcTrack({NalSample({50}, 1)});
    MovieOutputPin* pin = harness.AddBarePin(StreamKind::Avc);
    harness.files.push_back(WriteTrackFile("delivery-read-only.bin", track.samples, track.map));
    const std::string path = harness.files.back().path;
    std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::group_read |
                                           std::filesystem::perms::others_read);
    if (FILE* writable = std::fopen(path.c_str(), "r+b")) {
        std::fclose(writable);
        std::filesystem::permissions(path, std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
        GTEST_SKIP() << "this account may write to read-only files";
    }
    harness.HandOver(pin, track, path);
    EXPECT_EQ(S_OK, harness.Fill(pin).result);
    std::filesystem::permissions(path, std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
}

TEST_F(SampleDelivery, FillingSamplesAllocatesNothing)
{
    if (!COUNTING_HEAP)
        GTEST_SKIP() << "this build's run time owns the allocation functions";
    PinHarness harness;
    ComPtr<IMemAllocator> allocator;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                                     allocator.PutVoid()));
    ALLOCATOR_PROPERTIES asked = {1, MovieOutputPin::kBufferSize, 1, 0}, actual;
    ASSERT_EQ(S_OK, allocator->SetProperties(&asked, &actual));
    ASSERT_EQ(S_OK, allocator->Commit());
    ComPtr<IMediaSample> sample;
    ASSERT_EQ(S_OK, allocator->GetBuffer(sample.Put(), nullptr, nullptr, 0));

    for (StreamKind kind : {StreamKind::Aac, StreamKind::Avc, StreamKind::Other}) {
        SCOPED_TRACE(int(kind));
        std::vector<std::vector<uint8_t>> samples;
        for (uint32_t i = 0; i < 300; ++i)
            samples.push_back(NalSample({100 + i % 17, 40}, uint8_t(i)));
        PinTrack track = AvcTrack(samples);
        track.kind = kind;
        track.map = {{1, 3, 1}, {4, 7, 1}};
        MovieOutputPin* pin = harness.AddPin(track, "delivery-alloc.bin");
        size_t before = allocationCount.load();
        int* volatile probe = new int(1); // volatile: the pair may not be optimised away
        delete probe;
        ASSERT_EQ(before + 1, allocationCount.load()) << "the counter does not see this program's allocations";

        before = allocationCount.load();
        size_t filled = 0;
        while (pin->FillSample(sample.Get()) == S_OK)
            ++filled;
        ASSERT_EQ(S_OK, pin->Activate()); // a new start, then a skip ahead
        static_cast<IQualityControl*>(pin)->Notify(nullptr, Quality{Famine, 1000, 40000000, 0});
        while (pin->FillSample(sample.Get()) == S_OK)
            ++filled;
        EXPECT_EQ(before, allocationCount.load());
        EXPECT_EQ(300u + 200u, filled); // four seconds late from sample 0: sample 100 on
    }
    sample.Reset();
    allocator->Decommit();
}

} // namespace
