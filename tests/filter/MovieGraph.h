// The filter as a host uses it: created through its creation routine, placed
// in a recording graph, loaded, each output pin connected to a test sink of
// its own, run to the end of every stream and torn down so that every
// reference comes back, whatever state a test left it in.
#pragma once

#include "filter/MovieSourceFilter.h"
#include "streams/MovieOutputPin.h"
#include "tests/support/SinkFilter.h"
#include "tests/support/TestGraph.h"

#include <string>
#include <vector>

class MovieGraph {
public:
    MovieGraph();
    ~MovieGraph();
    MovieGraph(const MovieGraph&) = delete;
    MovieGraph& operator=(const MovieGraph&) = delete;

    HRESULT Load(const std::string& path);
    // Connects every output pin to a new sink that accepts any type.
    HRESULT ConnectAll();
    // Pause, then Run.
    HRESULT Run();
    HRESULT Stop();
    // Waits until every connected sink has seen count ends of stream.
    bool WaitForEndOfStreams(int count, DWORD milliseconds);

    int PinCount() { return filter->PinCount(); }
    MovieOutputPin* Pin(int index) { return filter->OutputPin(index); }
    IPin* PinInterface(int index) { return static_cast<IPin*>(Pin(index)); }
    IMediaSeeking* Seeking(int index) { return static_cast<IMediaSeeking*>(Pin(index)); }
    // The sink connected to pin index.
    SinkPin& Sink(int index) { return sinks.at(size_t(index))->Input(); }

    MovieSourceFilter* filter = nullptr; // one counted reference
    TestGraph* graph = nullptr;
    std::vector<SinkFilter*> sinks;
};

// The wide form of a narrow path, as a host hands it to Load.
std::wstring WidePath(const std::string& path);
