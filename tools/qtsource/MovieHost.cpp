#include "tools/qtsource/MovieHost.h"

#include "framework/WideText.h"
#include "tools/qtsource/LoadFailure.h"
#include "tools/qtsource/Report.h"

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

HRESULT MovieHost::Stop() { return filter ? filter->Stop() : S_OK; }
