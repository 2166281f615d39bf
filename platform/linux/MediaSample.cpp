// The media sample of the layer's memory allocator.
#include "MediaSample.h"

#include "MemoryAllocator.h"
#include "WinApi.h"

#include <cstdlib>

namespace {

void FreeMediaType(AM_MEDIA_TYPE* type)
{
    if (!type)
        return;
    CoTaskMemFree(type->pbFormat);
    if (type->pUnk)
        type->pUnk->Release();
    CoTaskMemFree(type);
}

// A task-memory copy of type with its own format block, or null when out of memory.
AM_MEDIA_TYPE* CopyMediaType(const AM_MEDIA_TYPE& type)
{
    auto* copy = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    if (!copy)
        return nullptr;
    *copy = type;
    copy->pbFormat = nullptr;
    copy->cbFormat = 0;
    if (type.cbFormat && type.pbFormat) {
        copy->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(type.cbFormat));
        if (!copy->pbFormat) {
            CoTaskMemFree(copy);
            return nullptr;
        }
        std::memcpy(copy->pbFormat, type.pbFormat, type.cbFormat);
        copy->cbFormat = type.cbFormat;
    }
    if (copy->pUnk)
        copy->pUnk->AddRef();
    return copy;
}

} // namespace

MediaSample::MediaSample(MemoryAllocator* allocator, BYTE* block, LONG prefix, LONG size)
    : allocator(allocator), block(block), buffer(block + prefix), size(size), actualLength(size)
{
}

MediaSample::~MediaSample()
{
    FreeMediaType(mediaType);
    std::free(block);
}

void MediaSample::ClearProperties()
{
    timeValid = stopValid = mediaTimeValid = false;
    syncPoint = discontinuity = preroll = false;
    FreeMediaType(mediaType);
    mediaType = nullptr;
}

HRESULT MediaSample::QueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    if (iid != IID_IUnknown && iid != IID_IMediaSample) {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    *out = static_cast<IMediaSample*>(this);
    AddRef();
    return S_OK;
}

ULONG MediaSample::AddRef()
{
    return ++references;
}

ULONG MediaSample::Release()
{
    ULONG left = --references;
    // The allocator may destroy the sample: nothing of it is touched after.
    if (left == 0)
        allocator->ReleaseBuffer(this);
    return left;
}

HRESULT MediaSample::GetPointer(BYTE** out)
{
    if (!out)
        return E_POINTER;
    *out = buffer;
    return S_OK;
}

LONG MediaSample::GetSize()
{
    return size;
}

HRESULT MediaSample::GetTime(REFERENCE_TIME* start, REFERENCE_TIME* end)
{
    if (!start || !end)
        return E_POINTER;
    if (!timeValid)
        return VFW_E_SAMPLE_TIME_NOT_SET;
    *start = startTime;
    if (!stopValid) {
        *end = startTime + 1;
        return VFW_S_NO_STOP_TIME;
    }
    *end = stopTime;
    return S_OK;
}

HRESULT MediaSample::SetTime(REFERENCE_TIME* start, REFERENCE_TIME* end)
{
    timeValid = start != nullptr;
    stopValid = timeValid && end != nullptr;
    if (timeValid)
        startTime = *start;
    if (stopValid)
        stopTime = *end;
    return S_OK;
}

HRESULT MediaSample::IsSyncPoint()
{
    return syncPoint ? S_OK : S_FALSE;
}

HRESULT MediaSample::SetSyncPoint(WINBOOL isSyncPoint)
{
    syncPoint = isSyncPoint != FALSE;
    return S_OK;
}

HRESULT MediaSample::IsPreroll()
{
    return preroll ? S_OK : S_FALSE;
}

HRESULT MediaSample::SetPreroll(WINBOOL isPreroll)
{
    preroll = isPreroll != FALSE;
    return S_OK;
}

LONG MediaSample::GetActualDataLength()
{
    return actualLength;
}

HRESULT MediaSample::SetActualDataLength(LONG length)
{
    if (length < 0 || length > size)
        return VFW_E_BUFFER_OVERFLOW;
    actualLength = length;
    return S_OK;
}

HRESULT MediaSample::GetMediaType(AM_MEDIA_TYPE** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!mediaType)
        return S_FALSE;
    *out = CopyMediaType(*mediaType);
    return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT MediaSample::SetMediaType(AM_MEDIA_TYPE* type)
{
    AM_MEDIA_TYPE* copy = nullptr;
    if (type) {
        copy = CopyMediaType(*type);
        if (!copy)
            return E_OUTOFMEMORY;
    }
    FreeMediaType(mediaType);
    mediaType = copy;
    return S_OK;
}

HRESULT MediaSample::IsDiscontinuity()
{
    return discontinuity ? S_OK : S_FALSE;
}

HRESULT MediaSample::SetDiscontinuity(WINBOOL isDiscontinuity)
{
    discontinuity = isDiscontinuity != FALSE;
    return S_OK;
}

HRESULT MediaSample::GetMediaTime(LONGLONG* start, LONGLONG* end)
{
    if (!start || !end)
        return E_POINTER;
    if (!mediaTimeValid)
        return VFW_E_MEDIA_TIME_NOT_SET;
    *start = mediaStart;
    *end = mediaStop;
    return S_OK;
}

HRESULT MediaSample::SetMediaTime(LONGLONG* start, LONGLONG* end)
{
    if (!start) {
        mediaTimeValid = false;
        return S_OK;
    }
    if (!end)
        return E_POINTER;
    mediaStart = *start;
    mediaStop = *end;
    mediaTimeValid = true;
    return S_OK;
}
