// The source stream pin: its command protocol, the sample loop's endings,
// activation with the filter's state, and the threads a failed Pause leaves.
#include "tests/framework/StreamFixture.h"
#include "tests/support/Watchdog.h"

#include <atomic>

namespace {

const LONG CommandUnknown = 5;

class SourceStreamPinTest : public StreamFixture {};

// Contiguous positions from first: a restart, a gap or a repeat breaks it.
void ExpectRun(const std::vector<LONG>& positions, LONG first)
{
    for (size_t i = 0; i < positions.size(); ++i)
        ASSERT_EQ(first + LONG(i), positions[i]) << "sample " << i;
}

// A pin that keeps the base type hooks.
class TypelessPin : public SourceStreamPin {
public:
    explicit TypelessPin(SourceFilterBase* filter) : SourceStreamPin(nullptr, filter, L"typeless") {}
    HRESULT FillSample(IMediaSample*) override { return S_FALSE; }
    HRESULT SizeBuffers(IMemAllocator*, ALLOCATOR_PROPERTIES*) override { return E_FAIL; }
};

// An allocator that takes a while to return from Decommit, after the one it
// wraps has decommitted, so that a stopping thread meets it mid-decommit.
// Starved, it has no buffer free: a GetBuffer that may wait waits until it is
// fed again or decommitted, as the allocator's contract has it. Failing, it
// answers every GetBuffer with that failure.
class SlowDecommitAllocator final : public IMemAllocator {
public:
    explicit SlowDecommitAllocator(IMemAllocator* inner) : inner(inner) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        *out = iid == IID_IUnknown || iid == IID_IMemAllocator ? static_cast<IMemAllocator*>(this) : nullptr;
        if (!*out)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++references; }
    STDMETHODIMP_(ULONG) Release() override
    {
        const ULONG left = --references;
        if (left == 0)
            delete this;
        return left;
    }
    STDMETHODIMP SetProperties(ALLOCATOR_PROPERTIES* wanted, ALLOCATOR_PROPERTIES* actual) override
    {
        return inner->SetProperties(wanted, actual);
    }
    STDMETHODIMP GetProperties(ALLOCATOR_PROPERTIES* properties) override { return inner->GetProperties(properties); }
    STDMETHODIMP Commit() override
    {
        decommitted = false;
        return inner->Commit();
    }
    STDMETHODIMP Decommit() override
    {
        decommitted = true;
        const HRESULT result = inner->Decommit();
        Sleep(50);
        return result;
    }
    STDMETHODIMP GetBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop, DWORD flags) override
    {
        ++requests;
        if (FAILED(failure.load()))
            return failure.load();
        if (starved && (flags & AM_GBF_NOWAIT))
            return VFW_E_TIMEOUT;
        while (starved && !decommitted)
            Sleep(1);
        return inner->GetBuffer(sample, start, stop, flags);
    }
    STDMETHODIMP ReleaseBuffer(IMediaSample* sample) override { return inner->ReleaseBuffer(sample); }

    std::atomic<bool> starved{false};
    std::atomic<HRESULT> failure{S_OK};
    std::atomic<int> requests{0};

private:
    ~SlowDecommitAllocator() { inner->Release(); }

    IMemAllocator* inner;
    std::atomic<ULONG> references{1};
    std::atomic<bool> decommitted{true};
};

// A stream test pin whose own allocator is a SlowDecommitAllocator.
class SlowDecommitPin : public StreamTestPin {
public:
    SlowDecommitPin(SourceFilterBase* filter, LPCWSTR name) : StreamTestPin(filter, name) {}
    HRESULT CreateDefaultAllocator(IMemAllocator** out) override
    {
        IMemAllocator* inner = nullptr;
        const HRESULT made = StreamTestPin::CreateDefaultAllocator(&inner);
        if (FAILED(made))
            return made;
        allocator = new SlowDecommitAllocator(inner);
        *out = allocator;
        return S_OK;
    }
    SlowDecommitAllocator* allocator = nullptr; // the pin holds it while connected
};

