#include "tests/framework/StreamFixture.h"

#include <chrono>

void StreamFixture::SetUp()
{
    ComTest::SetUp();
    graph = TestGraph::Create();
    filter = TestFilter::Create();
    ASSERT_EQ(S_OK, graph->AddFilter(filter, L"source"));
}

void StreamFixture::TearDown()
{
    if (filter)
        filter->Stop();
    for (SinkFilter* sink : sinks) {
        IPin* peer = nullptr;
        if (SUCCEEDED(sink->Input().ConnectedTo(&peer))) {
            peer->Disconnect();
            peer->Release();
        }
        sink->Input().Disconnect();
        sink->Release();
    }
    sinks.clear();
    if (filter)
        filter->Release();
    graph->Release();
    ComTest::TearDown();
}

StreamTestPin* StreamFixture::AddPin(LPCWSTR name) { return new StreamTestPin(filter, name); }

SinkPin& StreamFixture::Connect(StreamTestPin* pin)
{
    SinkFilter* sink = SinkFilter::Create();
    sinks.push_back(sink);
    EXPECT_EQ(S_OK, pin->Connect(sink->Input().AsPin(), nullptr));
    return sink->Input();
}

void StreamFixture::DestroyFilter()
{
    // The sinks hold the pins, and so the filter; they let go first.
    for (SinkFilter* sink : sinks)
        sink->Input().Disconnect();
    graph->RemoveFilter(filter);
    filter->Release();
    filter = nullptr;
}

FILTER_STATE StreamFixture::State()
{
    FILTER_STATE state = State_Running;
    EXPECT_EQ(S_OK, filter->GetState(0, &state));
    return state;
}

std::vector<LONG> Positions(SinkPin& sink)
{
    std::vector<LONG> positions;
    for (const ReceivedSample& sample : sink.Samples())
        positions.push_back(SamplePosition(sample.bytes));
    return positions;
}

bool PollUntil(const std::function<bool()>& condition, DWORD milliseconds)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        Sleep(1);
    }
    return true;
}
