// The one sink of the project's tests and of the command-line host: a filter
// with a single input pin (see SinkPin) that records what it is sent.
#pragma once

#include "tests/support/SinkPin.h"

#include <atomic>

class SinkFilter : public UnknownBase, public IBaseFilter {
public:
    // A new sink with one reference for the caller.
    static SinkFilter* Create();

    DECLARE_OWNER_UNKNOWN
    HRESULT InnerQueryInterface(REFIID iid, void** out) override;

    SinkPin& Input() { return pin; }
    FILTER_STATE State() const { return state; }

    // IPersist and IMediaFilter
    STDMETHODIMP GetClassID(CLSID* out) override;
    STDMETHODIMP Stop() override;
    STDMETHODIMP Pause() override;
    STDMETHODIMP Run(REFERENCE_TIME start) override;
    STDMETHODIMP GetState(DWORD timeout, FILTER_STATE* out) override;
    STDMETHODIMP SetSyncSource(IReferenceClock* clock) override;
    STDMETHODIMP GetSyncSource(IReferenceClock** out) override;
    // IBaseFilter
    STDMETHODIMP EnumPins(IEnumPins** out) override;
    STDMETHODIMP FindPin(LPCWSTR id, IPin** out) override;
    STDMETHODIMP QueryFilterInfo(FILTER_INFO* out) override;
    STDMETHODIMP JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
    STDMETHODIMP QueryVendorInfo(LPWSTR* out) override;

private:
    SinkFilter();
    ~SinkFilter() override;

    SinkPin pin;
    std::atomic<FILTER_STATE> state{State_Stopped};
    IFilterGraph* graph = nullptr;
};
