// A source filter as a host holds it: in a recording graph (unless asked
// otherwise), each output pin a test connects joined to a test sink of its
// own, and a teardown that gives every reference back whatever state a test
// left things in: the filter is stopped, each connection is broken on both
// sides, then the sinks, the graph and the filter are let go.
#pragma once

#include "tests/support/SinkFilter.h"
#include "tests/support/TestGraph.h"

#include <vector>

class SourceGraph {
public:
    // Takes over one counted reference to source; with inGraph the source
    // joins a new graph.
    explicit SourceGraph(IBaseFilter* source, bool inGraph = true);
    ~SourceGraph();
    SourceGraph(const SourceGraph&) = delete;
    SourceGraph& operator=(const SourceGraph&) = delete;

    // Connects output to a new sink that accepts any type, proposing type
    // when given; *result (when given) receives Connect's answer.
    SinkPin& Connect(IPin* output, const AM_MEDIA_TYPE* type = nullptr, HRESULT* result = nullptr);
    // Pause, then Run.
    HRESULT Run();
    HRESULT Stop();
    // Waits until every sink has seen count ends of stream.
    bool WaitForEndOfStreams(int count, DWORD milliseconds);
    // The sink of the index-th connection.
    SinkPin& Sink(int index) { return sinks.at(size_t(index))->Input(); }

    // Lets the source go as a host may, without stopping it first: the sinks
    // drop their side of each connection (the references they held on the
    // source's pins), the graph removes the source, and the last reference
    // goes, so the source is destroyed in whatever state it is in. The sinks
    // stay for the test to read.
    void ReleaseSource();
    // The teardown; the destructor does it when the test has not.
    void Close();

    IBaseFilter* source = nullptr; // one counted reference, until ReleaseSource
    TestGraph* graph = nullptr;
    std::vector<SinkFilter*> sinks; // one counted reference each
};
