#include "tests/support/SourceGraph.h"

#include <chrono>

SourceGraph::SourceGraph(IBaseFilter* source, bool inGraph) : source(source)
{
    if (inGraph) {
        graph = TestGraph::Create();
        graph->AddFilter(source, L"source");
    }
}

SourceGraph::~SourceGraph()
{
    Close();
}

void SourceGraph::Close()
{
    if (source)
        source->Stop();
    // The sinks hold the pins, and so the source; they let go first.
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
    if (graph)
        graph->Release();
    graph = nullptr;
    if (source)
        source->Release();
    source = nullptr;
}

void SourceGraph::ReleaseSource()
{
    for (SinkFilter* sink : sinks)
        sink->Input().Disconnect();
    if (graph)
        graph->RemoveFilter(source);
    source->Release();
    source = nullptr;
}

SinkPin& SourceGraph::Connect(IPin* output, const AM_MEDIA_TYPE* type, HRESULT* result)
{
    SinkFilter* sink = SinkFilter::Create();
    sinks.push_back(sink);
    HRESULT connected = output->Connect(sink->Input().AsPin(), type);
    if (result)
        *result = connected;
    return sink->Input();
}

HRESULT SourceGraph::Run()
{
    HRESULT result = source->Pause();
    return FAILED(result) ? result : source->Run(0);
}

HRESULT SourceGraph::Stop()
{
    return source->Stop();
}

bool SourceGraph::WaitForEndOfStreams(int count, DWORD milliseconds)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (SinkFilter* sink : sinks) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (!sink->Input().WaitForEndOfStream(count, DWORD(left.count() > 0 ? left.count() : 0)))
            return false;
    }
    return true;
}
