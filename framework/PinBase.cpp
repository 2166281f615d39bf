#include "framework/PinBase.h"

#include "framework/ComPtr.h"
#include "framework/FilterBase.h"
#include "framework/MediaTypeEnumerator.h"
#include "framework/WideText.h"

namespace {

// Answers that only say "not this type". They never hide a more telling
// failure from the caller of Connect. VFW_E_NO_ACCEPTABLE_TYPES is the
// answer when nothing more telling was met, so it never displaces one either.
bool IsPlainRejection(HRESULT result)
{
    return result == E_FAIL || result == VFW_E_TYPE_NOT_ACCEPTED || result == E_INVALIDARG ||
           result == VFW_E_NO_ACCEPTABLE_TYPES;
}

// CheckType accepts with exactly S_OK; other successes and the vague
// failures are a rejection of the type.
HRESULT TypeRejection(HRESULT checked)
{
    if (SUCCEEDED(checked) || checked == E_FAIL || checked == E_INVALIDARG)
        return VFW_E_TYPE_NOT_ACCEPTED;
    return checked;
}

} // namespace

PinBase::PinBase(const char* objectName, FilterBase* filter, CritSection* lock, HRESULT*, LPCWSTR pinName,
                 PIN_DIRECTION direction)
    : UnknownBase(objectName, nullptr), name(DuplicateWide(pinName)), connectedPin(nullptr), direction(direction),
      lock(lock), runTimeError(false), canReconnectWhenActive(false), tryMyTypesFirst(false), filter(filter),
      qualitySink(nullptr), typeVersion(1), segmentStart(0), segmentStop(0x7FFFFFFFFFFFFFFFLL), segmentRate(1.0)
{
}

PinBase::~PinBase()
{
    delete[] name;
    // A pin destroyed while still connected gives its peer's reference back.
    ClearConnectedPin();
}

HRESULT PinBase::InnerQueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    if (IsEqualGUID(iid, IID_IPin))
        return ReturnInterface(static_cast<IPin*>(this), out);
    if (IsEqualGUID(iid, IID_IQualityControl))
        return ReturnInterface(static_cast<IQualityControl*>(this), out);
    return UnknownBase::InnerQueryInterface(iid, out);
}

ULONG PinBase::InnerAddRef()
{
    return filter ? static_cast<IBaseFilter*>(filter)->AddRef() : UnknownBase::InnerAddRef();
}

ULONG PinBase::InnerRelease()
{
    return filter ? static_cast<IBaseFilter*>(filter)->Release() : UnknownBase::InnerRelease();
}

LONG PinBase::GetTypeVersion() { return typeVersion; }
HRESULT PinBase::Activate() { return S_OK; }
HRESULT PinBase::Deactivate() { return S_OK; }
HRESULT PinBase::OnRun(REFERENCE_TIME) { return S_OK; }

HRESULT PinBase::SetType(const AM_MEDIA_TYPE* type)
{
    if (!type)
        return E_POINTER;
    AutoLock guard(&typeLock);
    return connectionType.Assign(*type);
}

HRESULT PinBase::CheckPeer(IPin* peer)
{
    PIN_DIRECTION peerDirection;
    RETURN_IF_FAILED(peer->QueryDirection(&peerDirection));
    return peerDirection == direction ? VFW_E_INVALID_DIRECTION : S_OK;
}

HRESULT PinBase::BreakPeer() { return S_OK; }
HRESULT PinBase::CompletePeer(IPin*) { return S_OK; }

HRESULT PinBase::CheckConnectable()
{
    if (filter && filter->IsActive() && !canReconnectWhenActive)
        return VFW_E_NOT_STOPPED;
    return S_OK;
}

void PinBase::ClearConnectedPin()
{
    if (connectedPin) {
        IPin* old = connectedPin;
        connectedPin = nullptr;
        old->Release();
    }
}

HRESULT PinBase::Connect(IPin* peer, const AM_MEDIA_TYPE* type)
{
    if (!peer)
        return E_POINTER;
    AutoLock guard(lock);
    if (connectedPin)
        return VFW_E_ALREADY_CONNECTED;
    RETURN_IF_FAILED(CheckConnectable());
    HRESULT result = AgreeType(peer, type);
    if (FAILED(result)) {
        BreakPeer();
        return result;
    }
    return S_OK;
}

HRESULT PinBase::AgreeType(IPin* peer, const AM_MEDIA_TYPE* type)
{
    if (type && !TypeHasWildcards(*type))
        return AttemptPeer(peer, type);
    HRESULT result = VFW_E_NO_ACCEPTABLE_TYPES;
    for (int round = 0; round < 2; ++round) {
        bool ownTypes = (round == 0) == tryMyTypesFirst;
        ComPtr<IEnumMediaTypes> types;
        HRESULT listed = ownTypes ? EnumMediaTypes(types.Put()) : peer->EnumMediaTypes(types.Put());
        if (FAILED(listed) || !types)
            continue;
        HRESULT tried = TryTypes(peer, type, types.Get());
        if (SUCCEEDED(tried))
            return S_OK;
        if (!IsPlainRejection(tried))
            result = tried;
    }
    return result;
}

