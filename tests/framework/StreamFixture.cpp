#include "tests/framework/StreamFixture.h"

#include <chrono>

void StreamFixture::SetUp()
{
    ComTest::SetUp();
    filter = TestFilter::Create();
    host.reset(new SourceGraph(filter));
    graph = host->graph;
}

void StreamFixture::TearDown()
{
    host.reset();
    ComTest::TearDown();
}

StreamTestPin* StreamFixture::AddPin(LPCWSTR name) { return new StreamTestPin(filter, name); }

SinkPin& StreamFixture::Connect(StreamTestPin* pin)
{
    HRESULT result = E_FAIL;
    SinkPin& sink = host->Connect(pin, nullptr, &result);
    EXPECT_EQ(S_OK, result);
    return sink;
}

void StreamFixture::DestroyFilter()
{
    host->ReleaseSource();
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