TEST_F(SourceStreamPinTest, PinJoinsItsFilterAndOffersExactlyItsOneType)
{
    HRESULT result = E_FAIL;
    auto* first = new StreamTestPin(filter, L"first", &result);
    EXPECT_EQ(S_OK, result);
    StreamTestPin* second = AddPin(L"second");
    ASSERT_EQ(2, filter->PinCount());
    EXPECT_EQ(first, filter->PinAt(0));
    EXPECT_EQ(first->OwningFilter(), filter);

    MediaTypeRecord type;
    EXPECT_EQ(E_INVALIDARG, first->GetTypeAt(-1, &type));
    EXPECT_EQ(VFW_S_NO_MORE_ITEMS, first->GetTypeAt(1, &type));
    ASSERT_EQ(S_OK, first->GetTypeAt(0, &type));
    EXPECT_TRUE(type.Equals(first->streamType));
    EXPECT_EQ(S_OK, first->CheckType(&type));
    type.subtype = MEDIASUBTYPE_None;
    EXPECT_EQ(E_FAIL, first->CheckType(&type));

    // The connection is made with the pin's own type, found through GetTypeAt.
    SinkPin& sink = Connect(second);
    EXPECT_TRUE(sink.ConnectionType().Equals(second->streamType));

    // A pin that names no type offers none and accepts none.
    auto* typeless = new TypelessPin(filter);
    EXPECT_EQ(E_UNEXPECTED, typeless->GetTypeAt(0, &type));
    EXPECT_EQ(E_FAIL, typeless->CheckType(&second->streamType));

    delete first;
    delete typeless;
    ASSERT_EQ(1, filter->PinCount());
    EXPECT_EQ(second, filter->PinAt(0));
}

TEST_F(SourceStreamPinTest, CommandsAreAnsweredAccordingToTheThreadsState)
{
    Watchdog watchdog("command answers", 120);

    // Awaiting INIT: everything else is unexpected, and INIT still works.
    StreamTestPin* idle = AddPin(L"idle");
    ASSERT_TRUE(idle->StartThread());
    EXPECT_EQ(E_UNEXPECTED, idle->SendCommand(CommandPause));
    EXPECT_EQ(E_UNEXPECTED, idle->SendCommand(CommandRun));
    EXPECT_EQ(E_UNEXPECTED, idle->SendCommand(CommandExit));
    EXPECT_EQ(0, idle->begins.load());
    EXPECT_EQ(S_OK, idle->SendCommand(CommandInit));
    EXPECT_EQ(1, idle->begins.load());
    // Ready: commands it does not know are not implemented, INIT included.
    EXPECT_EQ(E_NOTIMPL, idle->SendCommand(CommandInit));
    EXPECT_EQ(E_NOTIMPL, idle->SendCommand(CommandUnknown));
    EXPECT_EQ(E_NOTIMPL, idle->SendCommand(-1));
    EXPECT_EQ(S_OK, idle->SendCommand(CommandStop));
    EXPECT_EQ(S_OK, idle->SendCommand(CommandExit));
    idle->JoinThread();
    EXPECT_EQ(1, idle->ends.load());
    EXPECT_EQ(0, idle->playBegins.load());

    // Streaming: the same commands are unexpected and do not interrupt it.
    StreamTestPin* pin = AddPin(L"out");
    SinkPin& sink = Connect(pin);
    ASSERT_EQ(S_OK, filter->Pause());
    ASSERT_TRUE(sink.WaitForSamples(3, 10000));
    EXPECT_EQ(E_UNEXPECTED, pin->SendCommand(CommandInit));
    EXPECT_EQ(E_UNEXPECTED, pin->SendCommand(CommandUnknown));
    EXPECT_EQ(E_UNEXPECTED, pin->SendCommand(CommandExit));
    // RUN while streaming is answered and the loop carries on.
    EXPECT_EQ(S_OK, pin->SendCommand(CommandRun));
    size_t seen = sink.SampleCount();
    ASSERT_TRUE(sink.WaitForSamples(seen + 3, 10000));
    EXPECT_EQ(1, pin->playBegins.load());

    // STOP leaves it ready; RUN restarts the loop where the cursor is.
    EXPECT_EQ(S_OK, pin->SendCommand(CommandStop));
    seen = sink.SampleCount();
    EXPECT_EQ(E_NOTIMPL, pin->SendCommand(CommandInit));
    EXPECT_EQ(E_NOTIMPL, pin->SendCommand(CommandUnknown));
    EXPECT_EQ(seen, sink.SampleCount());
    EXPECT_EQ(S_OK, pin->SendCommand(CommandRun));
    ASSERT_TRUE(sink.WaitForSamples(seen + 3, 10000));
    EXPECT_EQ(2, pin->playBegins.load());

    EXPECT_EQ(S_OK, filter->Stop());
    EXPECT_FALSE(pin->ThreadExists());
    EXPECT_EQ(1, pin->ends.load());
    ExpectRun(Positions(sink), 0);
    EXPECT_EQ(0, sink.EndOfStreamCount());
    EXPECT_TRUE(graph->Events().empty());
}

