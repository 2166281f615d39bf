// The movie pin as an object: the one type it offers, its id, the buffer it
// asks for, and what it starts when the filter pauses.
#include "framework/ComPtr.h"
#include "tests/streams/PinHarness.h"
#include "tests/support/ComTest.h"
#include "tests/support/Fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

class MovieOutputPinTest : public ComTest {};

// An allocator that grants what a test chooses and records what it was asked.
class GrantingAllocator : public IMemAllocator {
public:
    virtual ~GrantingAllocator() = default;
    ALLOCATOR_PROPERTIES asked = {0, 0, 0, 0};
    ALLOCATOR_PROPERTIES granted = {0, 0, 0, 0};
    HRESULT answer = S_OK;

    STDMETHODIMP QueryInterface(REFIID, void** out) override
    {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) override
    {
        asked = *request;
        *actual = granted;
        return answer;
    }
    STDMETHODIMP GetProperties(ALLOCATOR_PROPERTIES*) override { return E_NOTIMPL; }
    STDMETHODIMP Commit() override { return E_NOTIMPL; }
    STDMETHODIMP Decommit() override { return E_NOTIMPL; }
    STDMETHODIMP GetBuffer(IMediaSample**, REFERENCE_TIME*, REFERENCE_TIME*, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP ReleaseBuffer(IMediaSample*) override { return E_NOTIMPL; }
};

TEST_F(MovieOutputPinTest, OffersExactlyTheTypeItWasMadeWith)
{
    PinHarness harness;
    MovieOutputPin* pin = harness.AddBarePin(StreamKind::Aac, L"QT AAC Out");
    MediaTypeRecord own = StreamTypeOf(StreamKind::Aac);
    MediaTypeRecord offered;
    ASSERT_EQ(S_OK, pin->GetTypeAt(0, &offered));
    EXPECT_TRUE(own.Equals(offered));
    EXPECT_EQ(VFW_S_NO_MORE_ITEMS, pin->GetTypeAt(1, &offered));
    EXPECT_EQ(VFW_S_NO_MORE_ITEMS, pin->GetTypeAt(-1, &offered));
    EXPECT_EQ(S_OK, pin->CheckType(&own));
    MediaTypeRecord video = StreamTypeOf(StreamKind::Avc);
    EXPECT_EQ(E_FAIL, pin->CheckType(&video));
    EXPECT_EQ(E_POINTER, pin->CheckType(nullptr));

    LPWSTR id = nullptr;
    ASSERT_EQ(S_OK, static_cast<IPin*>(pin)->QueryId(&id));
    EXPECT_STREQ(L"QT AAC Out", id);
    CoTaskMemFree(id);
    EXPECT_EQ(E_POINTER, static_cast<IPin*>(pin)->QueryId(nullptr));
}

TEST_F(MovieOutputPinTest, AsksForTheBuffersDownstreamNamesAtLeastLargeAndRefusesSmallerOnes)
{
    PinHarness harness;
    MovieOutputPin* pin = harness.AddBarePin(StreamKind::Avc);
    struct Case {
        ALLOCATOR_PROPERTIES downstream; // what GetAllocatorRequirements gave
        ALLOCATOR_PROPERTIES asked;      // what the pin asks of the allocator
    } cases[] = {
        {{6, 100, 16, 8}, {6, 2764800, 16, 8}},      // count, alignment and prefix stay downstream's
        {{0, 0, 1, 0}, {4, 2764800, 1, 0}},          // no count named: a few in flight
        {{2, 4000000, 1, 0}, {2, 4000000, 1, 0}},    // a larger buffer stands
    };
    for (const Case& c : cases) {
        GrantingAllocator allocator;
        allocator.granted = c.asked;
        ALLOCATOR_PROPERTIES request = c.downstream;
        EXPECT_EQ(S_OK, pin->SizeBuffers(&allocator, &request));
        EXPECT_EQ(c.asked.cBuffers, allocator.asked.cBuffers);
        EXPECT_EQ(c.asked.cbBuffer, allocator.asked.cbBuffer);
        EXPECT_EQ(c.asked.cbAlign, allocator.asked.cbAlign);
        EXPECT_EQ(c.asked.cbPrefix, allocator.asked.cbPrefix);
    }

    GrantingAllocator allocator;
    ALLOCATOR_PROPERTIES request = {4, 100, 16, 8};
    allocator.granted = {4, 1000000, 16, 8};
    EXPECT_EQ(E_FAIL, pin->SizeBuffers(&allocator, &request));
    allocator.granted = {1, 2764800, 1, 0}; // fewer than asked still streams
    EXPECT_EQ(S_OK, pin->SizeBuffers(&allocator, &request));
    allocator.answer = VFW_E_ALREADY_COMMITTED;
    EXPECT_EQ(VFW_E_ALREADY_COMMITTED, pin->SizeBuffers(&allocator, &request));
}

TEST_F(MovieOutputPinTest, EachPinStreamsItsOwnTrackToItsEndFromEveryStart)
{
    PinHarness harness;
    // Two H.264 pins of different lengths, streaming at the same time: each
    // counts its own samples, whatever the other one does.
    PinTrack three;
    three.samples = {NalSample({30}, 1), NalSample({31}, 2), NalSample({32}, 3)};
    PinTrack five = three;
    five.samples.push_back(NalSample({33}, 4));
    five.samples.push_back(NalSample({34}, 5));
    MovieOutputPin* idle = harness.AddPin(three, "pin-idle.bin");
    MovieOutputPin* shortPin = harness.AddPin(three, "pin-three.bin");
    MovieOutputPin* longPin = harness.AddPin(five, "pin-five.bin");
    SinkPin& shortSink = harness.Connect(shortPin);
    SinkPin& longSink = harness.Connect(longPin);
    ASSERT_TRUE(shortSink.IsConnected());
    EXPECT_TRUE(StreamTypeOf(StreamKind::Avc).Equals(shortSink.ConnectionType()));
    IMemAllocator* allocator = shortSink.NotifiedAllocator();
    ASSERT_NE(nullptr, allocator);
    allocator->Release();

    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        shortSink.ClearRecords();
        longSink.ClearRecords();
        ASSERT_EQ(S_OK, harness.Run());
        EXPECT_FALSE(idle->ThreadExists()); // not connected: nothing to stream to
        ASSERT_TRUE(shortSink.WaitForEndOfStream(1, 10000));
        ASSERT_TRUE(longSink.WaitForEndOfStream(1, 10000));
        EXPECT_EQ(3u, shortSink.SampleCount());
        EXPECT_EQ(5u, longSink.SampleCount());
        const std::vector<ReceivedSegment> segments = longSink.Segments();
        ASSERT_EQ(1u, segments.size());
        EXPECT_EQ(0, segments[0].start);
        EXPECT_EQ(2000000, segments[0].stop);
        EXPECT_EQ(S_OK, harness.Stop());
        EXPECT_FALSE(longPin->ThreadExists());
    }
}

