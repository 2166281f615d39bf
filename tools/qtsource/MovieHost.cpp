#include "tools/qtsource/MovieHost.h"

#include "framework/WideText.h"
#include "tools/qtsource/LoadFailure.h"
#include "tools/qtsource/Report.h"

#include <algorithm>

namespace {

// The events by which a filter says that a stream failed; each carries the
// failure's HRESULT as its first parameter.
bool IsErrorEvent(LONG code)
{
    return code == EC_ERRORABORT || code == EC_STREAM_ERROR_STOPPED || code == EC_STREAM_ERROR_STILLPLAYING ||
           code == EC_ERROR_STILLPLAYING;
}

} // namespace

MovieHost::~MovieHost()
{
    if (filter)
        filter->Stop();
    // The sinks hold the pins, and so the filter: both ends let go first.
    for (HostPin& pin : pins) {
        if (!pin.sink)
            continue;
        pin.pin->Disconnect();
        pin.sink->Input().Disconnect();
        pin.sink->Release();
    }
    pins.clear();
    // Releasing the graph takes the filter out of it first.
    if (graph)
        graph->Release();
    filter.Reset();
}

HRESULT MovieHost::Open(const std::string& path)
{
    std::string where;
    std::string what;
    HRESULT result = Load(path, &where, &what);
    if (FAILED(result))
        ReportFailure(where, what, result);
    return result;
}

HRESULT MovieHost::Load(const std::string& path, std::string* where, std::string* what)
{
    *what = "cannot load";
    RETURN_IF_FAILED(module.CreateFilter(filter.Put(), where));
    *where = path;
    // In a graph from the start, as a real host's filters are: a pin's errors
    // reach the host only through the graph's event sink.
    graph = TestGraph::Create();
    RETURN_IF_FAILED(graph->AddFilter(filter.Get(), L"source"));
    ComPtr<IFileSourceFilter> source;
    RETURN_IF_FAILED(filter.As(IID_IFileSourceFilter, &source));
    HRESULT loaded = source->Load(WideText(path).c_str(), nullptr);
    if (FAILED(loaded)) {
        *what = LoadFailureCause(path);
        return loaded;
    }
    return ListPins();
}

HRESULT MovieHost::ListPins()
{
    ComPtr<IEnumPins> list;
    RETURN_IF_FAILED(filter->EnumPins(list.Put()));
    for (;;) {
        HostPin entry;
        ULONG fetched = 0;
        if (list->Next(1, entry.pin.Put(), &fetched) != S_OK || fetched != 1)
            break;
        PIN_INFO info = {};
        RETURN_IF_FAILED(entry.pin->QueryPinInfo(&info));
        if (info.pFilter)
            info.pFilter->Release();
        entry.name = NarrowText(info.achName);
        ComPtr<IEnumMediaTypes> types;
        RETURN_IF_FAILED(entry.pin->EnumMediaTypes(types.Put()));
        AM_MEDIA_TYPE* type = nullptr;
        if (types->Next(1, &type, &fetched) == S_OK && type) {
            entry.type.Assign(*type);
            DestroyTypeRecord(type);
        }
        pins.push_back(std::move(entry));
    }
    return S_OK;
}

HRESULT MovieHost::ConnectAll(bool countOnly)
{
    for (HostPin& pin : pins) {
        pin.sink = SinkFilter::Create();
        pin.sink->Input().AcceptOnly(pin.type);
        pin.sink->Input().CountOnly(countOnly);
        RETURN_IF_FAILED(pin.pin->Connect(pin.sink->Input().AsPin(), &pin.type));
    }
    return S_OK;
}

HRESULT MovieHost::SeekAll(double seconds)
{
    for (HostPin& pin : pins) {
        ComPtr<IMediaSeeking> seeking;
        RETURN_IF_FAILED(pin.pin.As(IID_IMediaSeeking, &seeking));
        LONGLONG start = LONGLONG(seconds * 10000000.0);
        RETURN_IF_FAILED(seeking->SetPositions(&start, AM_SEEKING_AbsolutePositioning, nullptr,
                                               AM_SEEKING_NoPositioning));
    }
    return S_OK;
}

HRESULT MovieHost::Run()
{
    RETURN_IF_FAILED(filter->Pause());
    return filter->Run(0);
}

HRESULT MovieHost::Stop()
{
    return filter ? filter->Stop() : S_OK;
}

std::vector<StreamError> MovieHost::StreamErrors()
{
    std::vector<StreamError> errors;
    if (!graph)
        return errors;
    for (const GraphEvent& event : graph->Events()) {
        if (!IsErrorEvent(event.code))
            continue;
        // A pin reports from the thread that delivers its samples and its end
        // of stream, so the sink that thread delivered to names the pin.
        size_t pin = 0;
        while (pin < pins.size() && !(pins[pin].sink && pins[pin].sink->Input().DeliveringThread() == event.thread))
            ++pin;
        errors.push_back({pin, HRESULT(event.param1)});
    }
    std::stable_sort(errors.begin(), errors.end(),
                     [](const StreamError& a, const StreamError& b) { return a.pin < b.pin; });
    return errors;
}