TEST_F(SourceStreamPinTest, EndOfStreamAndFillErrorsEndStreamingDifferently)
{
    Watchdog watchdog("stream endings", 120);
    StreamTestPin* ending = AddPin(L"ending");
    StreamTestPin* failing = AddPin(L"failing");
    SinkPin& endingSink = Connect(ending);
    SinkPin& failingSink = Connect(failing);
    ending->fillAnswers = {S_FALSE};
    // A success code that is neither S_OK nor S_FALSE is an error too.
    failing->fillAnswers = {S_OK, S_OK, S_OK, HRESULT(2)};

    ASSERT_EQ(S_OK, filter->Pause());
    ASSERT_TRUE(endingSink.WaitForEndOfStream(1, 10000));
    ASSERT_TRUE(failingSink.WaitForEndOfStream(1, 10000));
    ASSERT_TRUE(graph->WaitForEvent(EC_ERRORABORT, 10000));

    // The thread waits, ready, after either ending: a later RUN streams on.
    EXPECT_EQ(S_OK, failing->SendCommand(CommandRun));
    ASSERT_TRUE(failingSink.WaitForSamples(5, 10000));
    EXPECT_EQ(S_OK, filter->Stop());

    EXPECT_EQ(1, ending->fills.load());
    EXPECT_EQ(0u, endingSink.SampleCount());
    EXPECT_EQ(0, endingSink.CallCount(SinkCall::Receive));
    EXPECT_EQ(1, endingSink.EndOfStreamCount());

    EXPECT_EQ(1, failingSink.EndOfStreamCount());
    EXPECT_EQ(2, failing->playBegins.load());
    std::vector<LONG> positions = Positions(failingSink);
    ExpectRun(positions, 0);
    std::vector<GraphEvent> events = graph->Events();
    ASSERT_EQ(1u, events.size()) << "only the error is reported";
    EXPECT_EQ(EC_ERRORABORT, events[0].code);
    EXPECT_EQ(2, events[0].param1);
    EXPECT_EQ(0, events[0].param2);
}

TEST_F(SourceStreamPinTest, RefusedDeliveryEndsStreamingWithoutEndOfStream)
{
    Watchdog watchdog("refused delivery", 120);
    StreamTestPin* pin = AddPin(L"out");
    SinkPin& sink = Connect(pin);
    sink.SetAnswer(SinkCall::Receive, S_FALSE);

    ASSERT_EQ(S_OK, filter->Pause());
    ASSERT_TRUE(sink.WaitForSamples(1, 10000));
    // A loop that went on would fill many more in this time.
    Sleep(50);
    EXPECT_EQ(1, pin->fills.load());
    EXPECT_EQ(1, sink.CallCount(SinkCall::Receive));
    EXPECT_EQ(0, sink.EndOfStreamCount());
    EXPECT_TRUE(graph->Events().empty());

    sink.SetAnswer(SinkCall::Receive, S_OK);
    EXPECT_EQ(S_OK, pin->SendCommand(CommandRun));
    ASSERT_TRUE(sink.WaitForSamples(4, 10000));
    EXPECT_EQ(S_OK, filter->Stop());
    ExpectRun(Positions(sink), 0);
    EXPECT_EQ(0, sink.EndOfStreamCount());
}

TEST_F(SourceStreamPinTest, AllocatorDecommittedUnderTheStreamEndsItQuietlyUntilTheNextCommand)
{
    // As a downstream pin that stops before this filter does: the loop asks
    // once, then waits for the Stop without asking again.
    Watchdog watchdog("decommitted allocator", 120);
    StreamTestPin* pin = AddPin(L"out");
    SinkPin& sink = Connect(pin);
    ASSERT_EQ(S_OK, filter->Pause());
    ASSERT_TRUE(sink.WaitForSamples(1, 10000));

    ASSERT_EQ(S_OK, pin->Allocator()->Decommit());
    ASSERT_TRUE(PollUntil([&] { return pin->failedAcquires.load() >= 1; }));
    Sleep(50);
    EXPECT_EQ(1, pin->failedAcquires.load());
    EXPECT_EQ(0, sink.EndOfStreamCount());
    EXPECT_TRUE(graph->Events().empty());

    // Committed again, the next RUN streams on.
    const size_t delivered = sink.SampleCount();
    ASSERT_EQ(S_OK, pin->Allocator()->Commit());
    EXPECT_EQ(S_OK, pin->SendCommand(CommandRun));
    EXPECT_TRUE(sink.WaitForSamples(delivered + 2, 10000));
    EXPECT_EQ(S_OK, filter->Stop());
}

