// The fixture of the stream pin tests: a source filter in a recording graph,
// stream test pins each connected to a sink of its own, and a clean end that
// gives every reference back, whatever state a test left things in.
#pragma once

#include "tests/framework/FrameworkFakes.h"
#include "tests/framework/StreamTestPin.h"
#include "tests/support/ComTest.h"
#include "tests/support/SourceGraph.h"

#include <functional>
#include <memory>

class StreamFixture : public ComTest {
protected:
    void SetUp() override;
    void TearDown() override;

    StreamTestPin* AddPin(LPCWSTR name);
    // Connects the pin to a new sink that accepts any type; the pin offers
    // its one type.
    SinkPin& Connect(StreamTestPin* pin);
    // Lets the filter go without stopping it first: its pins are destroyed
    // in whatever state they are in.
    void DestroyFilter();

    FILTER_STATE State();

    std::unique_ptr<SourceGraph> host;
    TestGraph* graph = nullptr;
    TestFilter* filter = nullptr; // the host's source, until DestroyFilter
};

// The positions of the samples a sink recorded, in arrival order.
std::vector<LONG> Positions(SinkPin& sink);

// Polls the condition every millisecond; false if it still fails after the
// given time.
bool PollUntil(const std::function<bool()>& condition, DWORD milliseconds = 10000);
