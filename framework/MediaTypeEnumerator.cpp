#include "framework/MediaTypeEnumerator.h"

#include "framework/MediaTypeRecord.h"
#include "framework/PinBase.h"

#include <climits>
#include <cstring>
#include <new>

MediaTypeEnumerator::MediaTypeEnumerator(PinBase* pin)
    : EnumeratorBase(IID_IEnumMediaTypes), position(0), pin(pin), version(pin->GetTypeVersion())
{
    static_cast<IPin*>(pin)->AddRef();
}

MediaTypeEnumerator::~MediaTypeEnumerator() { static_cast<IPin*>(pin)->Release(); }

HRESULT MediaTypeEnumerator::Create(PinBase* pin, IEnumMediaTypes** out)
{
    if (!out)
        return E_POINTER;
    *out = new (std::nothrow) MediaTypeEnumerator(pin);
    return *out ? S_OK : E_OUTOFMEMORY;
}

bool MediaTypeEnumerator::OutOfSync() { return pin->GetTypeVersion() != version; }

HRESULT MediaTypeEnumerator::Next(ULONG requested, AM_MEDIA_TYPE** out, ULONG* fetched)
{
    if (!out)
        return E_POINTER;
    if (OutOfSync())
        return VFW_E_ENUM_OUT_OF_SYNC;
    if (!fetched && requested > 1)
        return E_INVALIDARG;
    if (fetched)
        *fetched = 0;
    ULONG delivered = 0;
    while (delivered < requested) {
        MediaTypeRecord record;
        // The position moves on whatever the pin answers.
        if (position == INT_MAX || pin->GetTypeAt(position++, &record) != S_OK)
            break;
        auto* handed = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
        out[delivered] = handed;
        if (!handed)
            break;
        // The caller takes over the format block and pUnk of the record.
        std::memcpy(static_cast<void*>(handed), static_cast<AM_MEDIA_TYPE*>(&record), sizeof(AM_MEDIA_TYPE));
        record.cbFormat = 0;
        record.pbFormat = nullptr;
        record.pUnk = nullptr;
        ++delivered;
    }
    if (fetched)
        *fetched = delivered;
    return delivered == requested ? S_OK : S_FALSE;
}

HRESULT MediaTypeEnumerator::Skip(ULONG count)
{
    if (count == 0)
        return S_OK;
    if (OutOfSync())
        return VFW_E_ENUM_OUT_OF_SYNC;
    // The position saturates rather than wrapping on an absurd count.
    long long advanced = static_cast<long long>(position) + count;
    position = advanced > INT_MAX ? INT_MAX : int(advanced);
    MediaTypeRecord probe;
    return pin->GetTypeAt(position - 1, &probe) == S_OK ? S_OK : S_FALSE;
}

HRESULT MediaTypeEnumerator::Reset()
{
    position = 0;
    version = pin->GetTypeVersion();
    return S_OK;
}

HRESULT MediaTypeEnumerator::Clone(IEnumMediaTypes** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (OutOfSync())
        return VFW_E_ENUM_OUT_OF_SYNC;
    auto* copy = new (std::nothrow) MediaTypeEnumerator(pin);
    if (!copy)
        return E_OUTOFMEMORY;
    copy->position = position;
    copy->version = version;
    *out = copy;
    return S_OK;
}
