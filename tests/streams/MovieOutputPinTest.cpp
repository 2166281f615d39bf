// The movie pin as an object: the one type it offers, its id, the buffer it
// asks for, and what it starts when the filter pauses.
#include "framework/ComPtr.h"
#include "tests/streams/PinHarness.h"
#include "tests/support/ComTest.h"

#include <gtest/gtest.h>

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

TEST_F(MovieOutputPinTest, AsksForOneLargeBufferAndRefusesSmallerOnes)
{
    PinHarness harness;
    MovieOutputPin* pin = harness.AddBarePin(StreamKind::Avc);
    GrantingAllocator allocator;
    ALLOCATOR_PROPERTIES request = {4, 100, 16, 8}; // what downstream asked for

    allocator.granted = {1, 1000000, 16, 8};
    EXPECT_EQ(E_FAIL, pin->SizeBuffers(&allocator, &request));
    EXPECT_EQ(1, allocator.asked.cBuffers);
    EXPECT_EQ(2764800, allocator.asked.cbBuffer);
    EXPECT_EQ(16, allocator.asked.cbAlign); // alignment and prefix stay downstream's
    EXPECT_EQ(8, allocator.asked.cbPrefix);

    allocator.granted = {3, 4000000, 16, 8};
    EXPECT_EQ(S_OK, pin->SizeBuffers(&allocator, &request));
    allocator.granted = {1, 2764800, 1, 0};
    EXPECT_EQ(S_OK, pin->SizeBuffers(&allocator, &request));

    allocator.answer = VFW_E_ALREADY_COMMITTED;
    EXPECT_EQ(VFW_E_ALREADY_COMMITTED, pin->SizeBuffers(&allocator, &request));
}

TEST_F(MovieOutputPinTest, ConnectsWithItsTypeAndStreamsOnlyWhenConnected)
{
    PinHarness harness;
    PinTrack track;
    track.kind = StreamKind::Other;
    track.samples = {SampleBytes(0, 30), SampleBytes(1, 40)};
    MovieOutputPin* idle = harness.AddPin(track, "pin-idle.bin");
    MovieOutputPin* connected = harness.AddPin(track, "pin-connected.bin");
    SinkPin& sink = harness.Connect(connected);
    ASSERT_TRUE(sink.IsConnected());
    EXPECT_TRUE(StreamTypeOf(StreamKind::Other).Equals(sink.ConnectionType()));
    IMemAllocator* allocator = sink.NotifiedAllocator();
    ASSERT_NE(nullptr, allocator);
    allocator->Release();

    ASSERT_EQ(S_OK, harness.Run());
    EXPECT_FALSE(idle->ThreadExists());
    ASSERT_TRUE(sink.WaitForEndOfStream(1, 10000));
    EXPECT_EQ(2u, sink.SampleCount());
    const std::vector<ReceivedSegment> segments = sink.Segments();
    ASSERT_EQ(1u, segments.size());
    EXPECT_EQ(0, segments[0].start);
    EXPECT_EQ(800000, segments[0].stop);
    EXPECT_EQ(S_OK, harness.Stop());
    EXPECT_FALSE(connected->ThreadExists());
}

} // namespace
