// A minimal filter graph: it holds the filters added to it, offers its event
// sink and records every event, from whatever thread it is sent. The tests'
// graph, and the command-line host's, which must hear every error a pin reports.
#pragma once

#include "framework/UnknownBase.h"

#include <condition_variable>
#include <mutex>
#include <vector>

struct GraphEvent {
    LONG code;
    LONG_PTR param1;
    LONG_PTR param2;
    DWORD thread; // that sent it: a pin's streaming thread tells which pin it was
};

class TestGraph : public UnknownBase, public IFilterGraph, public IMediaEventSink {
public:
    // A new graph with one reference for the caller. Releasing the last one
    // takes every filter out of the graph.
    static TestGraph* Create();

    DECLARE_OWNER_UNKNOWN
    HRESULT InnerQueryInterface(REFIID iid, void** out) override;

    IFilterGraph* AsGraph() { return this; }
    std::vector<GraphEvent> Events();
    int EventCount(LONG code);
    bool WaitForEvent(LONG code, DWORD milliseconds);
    // The answer Notify gives (S_OK by default).
    void SetNotifyAnswer(HRESULT answer);

    // IFilterGraph
    STDMETHODIMP AddFilter(IBaseFilter* filter, LPCWSTR name) override;
    STDMETHODIMP RemoveFilter(IBaseFilter* filter) override;
    STDMETHODIMP EnumFilters(IEnumFilters** out) override;
    STDMETHODIMP FindFilterByName(LPCWSTR name, IBaseFilter** out) override;
    STDMETHODIMP ConnectDirect(IPin* output, IPin* input, const AM_MEDIA_TYPE* type) override;
    STDMETHODIMP Reconnect(IPin* pin) override;
    STDMETHODIMP Disconnect(IPin* pin) override;
    STDMETHODIMP SetDefaultSyncSource() override;
    // IMediaEventSink
    STDMETHODIMP Notify(LONG code, LONG_PTR param1, LONG_PTR param2) override;

private:
    TestGraph();
    ~TestGraph() override;

    std::mutex mutex;
    std::condition_variable changed;
    std::vector<GraphEvent> events;
    HRESULT notifyAnswer = S_OK;
    std::vector<IBaseFilter*> filters; // counted
};