HRESULT PinBase::TryTypes(IPin* peer, const AM_MEDIA_TYPE* pattern, IEnumMediaTypes* types)
{
    RETURN_IF_FAILED(types->Reset());
    HRESULT kept = S_OK;
    AM_MEDIA_TYPE* fetched = nullptr;
    ULONG count = 0;
    while (types->Next(1, &fetched, &count) == S_OK && fetched) {
        HRESULT result = (!pattern || TypeMatchesPattern(*fetched, *pattern)) ? AttemptPeer(peer, fetched)
                                                                              : VFW_E_NO_ACCEPTABLE_TYPES;
        if (FAILED(result) && kept == S_OK && !IsPlainRejection(result))
            kept = result;
        DestroyTypeRecord(fetched);
        fetched = nullptr;
        if (SUCCEEDED(result))
            return S_OK;
    }
    return FAILED(kept) ? kept : VFW_E_NO_ACCEPTABLE_TYPES;
}

HRESULT PinBase::AttemptPeer(IPin* peer, const AM_MEDIA_TYPE* type)
{
    HRESULT result = CheckPeer(peer);
    if (FAILED(result)) {
        BreakPeer();
        return result;
    }
    result = CheckType(type);
    if (result != S_OK) {
        result = TypeRejection(result);
    } else {
        connectedPin = peer;
        peer->AddRef();
        result = SetType(type);
        if (SUCCEEDED(result))
            result = peer->ReceiveConnection(static_cast<IPin*>(this), type);
        if (SUCCEEDED(result)) {
            result = CompletePeer(peer);
            // Any success is a made connection: the callers look for S_OK.
            if (SUCCEEDED(result))
                return S_OK;
            peer->Disconnect();
        }
    }
    BreakPeer();
    ClearConnectedPin();
    return result;
}

HRESULT PinBase::ReceiveConnection(IPin* peer, const AM_MEDIA_TYPE* type)
{
    if (!peer || !type)
        return E_POINTER;
    AutoLock guard(lock);
    if (connectedPin)
        return VFW_E_ALREADY_CONNECTED;
    RETURN_IF_FAILED(CheckConnectable());
    HRESULT result = CheckPeer(peer);
    if (FAILED(result)) {
        BreakPeer();
        return result;
    }
    result = CheckType(type);
    if (result != S_OK) {
        BreakPeer();
        return TypeRejection(result);
    }
    connectedPin = peer;
    peer->AddRef();
    result = SetType(type);
    if (SUCCEEDED(result))
        result = CompletePeer(peer);
    if (SUCCEEDED(result))
        return S_OK;
    ClearConnectedPin();
    BreakPeer();
    return result;
}

HRESULT PinBase::Disconnect()
{
    AutoLock guard(lock);
    RETURN_IF_FAILED(CheckConnectable());
    return DisconnectPeer();
}

HRESULT PinBase::DisconnectPeer()
{
    if (!connectedPin)
        return S_FALSE;
    RETURN_IF_FAILED(BreakPeer());
    ClearConnectedPin();
    return S_OK;
}

HRESULT PinBase::ConnectedTo(IPin** out)
{
    if (!out)
        return E_POINTER;
    IPin* peer = connectedPin;
    *out = peer;
    if (!peer)
        return VFW_E_NOT_CONNECTED;
    peer->AddRef();
    return S_OK;
}

HRESULT PinBase::ConnectionMediaType(AM_MEDIA_TYPE* out)
{
    if (!out)
        return E_POINTER;
    AutoLock guard(&typeLock);
    if (!connectedPin) {
        InitEmptyType(out);
        return VFW_E_NOT_CONNECTED;
    }
    return CloneTypeFields(out, &connectionType);
}

HRESULT PinBase::QueryPinInfo(PIN_INFO* out)
{
    if (!out)
        return E_POINTER;
    out->pFilter = filter;
    if (filter)
        out->pFilter->AddRef();
    CopyToNameField(out->achName, MAX_PIN_NAME, name);
    out->dir = direction;
    return S_OK;
}

HRESULT PinBase::QueryDirection(PIN_DIRECTION* out)
{
    if (!out)
        return E_POINTER;
    *out = direction;
    return S_OK;
}

HRESULT PinBase::QueryId(LPWSTR* out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    int position = -1;
    if (filter)
        for (int i = 0, count = filter->PinCount(); i < count && position < 0; ++i)
            if (filter->PinAt(i) == this)
                position = i + 1;
    if (position < 0)
        return VFW_E_NOT_FOUND;
    // Room for any 32-bit position, so the id never limits the pin count.
    const size_t idLength = 12;
    *out = static_cast<LPWSTR>(CoTaskMemAlloc(idLength * sizeof(WCHAR)));
    if (!*out)
        return E_OUTOFMEMORY;
    FormatDecimal(*out, position);
    return S_OK;
}

HRESULT PinBase::QueryAccept(const AM_MEDIA_TYPE* type)
{
    HRESULT result = CheckType(type);
    return FAILED(result) ? S_FALSE : result;
}

HRESULT PinBase::EnumMediaTypes(IEnumMediaTypes** out) { return MediaTypeEnumerator::Create(this, out); }

HRESULT PinBase::QueryInternalConnections(IPin**, ULONG*) { return E_NOTIMPL; }
HRESULT PinBase::EndOfStream() { return E_UNEXPECTED; }
HRESULT PinBase::BeginFlush() { return E_UNEXPECTED; }
HRESULT PinBase::EndFlush() { return E_UNEXPECTED; }

HRESULT PinBase::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate)
{
    segmentStart = start;
    segmentStop = stop;
    segmentRate = rate;
    return S_OK;
}

HRESULT PinBase::Notify(IBaseFilter*, Quality) { return E_NOTIMPL; }

HRESULT PinBase::SetSink(IQualityControl* sink)
{
    AutoLock guard(lock);
    qualitySink = sink;
    return S_OK;
}
