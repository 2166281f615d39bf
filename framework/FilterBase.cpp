#include "framework/FilterBase.h"

#include "framework/ComPtr.h"
#include "framework/FilterRegistration.h"
#include "framework/PinBase.h"
#include "framework/PinEnumerator.h"
#include "framework/WideText.h"

#include <cwchar>

FilterBase::FilterBase(const char* objectName, IUnknown* owner, CritSection* lock, REFCLSID classId)
    : UnknownBase(objectName, owner), state(State_Stopped), clock(nullptr), startTime(0), classId(classId), lock(lock),
      name(nullptr), graph(nullptr), eventSink(nullptr), pinSetVersion(1), partlyPaused(false)
{
}

FilterBase::~FilterBase()
{
    delete[] name;
    if (clock)
        clock->Release();
}

HRESULT FilterBase::InnerQueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    if (IsEqualGUID(iid, IID_IBaseFilter) || IsEqualGUID(iid, IID_IMediaFilter) || IsEqualGUID(iid, IID_IPersist))
        return ReturnInterface(static_cast<IBaseFilter*>(this), out);
    if (IsEqualGUID(iid, IID_IAMovieSetup))
        return ReturnInterface(static_cast<IAMovieSetup*>(this), out);
    return UnknownBase::InnerQueryInterface(iid, out);
}

HRESULT FilterBase::GetStreamTime(REFERENCE_TIME* out)
{
    if (!out)
        return E_POINTER;
    if (!clock)
        return VFW_E_NO_CLOCK;
    RETURN_IF_FAILED(clock->GetTime(out));
    *out -= startTime;
    return S_OK;
}

LONG FilterBase::GetPinSetVersion() { return pinSetVersion.load(); }

const FilterSetupRecord* FilterBase::GetRegistrationData() { return nullptr; }

HRESULT FilterBase::GetClassID(CLSID* out)
{
    if (!out)
        return E_POINTER;
    *out = classId;
    return S_OK;
}

HRESULT FilterBase::StopPins()
{
    HRESULT first = S_OK;
    for (int i = 0, count = PinCount(); i < count; ++i) {
        PinBase* pin = PinAt(i);
        if (!pin || !pin->IsConnected())
            continue;
        HRESULT result = pin->Deactivate();
        if (FAILED(result) && SUCCEEDED(first))
            first = result;
    }
    return first;
}

HRESULT FilterBase::Stop()
{
    AutoLock guard(lock);
    HRESULT result = S_OK;
    if (state != State_Stopped || partlyPaused)
        result = StopPins();
    // A filter always ends stopped; the first pin failure is still reported.
    state = State_Stopped;
    partlyPaused = false;
    return result;
}

HRESULT FilterBase::Pause()
{
    AutoLock guard(lock);
    if (state == State_Stopped) {
        for (int i = 0, count = PinCount(); i < count; ++i) {
            PinBase* pin = PinAt(i);
            if (!pin || !pin->IsConnected())
                continue;
            HRESULT result = pin->Activate();
            if (FAILED(result)) {
                // The filter stays stopped, yet the pins before this one (and
                // this one, part-way) hold committed allocators or streaming
                // threads: Stop must still reach them.
                partlyPaused = true;
                return result;
            }
        }
    }
    state = State_Paused;
    return S_OK;
}

HRESULT FilterBase::Run(REFERENCE_TIME start)
{
    AutoLock guard(lock);
    startTime = start;
    if (state == State_Stopped)
        RETURN_IF_FAILED(Pause());
    if (state != State_Running) {
        for (int i = 0, count = PinCount(); i < count; ++i) {
            PinBase* pin = PinAt(i);
            if (pin && pin->IsConnected())
                RETURN_IF_FAILED(pin->OnRun(start));
        }
    }
    state = State_Running;
    return S_OK;
}

HRESULT FilterBase::GetState(DWORD, FILTER_STATE* out)
{
    if (!out)
        return E_POINTER;
    *out = state;
    return S_OK;
}

HRESULT FilterBase::SetSyncSource(IReferenceClock* newClock)
{
    AutoLock guard(lock);
    if (newClock)
        newClock->AddRef();
    if (clock)
        clock->Release();
    clock = newClock;
    return S_OK;
}

HRESULT FilterBase::GetSyncSource(IReferenceClock** out)
{
    if (!out)
        return E_POINTER;
    AutoLock guard(lock);
    *out = clock;
    if (clock)
        clock->AddRef();
    return S_OK;
}

HRESULT FilterBase::EnumPins(IEnumPins** out) { return PinEnumerator::Create(this, out); }

HRESULT FilterBase::FindPin(LPCWSTR id, IPin** out) { return FindPinById(id, out); }

namespace {

// Whether a pin before index carries name.
bool NameTakenBefore(FilterBase& filter, int index, LPCWSTR name)
{
    for (int i = 0; i < index; ++i) {
        PinBase* earlier = filter.PinAt(i);
        if (earlier && earlier->Name() && std::wcscmp(earlier->Name(), name) == 0)
            return true;
    }
    return false;
}

// Whether id is name followed by a space and number in decimal.
bool IsNumberedName(LPCWSTR id, LPCWSTR name, int number)
{
    const size_t length = std::wcslen(name);
    if (std::wcsncmp(id, name, length) != 0 || id[length] != L' ')
        return false;
    WCHAR digits[12];
    FormatDecimal(digits, number);
    return std::wcscmp(id + length + 1, digits) == 0;
}

} // namespace