TEST_F(MovieOutputPinTest, StreamsThatCannotGoOnEndWithTheirReasonToTheGraph)
{
    PinHarness harness;
    // The second AAC frame is too long for an ADTS header.
    PinTrack aac;
    aac.kind = StreamKind::Aac;
    aac.samples = {SampleBytes(0, 100), SampleBytes(1, 9000), SampleBytes(2, 100)};
    SinkPin& tooLong = harness.Connect(harness.AddPin(aac, "pin-too-long.bin"));
    // A pin whose file could not be opened.
    MovieOutputPin* unopened = harness.AddBarePin(StreamKind::Avc, L"unopened");
    harness.HandOver(unopened, aac, TempPath("no-such-track-file.bin"));
    SinkPin& noFile = harness.Connect(unopened);

    ASSERT_EQ(S_OK, harness.Run());
    ASSERT_TRUE(tooLong.WaitForEndOfStream(1, 10000));
    ASSERT_TRUE(noFile.WaitForEndOfStream(1, 10000));
    ASSERT_TRUE(harness.graph->WaitForEvent(EC_ERRORABORT, 10000));
    EXPECT_EQ(1u, tooLong.SampleCount());
    EXPECT_EQ(0u, noFile.SampleCount());
    std::vector<HRESULT> reasons;
    for (int tries = 0; tries < 1000 && harness.graph->EventCount(EC_ERRORABORT) < 2; ++tries)
        Sleep(1);
    for (const GraphEvent& event : harness.graph->Events())
        if (event.code == EC_ERRORABORT)
            reasons.push_back(HRESULT(event.param1));
    std::sort(reasons.begin(), reasons.end());
    EXPECT_EQ(std::vector<HRESULT>({E_FAIL, VFW_E_BUFFER_OVERFLOW}), reasons); // sorted
}

} // namespace
