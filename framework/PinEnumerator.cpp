#include "framework/PinEnumerator.h"

#include "framework/FilterBase.h"
#include "framework/PinBase.h"

#include <new>

ReturnedPinList::~ReturnedPinList() { delete[] pins; }

bool ReturnedPinList::Contains(const PinBase* pin) const
{
    for (size_t i = 0; i < count; ++i)
        if (pins[i] == pin)
            return true;
    return false;
}

bool ReturnedPinList::Reserve(size_t needed)
{
    if (needed <= capacity)
        return true;
    size_t grown = capacity ? capacity * 2 : 4;
    if (grown < needed)
        grown = needed;
    PinBase** larger = new (std::nothrow) PinBase*[grown];
    if (!larger)
        return false;
    for (size_t i = 0; i < count; ++i)
        larger[i] = pins[i];
    delete[] pins;
    pins = larger;
    capacity = grown;
    return true;
}

bool ReturnedPinList::Add(PinBase* pin)
{
    if (!Reserve(count + 1))
        return false;
    pins[count++] = pin;
    return true;
}

bool ReturnedPinList::CopyFrom(const ReturnedPinList& other)
{
    Clear();
    if (!Reserve(other.count))
        return false;
    for (size_t i = 0; i < other.count; ++i)
        pins[i] = other.pins[i];
    count = other.count;
    return true;
}

void ReturnedPinList::Clear() { count = 0; }

PinEnumerator::PinEnumerator(FilterBase* filter)
    : EnumeratorBase(IID_IEnumPins), position(0), pinCount(0), filter(filter), version(0)
{
    static_cast<IBaseFilter*>(filter)->AddRef();
    TakeSnapshot();
}

PinEnumerator::~PinEnumerator() { static_cast<IBaseFilter*>(filter)->Release(); }

HRESULT PinEnumerator::Create(FilterBase* filter, IEnumPins** out)
{
    if (!out)
        return E_POINTER;
    *out = new (std::nothrow) PinEnumerator(filter);
    return *out ? S_OK : E_OUTOFMEMORY;
}

void PinEnumerator::TakeSnapshot()
{
    version = filter->GetPinSetVersion();
    pinCount = filter->PinCount();
}

bool PinEnumerator::OutOfSync() { return filter->GetPinSetVersion() != version; }

HRESULT PinEnumerator::Next(ULONG requested, IPin** out, ULONG* fetched)
{
    if (!out)
        return E_POINTER;
    if (!fetched && requested > 1)
        return E_INVALIDARG;
    if (fetched)
        *fetched = 0;
    if (OutOfSync()) {
        // The set changed: look at every pin again; the returned list keeps
        // the ones already handed out from being handed out twice.
        TakeSnapshot();
        position = 0;
    }
    ULONG left = ULONG(pinCount - position);
    if (left == 0 || requested == 0)
        return S_FALSE;
    ULONG wanted = requested < left ? requested : left;
    ULONG stored = 0;
    while (position < pinCount && stored < wanted) {
        PinBase* pin = filter->PinAt(position++);
        if (!pin) {
            // The pins handed out so far are taken back, so that the caller,
            // who sees a failure, is not left owning them.
            for (ULONG i = 0; i < stored; ++i) {
                out[i]->Release();
                out[i] = nullptr;
            }
            return VFW_E_ENUM_OUT_OF_SYNC;
        }
        if (returned.Contains(pin))
            continue;
        if (!returned.Add(pin))
            break;
        out[stored] = static_cast<IPin*>(pin);
        out[stored]->AddRef();
        ++stored;
    }
    if (fetched)
        *fetched = stored;
    return stored == requested ? S_OK : S_FALSE;
}

HRESULT PinEnumerator::Skip(ULONG count)
{
    if (OutOfSync())
        return VFW_E_ENUM_OUT_OF_SYNC;
    if (ULONG(pinCount - position) < count)
        return S_FALSE;
    position += int(count);
    return S_OK;
}

HRESULT PinEnumerator::Reset()
{
    TakeSnapshot();
    position = 0;
    returned.Clear();
    return S_OK;
}

HRESULT PinEnumerator::Clone(IEnumPins** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (OutOfSync())
        return VFW_E_ENUM_OUT_OF_SYNC;
    PinEnumerator* copy = new (std::nothrow) PinEnumerator(filter);
    if (!copy)
        return E_OUTOFMEMORY;
    copy->position = position;
    copy->pinCount = pinCount;
    copy->version = version;
    if (!copy->returned.CopyFrom(returned)) {
        copy->Release();
        return E_OUTOFMEMORY;
    }
    *out = copy;
    return S_OK;
}
