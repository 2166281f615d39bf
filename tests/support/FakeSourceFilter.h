// A stand-in for the movie source filter as its property page sees it: the
// filter, its file interface and its private information interface, with
// counted references so that tests can tell what a page still holds.
#pragma once

#include "filter/ISourceInfo.h"

#include <string>
#include <vector>

class FakeSourceFilter : public IBaseFilter, public IFileSourceFilter, public ISourceInfo {
public:
    // A filter that was never loaded: the name a new filter reports, no tracks, no text.
    FakeSourceFilter();
    virtual ~FakeSourceFilter() = default;

    // What a successful Load would leave behind.
    void SetLoaded(const std::wstring& path, int32_t tracks, const std::string& text);
    // References held by others: 0 once everything handed out came back.
    LONG OutstandingReferences() const { return references - 1; }

    // Which interfaces QueryInterface admits to.
    bool offerBaseFilter = true;
    bool offerFileSource = true;
    bool offerSourceInfo = true;
    HRESULT fileChangeAnswer = S_FALSE;
    // The names that Load was given, in order.
    std::vector<std::wstring> loads;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP GetClassID(CLSID* clsid) override;
    STDMETHODIMP Stop() override { return E_NOTIMPL; }
    STDMETHODIMP Pause() override { return E_NOTIMPL; }
    STDMETHODIMP Run(REFERENCE_TIME) override { return E_NOTIMPL; }
    STDMETHODIMP GetState(DWORD, FILTER_STATE*) override { return E_NOTIMPL; }
    STDMETHODIMP SetSyncSource(IReferenceClock*) override { return E_NOTIMPL; }
    STDMETHODIMP GetSyncSource(IReferenceClock**) override { return E_NOTIMPL; }
    STDMETHODIMP EnumPins(IEnumPins**) override { return E_NOTIMPL; }
    STDMETHODIMP FindPin(LPCWSTR, IPin**) override { return E_NOTIMPL; }
    STDMETHODIMP QueryFilterInfo(FILTER_INFO*) override { return E_NOTIMPL; }
    STDMETHODIMP JoinFilterGraph(IFilterGraph*, LPCWSTR) override { return E_NOTIMPL; }
    STDMETHODIMP QueryVendorInfo(LPWSTR*) override { return E_NOTIMPL; }

    STDMETHODIMP Load(LPCOLESTR fileName, const AM_MEDIA_TYPE* type) override;
    STDMETHODIMP GetCurFile(LPOLESTR* fileName, AM_MEDIA_TYPE* type) override;

    HRESULT STDMETHODCALLTYPE AllowsFileChange() override { return fileChangeAnswer; }
    HRESULT STDMETHODCALLTYPE GetTrackCount(int32_t* out) override;
    HRESULT STDMETHODCALLTYPE ReservedFirst(uint32_t) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ReservedSecond(uint32_t) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetInfoText(char** out) override;

private:
    LONG references = 1;
    std::wstring path;
    int32_t trackCount = 0;
    std::string infoText;
    bool hasInfoText = false;
};

// A property frame's site that counts what the page tells it.
class FakePageSite : public IPropertyPageSite {
public:
    virtual ~FakePageSite() = default;
    LONG OutstandingReferences() const { return references - 1; }
    int dirtyReports = 0;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override { return ULONG(++references); }
    STDMETHODIMP_(ULONG) Release() override { return ULONG(--references); }
    STDMETHODIMP OnStatusChange(DWORD flags) override;
    STDMETHODIMP GetLocaleID(LCID*) override { return E_NOTIMPL; }
    STDMETHODIMP GetPageContainer(IUnknown**) override { return E_NOTIMPL; }
    STDMETHODIMP TranslateAccelerator(MSG*) override { return E_NOTIMPL; }

private:
    LONG references = 1;
};