TEST_F(SourceStreamPinTest, AllocatorFailureEndsTheStreamWithAnError)
{
    Watchdog watchdog("failing allocator", 120);
    auto* pin = new SlowDecommitPin(filter, L"failing");
    SinkPin& sink = Connect(pin);
    ASSERT_EQ(S_OK, filter->Run(0));
    ASSERT_TRUE(sink.WaitForSamples(2, 10000));
    pin->allocator->failure = E_OUTOFMEMORY;
    ASSERT_TRUE(PollUntil([&] { return sink.EndOfStreamCount() == 1; }));
    const int requests = pin->allocator->requests.load();
    Sleep(20);
    EXPECT_EQ(requests, pin->allocator->requests.load()) << "the loop must have ended";
    const std::vector<GraphEvent> events = graph->Events();
    ASSERT_EQ(1u, events.size());
    EXPECT_EQ(EC_ERRORABORT, events[0].code);
    EXPECT_EQ(LONG_PTR(E_OUTOFMEMORY), events[0].param1);
    pin->allocator->failure = S_OK;
    EXPECT_EQ(S_OK, filter->Stop());
}

TEST_F(SourceStreamPinTest, StopDuringASlowDecommitEndsTheThreadWithoutAnError)
{
    // The thread may ask for a buffer just as the decommit begins: nothing
    // orders the two, and the allocator then refuses it. What Stop promises
    // is the thread's end, nothing delivered after it and no error.
    Watchdog watchdog("slow decommit", 120);
    auto* pin = new SlowDecommitPin(filter, L"slow");
    SinkPin& sink = Connect(pin);
    ASSERT_NE(nullptr, pin->allocator);
    for (int round = 0; round < 3; ++round) {
        ASSERT_EQ(S_OK, filter->Run(0));
        ASSERT_TRUE(PollUntil([&] { return pin->fills.load() > 2; }));
        EXPECT_EQ(S_OK, filter->Stop());
        EXPECT_FALSE(pin->ThreadExists());
        const size_t delivered = sink.SampleCount();
        Sleep(20);
        EXPECT_EQ(delivered, sink.SampleCount()) << "round " << round;
    }
    EXPECT_EQ(0, sink.EndOfStreamCount());
    EXPECT_TRUE(graph->Events().empty());
}

TEST_F(SourceStreamPinTest, StopEndsAThreadWhoseAllocatorHasNoBufferFree)
{
    Watchdog watchdog("starved allocator", 120);
    auto* pin = new SlowDecommitPin(filter, L"starved");
    Connect(pin);
    ASSERT_NE(nullptr, pin->allocator);
    ASSERT_EQ(S_OK, filter->Run(0));
    ASSERT_TRUE(PollUntil([&] { return pin->fills.load() > 2; }));
    pin->allocator->starved = true;
    Sleep(20);
    EXPECT_EQ(S_OK, filter->Stop());
    pin->allocator->starved = false;
}

TEST_F(SourceStreamPinTest, ActivationFollowsConnectionAndFilterState)
{
    Watchdog watchdog("activation", 120);
    StreamTestPin* connected = AddPin(L"connected");
    StreamTestPin* loose = AddPin(L"loose");
    Connect(connected);

    EXPECT_EQ(S_OK, loose->Activate());
    EXPECT_FALSE(loose->ThreadExists());
    EXPECT_EQ(S_OK, loose->Deactivate());

    ASSERT_EQ(S_OK, filter->Pause());
    EXPECT_TRUE(connected->ThreadExists());
    EXPECT_FALSE(loose->ThreadExists());
    EXPECT_EQ(0, loose->begins.load());
    // Already paused: nothing more is started.
    EXPECT_EQ(S_FALSE, connected->Activate());
    EXPECT_EQ(S_FALSE, loose->Activate());
    EXPECT_EQ(1, connected->begins.load());

    EXPECT_EQ(S_OK, filter->Stop());
    EXPECT_FALSE(connected->ThreadExists());
    EXPECT_EQ(1, connected->ends.load());
    // The connection cannot change while paused, but may once stopped.
    EXPECT_EQ(S_OK, connected->Disconnect());
}