HRESULT FilterBase::PinIdOf(PinBase* pin, LPWSTR* out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    int index = 0;
    const int count = PinCount();
    while (index < count && PinAt(index) != pin)
        ++index;
    if (!pin || index == count)
        return VFW_E_NOT_FOUND;
    LPCWSTR name = pin->Name() ? pin->Name() : L"";
    const size_t length = std::wcslen(name);
    // Room for the name, a space, any 32-bit number and the terminator.
    auto* id = static_cast<LPWSTR>(CoTaskMemAlloc((length + 13) * sizeof(WCHAR)));
    if (!id)
        return E_OUTOFMEMORY;
    std::wmemcpy(id, name, length + 1);
    if (NameTakenBefore(*this, index, name)) {
        id[length] = L' ';
        FormatDecimal(id + length + 1, index + 1);
    }
    *out = id;
    return S_OK;
}

HRESULT FilterBase::FindPinById(LPCWSTR id, IPin** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!id)
        return VFW_E_NOT_FOUND;
    AutoLock guard(lock);
    for (int i = 0, count = PinCount(); i < count; ++i) {
        PinBase* pin = PinAt(i);
        if (!pin || !pin->Name())
            continue;
        const bool numbered = NameTakenBefore(*this, i, pin->Name());
        if (numbered ? IsNumberedName(id, pin->Name(), i + 1) : std::wcscmp(pin->Name(), id) == 0)
            return ReturnInterface(static_cast<IPin*>(pin), reinterpret_cast<void**>(out));
    }
    return VFW_E_NOT_FOUND;
}

HRESULT FilterBase::QueryFilterInfo(FILTER_INFO* out)
{
    if (!out)
        return E_POINTER;
    CopyToNameField(out->achName, MAX_FILTER_NAME, name);
    out->pGraph = graph;
    if (graph)
        graph->AddRef();
    return S_OK;
}

HRESULT FilterBase::JoinFilterGraph(IFilterGraph* newGraph, LPCWSTR newName)
{
    AutoLock guard(lock);
    graph = newGraph;
    // The graph owns this filter, so its event sink is held uncounted.
    IMediaEventSink* sink = nullptr;
    if (newGraph && SUCCEEDED(newGraph->QueryInterface(IID_IMediaEventSink, reinterpret_cast<void**>(&sink))) && sink)
        sink->Release();
    {
        // Waits for a report to the old graph that a streaming thread has
        // under way, so that the graph is not reached once it has let go.
        AutoLock events(&eventLock);
        eventSink = sink;
    }
    delete[] name;
    name = DuplicateWide(newName);
    return S_OK;
}

HRESULT FilterBase::QueryVendorInfo(LPWSTR*) { return E_NOTIMPL; }

IMediaEventSink* FilterBase::EventSink() const
{
    AutoLock events(&eventLock);
    return eventSink;
}

HRESULT FilterBase::NotifyGraphEvent(LONG code, LONG_PTR param1, LONG_PTR param2)
{
    AutoLock events(&eventLock);
    if (!eventSink)
        return E_NOTIMPL;
    if (code == EC_COMPLETE)
        param2 = reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this));
    return eventSink->Notify(code, param1, param2);
}

void FilterBase::BumpPinSetVersion()
{
    pinSetVersion.fetch_add(1);
}

bool FilterBase::IsActive()
{
    AutoLock guard(lock);
    return state == State_Paused || state == State_Running;
}

namespace {

// COM for the calling thread and the platform's filter mapper, for the span
// of one registration call.
class MapperSession {
public:
    MapperSession()
    {
        initialised = SUCCEEDED(CoInitialize(nullptr));
        created =
            CoCreateInstance(CLSID_FilterMapper, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper, mapper.PutVoid());
    }
    ~MapperSession()
    {
        mapper.Reset();
        CoFreeUnusedLibraries();
        // Only a successful initialisation is balanced; undoing a refused one
        // would take away the caller's own apartment.
        if (initialised)
            CoUninitialize();
    }
    MapperSession(const MapperSession&) = delete;
    MapperSession& operator=(const MapperSession&) = delete;

    HRESULT created;
    ComPtr<IFilterMapper> mapper;

private:
    bool initialised;
};

// Writes (doRegister) or removes the record's entry through the platform's
// older filter mapper.
HRESULT UseMapper(const FilterSetupRecord& record, BOOL doRegister)
{
    MapperSession session;
    RETURN_IF_FAILED(session.created);
    return RegisterFilterWithMapper(&record, session.mapper.Get(), doRegister);
}

} // namespace

HRESULT FilterBase::Register()
{
    const FilterSetupRecord* record = GetRegistrationData();
    if (!record)
        return S_FALSE;
    // What the mapper could not take is left out: the filter registers all the same.
    UseMapper(*record, TRUE);
    return S_OK;
}

HRESULT FilterBase::Unregister()
{
    const FilterSetupRecord* record = GetRegistrationData();
    return record ? UseMapper(*record, FALSE) : S_FALSE;
}
