#include "tests/filter/MovieGraph.h"

#include <chrono>

std::wstring WidePath(const std::string& path)
{
    std::wstring wide(path.size() + 1, L'\0');
    int length = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, &wide[0], int(wide.size()));
    wide.resize(length > 0 ? size_t(length - 1) : 0);
    return wide;
}

MovieGraph::MovieGraph()
{
    HRESULT result = S_OK;
    IUnknown* unknown = CreateMovieSourceFilter(nullptr, &result);
    IBaseFilter* base = nullptr;
    unknown->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(&base));
    filter = static_cast<MovieSourceFilter*>(base);
    graph = TestGraph::Create();
    graph->AddFilter(filter, L"source");
}

MovieGraph::~MovieGraph()
{
    filter->Stop();
    // The sinks hold the pins, and so the filter; they let go first.
    for (SinkFilter* sink : sinks) {
        IPin* peer = nullptr;
        if (SUCCEEDED(sink->Input().ConnectedTo(&peer))) {
            peer->Disconnect();
            peer->Release();
        }
        sink->Input().Disconnect();
        sink->Release();
    }
    graph->Release();
    static_cast<IBaseFilter*>(filter)->Release();
}

HRESULT MovieGraph::Load(const std::string& path)
{
    return filter->Load(WidePath(path).c_str(), nullptr);
}

HRESULT MovieGraph::ConnectAll()
{
    for (int i = 0; i < PinCount(); ++i) {
        SinkFilter* sink = SinkFilter::Create();
        sinks.push_back(sink);
        HRESULT result = PinInterface(i)->Connect(sink->Input().AsPin(), nullptr);
        if (FAILED(result))
            return result;
    }
    return S_OK;
}

HRESULT MovieGraph::Run()
{
    HRESULT result = filter->Pause();
    if (FAILED(result))
        return result;
    return filter->Run(0);
}

HRESULT MovieGraph::Stop()
{
    return filter->Stop();
}

bool MovieGraph::WaitForEndOfStreams(int count, DWORD milliseconds)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (SinkFilter* sink : sinks) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (!sink->Input().WaitForEndOfStream(count, DWORD(left.count() > 0 ? left.count() : 0)))
            return false;
    }
    return true;
}
