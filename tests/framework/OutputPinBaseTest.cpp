// The output pin base: the allocator it agrees on with the downstream pin,
// committing it with the filter, and delivery to the downstream pin.
#include "tests/framework/FrameworkFakes.h"
#include "tests/support/ComTest.h"
#include "tests/support/SinkFilter.h"

#include <atomic>
#include <cstring>
#include <thread>

namespace {

class OutputPinBaseTest : public ComTest {
protected:
    void SetUp() override
    {
        ComTest::SetUp();
        filter = TestFilter::Create();
        pin = new TestOutputPin(filter, L"out");
        sink = SinkFilter::Create();
        type = MakeType(MEDIATYPE_Video, MEDIASUBTYPE_None, FORMAT_None);
    }
    void TearDown() override
    {
        if (filter) {
            filter->Stop();
            pin->Disconnect();
        }
        sink->Input().Disconnect();
        sink->Release();
        if (filter)
            filter->Release();
        ComTest::TearDown();
    }

    HRESULT Connect() { return pin->Connect(sink->Input().AsPin(), &type); }

    TestFilter* filter = nullptr;
    TestOutputPin* pin = nullptr;
    SinkFilter* sink = nullptr;
    MediaTypeRecord type;
};

TEST_F(OutputPinBaseTest, DownstreamAllocatorIsTakenWhenItFits)
{
    sink->Input().OfferOwnAllocator(true);
    sink->Input().SetAllocatorRequirements({2, 100, 16, 0});
    ASSERT_EQ(S_OK, Connect());

    IMemAllocator* offered = sink->Input().OwnAllocator();
    IMemAllocator* notified = sink->Input().NotifiedAllocator();
    EXPECT_EQ(offered, pin->Allocator());
    EXPECT_EQ(offered, notified);
    EXPECT_FALSE(sink->Input().NotifiedReadOnly());
    ASSERT_EQ(1u, pin->sizeRequests.size());
    EXPECT_EQ(16, pin->sizeRequests[0].cbAlign);
    EXPECT_EQ(2, pin->sizeRequests[0].cBuffers);
    EXPECT_EQ(100, pin->sizeRequests[0].cbBuffer);
    EXPECT_NE(nullptr, pin->InputPin());
    offered->Release();
    notified->Release();
}

TEST_F(OutputPinBaseTest, DownstreamPinWithoutAllocatorStillConnectsWithTheDefault)
{
    // No requirements reported: the alignment handed to SizeBuffers is 1.
    ASSERT_EQ(S_OK, Connect());
    ASSERT_NE(nullptr, pin->Allocator());
    IMemAllocator* notified = sink->Input().NotifiedAllocator();
    EXPECT_EQ(pin->Allocator(), notified);
    notified->Release();
    ASSERT_EQ(1u, pin->sizeRequests.size());
    EXPECT_EQ(1, pin->sizeRequests[0].cbAlign);
    EXPECT_EQ(1, sink->Input().CallCount(SinkCall::GetAllocator));

    ALLOCATOR_PROPERTIES granted = {};
    ASSERT_EQ(S_OK, pin->Allocator()->GetProperties(&granted));
    EXPECT_GE(granted.cbBuffer, pin->bufferSize);
}

TEST_F(OutputPinBaseTest, RefusedDownstreamAllocatorFallsBackToTheDefault)
{
    sink->Input().OfferOwnAllocator(true);
    pin->sizeAnswers = {VFW_E_BADALIGN};
    ASSERT_EQ(S_OK, Connect());

    IMemAllocator* offered = sink->Input().OwnAllocator();
    ASSERT_EQ(2u, pin->sizedAllocators.size());
    EXPECT_EQ(offered, pin->sizedAllocators[0]);
    EXPECT_NE(offered, pin->sizedAllocators[1]);
    EXPECT_EQ(pin->sizedAllocators[1], pin->Allocator());
    EXPECT_EQ(1, sink->Input().CallCount(SinkCall::NotifyAllocator));
    offered->Release();
}

TEST_F(OutputPinBaseTest, BothAllocatorsFailingFailsTheConnectionWithTheSecondFailure)
{
    sink->Input().OfferOwnAllocator(true);
    pin->sizeAnswers = {VFW_E_BADALIGN, VFW_E_SIZENOTSET};
    EXPECT_EQ(VFW_E_SIZENOTSET, Connect());
    EXPECT_EQ(nullptr, pin->Allocator());
    EXPECT_EQ(nullptr, pin->InputPin());
    EXPECT_FALSE(pin->IsConnected());
    // The downstream pin had taken the connection; it is undone.
    EXPECT_FALSE(sink->Input().IsConnected());

    // A refused notification is a failure of the same kind.
    pin->sizeAnswers.clear();
    pin->sizeRequests.clear();
    sink->Input().SetAnswer(SinkCall::NotifyAllocator, E_OUTOFMEMORY);
    EXPECT_EQ(E_OUTOFMEMORY, Connect());
    EXPECT_EQ(2u, pin->sizeRequests.size());
    EXPECT_EQ(nullptr, pin->Allocator());

    // And so is a default allocator that cannot be made.
    sink->Input().SetAnswer(SinkCall::NotifyAllocator, S_OK);
    sink->Input().OfferOwnAllocator(false);
    pin->defaultAllocatorAnswer = REGDB_E_CLASSNOTREG;
    EXPECT_EQ(REGDB_E_CLASSNOTREG, Connect());
    EXPECT_FALSE(sink->Input().IsConnected());
}

TEST_F(OutputPinBaseTest, PeerWithoutMemoryTransportIsRefused)
{
    TestFilter* other = TestFilter::Create();
    TestPin* input = new TestPin(other, L"in", PINDIR_INPUT);
    EXPECT_EQ(E_NOINTERFACE, pin->Connect(input, &type));
    EXPECT_FALSE(input->IsConnected());
    EXPECT_EQ(nullptr, pin->InputPin());
    other->Release();
}

TEST_F(OutputPinBaseTest, SamplesFlowWhileTheFilterIsActive)
{
    ASSERT_EQ(S_OK, Connect());
    ASSERT_EQ(S_OK, filter->Pause()); // commits the allocator

    IMediaSample* sample = nullptr;
    ASSERT_EQ(S_OK, pin->AcquireSample(&sample, nullptr, nullptr, 0));
    BYTE* data = nullptr;
    ASSERT_EQ(S_OK, sample->GetPointer(&data));
    const BYTE payload[] = {0, 0, 0, 1, 0x65, 0x88};
    std::memcpy(data, payload, sizeof payload);
    sample->SetActualDataLength(sizeof payload);
    REFERENCE_TIME start = 400000, stop = 733333;
    sample->SetTime(&start, &stop);
    sample->SetSyncPoint(TRUE);
    sample->SetDiscontinuity(TRUE);
    EXPECT_EQ(S_OK, pin->DeliverSample(sample));

    sink->Input().SetAnswer(SinkCall::Receive, S_FALSE);
    sample->SetSyncPoint(FALSE);
    sample->SetDiscontinuity(FALSE);
    EXPECT_EQ(S_FALSE, pin->DeliverSample(sample));
    sample->Release();

    std::vector<ReceivedSample> samples = sink->Input().Samples();
    ASSERT_EQ(2u, samples.size());
    EXPECT_EQ(std::vector<BYTE>(payload, payload + sizeof payload), samples[0].bytes);
    EXPECT_EQ(S_OK, samples[0].timeResult);
    EXPECT_EQ(400000, samples[0].start);
    EXPECT_EQ(733333, samples[0].stop);
    EXPECT_TRUE(samples[0].syncPoint);
    EXPECT_TRUE(samples[0].discontinuity);
    EXPECT_FALSE(samples[1].syncPoint);
    EXPECT_FALSE(samples[1].discontinuity);

    EXPECT_EQ(S_OK, pin->SendNewSegment(100, 900, 2.0));
    EXPECT_EQ(S_OK, pin->SendBeginFlush());
    EXPECT_EQ(S_OK, pin->SendEndFlush());
    EXPECT_EQ(S_OK, pin->SendEndOfStream());
    std::vector<ReceivedSegment> segments = sink->Input().Segments();
    ASSERT_EQ(1u, segments.size());
    EXPECT_EQ(100, segments[0].start);
    EXPECT_EQ(900, segments[0].stop);
    EXPECT_EQ(2.0, segments[0].rate);
    EXPECT_EQ(1, sink->Input().BeginFlushCount());
    EXPECT_EQ(1, sink->Input().EndFlushCount());
    EXPECT_EQ(1, sink->Input().EndOfStreamCount());

    // Stopping decommits: no more samples are handed out.
    pin->SetRunTimeError();
    ASSERT_EQ(S_OK, filter->Stop());
    EXPECT_FALSE(pin->RunTimeError());
    sample = nullptr;
    EXPECT_TRUE(FAILED(pin->AcquireSample(&sample, nullptr, nullptr, 0)));
    EXPECT_EQ(nullptr, sample);

    // Disconnection lets the allocator and the transport go.
    EXPECT_EQ(S_OK, pin->Disconnect());
    EXPECT_EQ(nullptr, pin->Allocator());
    EXPECT_EQ(nullptr, pin->InputPin());
}

TEST_F(OutputPinBaseTest, StreamingThreadDeliversInOrderUntilEndOfStream)
{
    ASSERT_EQ(S_OK, Connect());
    ASSERT_EQ(S_OK, filter->Run(0));
    const int count = 40;
    std::thread streaming([&] {
        for (int i = 0; i < count; ++i) {
            IMediaSample* sample = nullptr;
            if (FAILED(pin->AcquireSample(&sample, nullptr, nullptr, 0)))
                return;
            BYTE* data = nullptr;
            sample->GetPointer(&data);
            data[0] = BYTE(i);
            data[1] = BYTE(0xA0 + i);
            sample->SetActualDataLength(2);
            REFERENCE_TIME start = i * 1000, stop = start + 1000;
            sample->SetTime(&start, &stop);
            pin->DeliverSample(sample);
            sample->Release();
        }
        pin->SendEndOfStream();
    });
    EXPECT_TRUE(sink->Input().WaitForEndOfStream(1, 10000));
    streaming.join();

    std::vector<ReceivedSample> samples = sink->Input().Samples();
    ASSERT_EQ(size_t(count), samples.size());
    for (int i = 0; i < count; ++i) {
        EXPECT_EQ((std::vector<BYTE>{BYTE(i), BYTE(0xA0 + i)}), samples[size_t(i)].bytes);
        EXPECT_EQ(i * 1000, samples[size_t(i)].start);
    }
}

TEST_F(OutputPinBaseTest, StoppingReleasesAThreadWaitingForASample)
{
    ASSERT_EQ(S_OK, Connect()); // one buffer only
    ASSERT_EQ(S_OK, filter->Pause());
    IMediaSample* held = nullptr;
    ASSERT_EQ(S_OK, pin->AcquireSample(&held, nullptr, nullptr, 0));

    std::atomic<bool> returned{false};
    HRESULT waited = S_OK;
    IMediaSample* second = nullptr;
    std::thread streaming([&] {
        waited = pin->AcquireSample(&second, nullptr, nullptr, 0);
        returned = true;
    });
    Sleep(100);
    EXPECT_FALSE(returned.load()) << "the only buffer is taken: the request must wait";
    EXPECT_EQ(S_OK, filter->Stop());
    streaming.join();
    EXPECT_TRUE(FAILED(waited));
    EXPECT_EQ(nullptr, second);
    held->Release();
}

TEST_F(OutputPinBaseTest, FilterDestroyedWhileConnectedGivesBackItsReferences)
{
    // A graph that lets go of the downstream side only: the source filter's
    // last reference goes while its pin still holds the sink, the allocator
    // and the transport. The fixture's live count catches what is kept.
    sink->Input().OfferOwnAllocator(true);
    ASSERT_EQ(S_OK, Connect());
    ASSERT_EQ(S_OK, sink->Input().Disconnect());
    filter->Release();
    filter = nullptr;
}

TEST_F(OutputPinBaseTest, UnconnectedPinHasNothingToDeliverWith)
{
    IMediaSample* sample = nullptr;
    EXPECT_EQ(E_NOINTERFACE, pin->AcquireSample(&sample, nullptr, nullptr, 0));
    EXPECT_EQ(VFW_E_NOT_CONNECTED, pin->DeliverSample(nullptr));
    EXPECT_EQ(VFW_E_NOT_CONNECTED, pin->SendEndOfStream());
    EXPECT_EQ(VFW_E_NOT_CONNECTED, pin->SendBeginFlush());
    EXPECT_EQ(VFW_E_NOT_CONNECTED, pin->SendEndFlush());
    EXPECT_EQ(VFW_E_NOT_CONNECTED, pin->SendNewSegment(0, 1, 1.0));
    EXPECT_EQ(VFW_E_NO_ALLOCATOR, pin->Activate());

    // Deactivate clears the run-time error even with no allocator to decommit.
    pin->SetRunTimeError();
    EXPECT_EQ(VFW_E_NO_ALLOCATOR, pin->Deactivate());
    EXPECT_FALSE(pin->RunTimeError());
}

} // namespace
