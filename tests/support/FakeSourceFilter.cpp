#include "tests/support/FakeSourceFilter.h"

#include <cstring>

FakeSourceFilter::FakeSourceFilter() : path(L"File Source (Quarnex)") {}

void FakeSourceFilter::SetLoaded(const std::wstring& loadedPath, int32_t tracks, const std::string& text)
{
    path = loadedPath;
    trackCount = tracks;
    infoText = text;
    hasInfoText = true;
}

HRESULT FakeSourceFilter::QueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (IsEqualGUID(iid, IID_IUnknown) ||
        (offerBaseFilter &&
         (IsEqualGUID(iid, IID_IBaseFilter) || IsEqualGUID(iid, IID_IMediaFilter) || IsEqualGUID(iid, IID_IPersist))))
        *out = static_cast<IBaseFilter*>(this);
    else if (offerFileSource && IsEqualGUID(iid, IID_IFileSourceFilter))
        *out = static_cast<IFileSourceFilter*>(this);
    else if (offerSourceInfo && IsEqualGUID(iid, IID_ISourceInfo))
        *out = static_cast<ISourceInfo*>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

// The test owns the object; counting only tells what others still hold.
ULONG FakeSourceFilter::AddRef()
{
    return ULONG(++references);
}
ULONG FakeSourceFilter::Release()
{
    return ULONG(--references);
}

HRESULT FakeSourceFilter::GetClassID(CLSID* clsid)
{
    *clsid = CLSID_MovieSourceFilter;
    return S_OK;
}

HRESULT FakeSourceFilter::Load(LPCOLESTR fileName, const AM_MEDIA_TYPE*)
{
    loads.emplace_back(fileName ? fileName : L"");
    return S_OK;
}

HRESULT FakeSourceFilter::GetCurFile(LPOLESTR* fileName, AM_MEDIA_TYPE*)
{
    size_t bytes = (path.size() + 1) * sizeof(WCHAR);
    *fileName = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
    if (*fileName)
        std::memcpy(*fileName, path.c_str(), bytes);
    return S_OK;
}

HRESULT FakeSourceFilter::GetTrackCount(int32_t* out)
{
    *out = trackCount;
    return S_OK;
}

HRESULT FakeSourceFilter::GetInfoText(char** out)
{
    *out = hasInfoText ? &infoText[0] : nullptr;
    return S_OK;
}

HRESULT FakePageSite::QueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!IsEqualGUID(iid, IID_IUnknown) && !IsEqualGUID(iid, IID_IPropertyPageSite))
        return E_NOINTERFACE;
    *out = static_cast<IPropertyPageSite*>(this);
    AddRef();
    return S_OK;
}

HRESULT FakePageSite::OnStatusChange(DWORD flags)
{
    if (flags & PROPPAGESTATUS_DIRTY)
        ++dirtyReports;
    return S_OK;
}
