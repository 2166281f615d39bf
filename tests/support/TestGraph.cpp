#include "tests/support/TestGraph.h"

#include <algorithm>
#include <chrono>

TestGraph* TestGraph::Create()
{
    auto* graph = new TestGraph();
    graph->AddRef();
    return graph;
}

TestGraph::TestGraph() : UnknownBase("TestGraph", nullptr) {}

TestGraph::~TestGraph()
{
    // The filters hold this graph uncounted: they leave it before it goes.
    for (IBaseFilter* filter : filters) {
        filter->JoinFilterGraph(nullptr, nullptr);
        filter->Release();
    }
}

HRESULT TestGraph::InnerQueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    if (IsEqualGUID(iid, IID_IFilterGraph))
        return ReturnInterface(static_cast<IFilterGraph*>(this), out);
    if (IsEqualGUID(iid, IID_IMediaEventSink))
        return ReturnInterface(static_cast<IMediaEventSink*>(this), out);
    return UnknownBase::InnerQueryInterface(iid, out);
}

std::vector<GraphEvent> TestGraph::Events()
{
    std::lock_guard<std::mutex> lock(mutex);
    return events;
}

int TestGraph::EventCount(LONG code)
{
    std::lock_guard<std::mutex> lock(mutex);
    return int(std::count_if(events.begin(), events.end(), [&](const GraphEvent& e) { return e.code == code; }));
}

bool TestGraph::WaitForEvent(LONG code, DWORD milliseconds)
{
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, std::chrono::milliseconds(milliseconds), [&] {
        return std::any_of(events.begin(), events.end(), [&](const GraphEvent& e) { return e.code == code; });
    });
}

void TestGraph::SetNotifyAnswer(HRESULT answer)
{
    std::lock_guard<std::mutex> lock(mutex);
    notifyAnswer = answer;
}

HRESULT TestGraph::AddFilter(IBaseFilter* filter, LPCWSTR name)
{
    if (!filter)
        return E_POINTER;
    HRESULT joined = filter->JoinFilterGraph(this, name);
    if (FAILED(joined))
        return joined;
    filter->AddRef();
    filters.push_back(filter);
    return S_OK;
}

HRESULT TestGraph::RemoveFilter(IBaseFilter* filter)
{
    auto found = std::find(filters.begin(), filters.end(), filter);
    if (found == filters.end())
        return VFW_E_NOT_FOUND;
    filters.erase(found);
    filter->JoinFilterGraph(nullptr, nullptr);
    filter->Release();
    return S_OK;
}

HRESULT TestGraph::EnumFilters(IEnumFilters**) { return E_NOTIMPL; }
HRESULT TestGraph::FindFilterByName(LPCWSTR, IBaseFilter**) { return E_NOTIMPL; }

HRESULT TestGraph::ConnectDirect(IPin* output, IPin* input, const AM_MEDIA_TYPE* type)
{
    if (!output || !input)
        return E_POINTER;
    return output->Connect(input, type);
}

HRESULT TestGraph::Reconnect(IPin*) { return E_NOTIMPL; }

HRESULT TestGraph::Disconnect(IPin* pin)
{
    if (!pin)
        return E_POINTER;
    return pin->Disconnect();
}

HRESULT TestGraph::SetDefaultSyncSource() { return E_NOTIMPL; }

HRESULT TestGraph::Notify(LONG code, LONG_PTR param1, LONG_PTR param2)
{
    std::lock_guard<std::mutex> lock(mutex);
    events.push_back({code, param1, param2, GetCurrentThreadId()});
    changed.notify_all();
    return notifyAnswer;
}