TEST_F(SourceStreamPinTest, FilterThatFailedToPauseCanBeStoppedAndPausedAgain)
{
    Watchdog watchdog("failed pause", 120);
    StreamTestPin* first = AddPin(L"first");
    StreamTestPin* refusing = AddPin(L"refusing");
    StreamTestPin* last = AddPin(L"last");
    SinkPin& firstSink = Connect(first);
    SinkPin& refusingSink = Connect(refusing);
    SinkPin& lastSink = Connect(last);
    refusing->beginAnswer = E_OUTOFMEMORY;

    EXPECT_EQ(E_OUTOFMEMORY, filter->Pause());
    EXPECT_EQ(State_Stopped, State());
    // The first pin streams on; the refusing one's thread has ended.
    ASSERT_TRUE(firstSink.WaitForSamples(2, 10000));
    EXPECT_EQ(1, refusing->ends.load());
    EXPECT_EQ(0, last->begins.load());

    EXPECT_EQ(S_OK, filter->Stop());
    EXPECT_FALSE(first->ThreadExists());
    EXPECT_FALSE(refusing->ThreadExists());
    EXPECT_EQ(1, first->ends.load());
    size_t delivered = firstSink.SampleCount();
    Sleep(20);
    EXPECT_EQ(delivered, firstSink.SampleCount());

    refusing->beginAnswer = S_OK;
    ASSERT_EQ(S_OK, filter->Pause());
    EXPECT_TRUE(firstSink.WaitForSamples(delivered + 2, 10000));
    EXPECT_TRUE(refusingSink.WaitForSamples(2, 10000));
    EXPECT_TRUE(lastSink.WaitForSamples(2, 10000));
    EXPECT_EQ(S_OK, filter->Stop());
    EXPECT_EQ(2, refusing->begins.load());
    ExpectRun(Positions(firstSink), 0);
}

TEST_F(SourceStreamPinTest, ThreadsLeftByAFailedPauseEndWithDisconnectionOrDestruction)
{
    Watchdog watchdog("left threads", 120);
    StreamTestPin* first = AddPin(L"first");
    StreamTestPin* second = AddPin(L"second");
    StreamTestPin* refusing = AddPin(L"refusing");
    SinkPin& firstSink = Connect(first);
    SinkPin& secondSink = Connect(second);
    Connect(refusing);
    refusing->beginAnswer = E_ABORT;

    EXPECT_EQ(E_ABORT, filter->Pause());
    ASSERT_TRUE(firstSink.WaitForSamples(1, 10000));
    ASSERT_TRUE(secondSink.WaitForSamples(1, 10000));
    // The stopped filter lets the pin disconnect: the streaming thread goes
    // before the allocator and the downstream pin it uses.
    EXPECT_EQ(S_OK, first->Disconnect());
    EXPECT_FALSE(first->ThreadExists());
    EXPECT_EQ(nullptr, first->Allocator());

    // The rest go with the filter: one streaming, one ended but not joined.
    EXPECT_TRUE(second->ThreadExists());
    EXPECT_TRUE(refusing->ThreadExists());
    DestroyFilter();
}

TEST_F(SourceStreamPinTest, PinsDestroyedWhileStreamingEndTheirThreads)
{
    Watchdog watchdog("destruction", 120);
    StreamTestPin* pin = AddPin(L"out");
    SinkPin& sink = Connect(pin);
    ASSERT_EQ(S_OK, filter->Run(0));
    ASSERT_TRUE(sink.WaitForSamples(3, 10000));
    DestroyFilter();
}

TEST_F(SourceStreamPinTest, SeekReleasesAThreadBlockedDownstreamAndRestartsAtTheNewPosition)
{
    Watchdog watchdog("seek", 120);
    StreamTestPin* pin = AddPin(L"out");
    SinkPin& sink = Connect(pin);
    sink.HoldReceive(true);
    ASSERT_EQ(S_OK, filter->Pause());
    // The thread waits inside Receive, as it would on a paused renderer.
    ASSERT_TRUE(PollUntil([&] { return sink.CallCount(SinkCall::Receive) >= 1; }));

    EXPECT_EQ(S_OK, pin->Seek(100));
    EXPECT_EQ(1, sink.BeginFlushCount());
    EXPECT_EQ(1, sink.EndFlushCount());
    sink.HoldReceive(false);
    ASSERT_TRUE(sink.WaitForSamples(3, 10000));
    EXPECT_EQ(S_OK, filter->Stop());

    // The sample caught by the flush was dropped; nothing older follows it.
    ExpectRun(Positions(sink), 100);
    EXPECT_EQ(2, pin->playBegins.load());
    EXPECT_EQ(0, sink.EndOfStreamCount());
    EXPECT_TRUE(graph->Events().empty());
}

} // namespace
