// The generic filter: IBaseFilter (with IMediaFilter and IPersist) and
// IAMovieSetup, the stop/pause/run state machine over the filter's pins, the
// clock, the graph and its event sink.
#pragma once

#include "framework/CritSection.h"
#include "framework/FilterSetupRecord.h"
#include "framework/UnknownBase.h"

#include <atomic>

class PinBase;

class FilterBase : public UnknownBase, public IBaseFilter, public IAMovieSetup {
public:
    FilterBase(const char* objectName, IUnknown* owner, CritSection* lock, REFCLSID classId);
    ~FilterBase() override;

    DECLARE_OWNER_UNKNOWN
    HRESULT InnerQueryInterface(REFIID iid, void** out) override;

    virtual HRESULT GetStreamTime(REFERENCE_TIME* out);
    virtual LONG GetPinSetVersion();
    virtual int PinCount() = 0;
    virtual PinBase* PinAt(int index) = 0;
    virtual const FilterSetupRecord* GetRegistrationData();

    // IPersist
    STDMETHODIMP GetClassID(CLSID* out) override;
    // IMediaFilter
    STDMETHODIMP Stop() override;
    STDMETHODIMP Pause() override;
    STDMETHODIMP Run(REFERENCE_TIME start) override;
    STDMETHODIMP GetState(DWORD timeout, FILTER_STATE* out) override;
    STDMETHODIMP SetSyncSource(IReferenceClock* newClock) override;
    STDMETHODIMP GetSyncSource(IReferenceClock** out) override;
    // IBaseFilter
    STDMETHODIMP EnumPins(IEnumPins** out) override;
    STDMETHODIMP FindPin(LPCWSTR id, IPin** out) override;
    STDMETHODIMP QueryFilterInfo(FILTER_INFO* out) override;
    STDMETHODIMP JoinFilterGraph(IFilterGraph* newGraph, LPCWSTR newName) override;
    STDMETHODIMP QueryVendorInfo(LPWSTR* out) override;
    // IAMovieSetup
    STDMETHODIMP Register() override;
    STDMETHODIMP Unregister() override;

    // Passes an event to the graph; EC_COMPLETE carries this filter as its
    // second parameter. Safe from streaming threads while the filter leaves
    // its graph: the graph is either reached before JoinFilterGraph returns,
    // or not at all.
    HRESULT NotifyGraphEvent(LONG code, LONG_PTR param1, LONG_PTR param2);
    void BumpPinSetVersion();
    bool IsActive();
    // A pin's id by name: its name, or, when an earlier pin of the filter
    // has the same name, the name, a space and its 1-based number among the
    // pins ("QT AAC Out 2"). Ids are unique within the filter and the same
    // each time the movie is loaded, so a saved graph wires every connection
    // to the same track again. Takes no state lock: downstream filters ask
    // for ids from the streaming thread. *out is in COM task memory.
    HRESULT PinIdOf(PinBase* pin, LPWSTR* out);
    // The lookup by those ids; a name shared by several pins finds the first.
    HRESULT FindPinById(LPCWSTR id, IPin** out);

    CritSection* Lock() const { return lock; }
    IFilterGraph* Graph() const { return graph; }
    IMediaEventSink* EventSink() const;

private:
    HRESULT StopPins();

    std::atomic<FILTER_STATE> state;
    IReferenceClock* clock;
    REFERENCE_TIME startTime;
    CLSID classId;
    CritSection* lock;
    WCHAR* name;
    IFilterGraph* graph;
    // Held uncounted, since the graph owns this filter. The graph may leave
    // while a streaming thread reports to it, so eventLock guards the pointer
    // and is held across each report: the graph is told of the filter's
    // leaving only once no report to it is under way. It is never the state
    // lock, which the streaming threads must not wait for.
    IMediaEventSink* eventSink;
    mutable CritSection eventLock;
    std::atomic<LONG> pinSetVersion;
    // A Pause failed after activating some pins; cleared by Stop.
    bool partlyPaused;
};
