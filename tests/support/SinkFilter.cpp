#include "tests/support/SinkFilter.h"

#include "framework/MediaTypeRecord.h"

#include <cwchar>

namespace {

// {3F0E8C52-7A41-4B6D-9C2E-5D18A0B7E631}: the sink's own class id.
const CLSID SinkFilterClassId = {0x3f0e8c52, 0x7a41, 0x4b6d, {0x9c, 0x2e, 0x5d, 0x18, 0xa0, 0xb7, 0xe6, 0x31}};
const WCHAR SinkFilterName[] = L"Sink";

} // namespace

SinkFilter* SinkFilter::Create()
{
    auto* sink = new SinkFilter();
    sink->AddRef();
    return sink;
}

SinkFilter::SinkFilter() : UnknownBase("SinkFilter", nullptr), pin(this) {}

SinkFilter::~SinkFilter() = default;

HRESULT SinkFilter::InnerQueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    if (IsEqualGUID(iid, IID_IBaseFilter) || IsEqualGUID(iid, IID_IMediaFilter) || IsEqualGUID(iid, IID_IPersist))
        return ReturnInterface(static_cast<IBaseFilter*>(this), out);
    return UnknownBase::InnerQueryInterface(iid, out);
}

HRESULT SinkFilter::GetClassID(CLSID* out)
{
    if (!out)
        return E_POINTER;
    *out = SinkFilterClassId;
    return S_OK;
}

HRESULT SinkFilter::Stop()
{
    state = State_Stopped;
    return S_OK;
}

HRESULT SinkFilter::Pause()
{
    state = State_Paused;
    return S_OK;
}

HRESULT SinkFilter::Run(REFERENCE_TIME)
{
    state = State_Running;
    return S_OK;
}

HRESULT SinkFilter::GetState(DWORD, FILTER_STATE* out)
{
    if (!out)
        return E_POINTER;
    *out = state;
    return S_OK;
}

HRESULT SinkFilter::SetSyncSource(IReferenceClock*) { return S_OK; }

HRESULT SinkFilter::GetSyncSource(IReferenceClock** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    return S_OK;
}

HRESULT SinkFilter::EnumPins(IEnumPins**) { return E_NOTIMPL; }

HRESULT SinkFilter::FindPin(LPCWSTR id, IPin** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!id || std::wcscmp(id, L"In") != 0)
        return VFW_E_NOT_FOUND;
    return ReturnInterface(pin.AsPin(), reinterpret_cast<void**>(out));
}

HRESULT SinkFilter::QueryFilterInfo(FILTER_INFO* out)
{
    if (!out)
        return E_POINTER;
    std::wmemcpy(out->achName, SinkFilterName, sizeof SinkFilterName / sizeof SinkFilterName[0]);
    out->pGraph = graph;
    if (graph)
        graph->AddRef();
    return S_OK;
}

HRESULT SinkFilter::JoinFilterGraph(IFilterGraph* newGraph, LPCWSTR)
{
    graph = newGraph;
    return S_OK;
}

HRESULT SinkFilter::QueryVendorInfo(LPWSTR*) { return E_NOTIMPL; }
