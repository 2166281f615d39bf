// The filter as a host uses it: created through its creation routine, placed
// in a recording graph, loaded, each output pin connected to a test sink of
// its own, run to the end of every stream and torn down so that every
// reference comes back, whatever state a test left it in.
#pragma once

#include "filter/MovieSourceFilter.h"
#include "streams/MovieOutputPin.h"
#include "tests/support/SourceGraph.h"

#include <string>

class MovieGraph : public SourceGraph {
public:
    MovieGraph();

    HRESULT Load(const std::string& path);
    // Connects every output pin to a new sink that accepts any type.
    HRESULT ConnectAll();

    int PinCount() { return filter->PinCount(); }
    MovieOutputPin* Pin(int index) { return filter->OutputPin(index); }
    IPin* PinInterface(int index) { return static_cast<IPin*>(Pin(index)); }
    IMediaSeeking* Seeking(int index) { return static_cast<IMediaSeeking*>(Pin(index)); }

    // The source as its own class; valid until ReleaseSource or Close.
    MovieSourceFilter* const filter;

private:
    explicit MovieGraph(MovieSourceFilter* created);
};
