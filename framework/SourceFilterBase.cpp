#include "framework/SourceFilterBase.h"

#include "framework/PinBase.h"

#include <climits>
#include <cwchar>
#include <new>

// The state lock is a member constructed after the FilterBase part; only its
// address is handed over here, and nothing takes it before construction ends.
SourceFilterBase::SourceFilterBase(const char* objectName, IUnknown* owner, REFCLSID classId)
    : FilterBase(objectName, owner, &stateLock, classId), pinCount(0), pins(nullptr)
{
}

SourceFilterBase::~SourceFilterBase()
{
    while (pinCount != 0) {
        PinBase* pin = pins[pinCount - 1];
        // Taken out first, so that a pin whose destructor does not remove
        // itself cannot hold this loop for ever; its own RemovePin then
        // finds nothing.
        RemovePin(pin);
        delete pin;
    }
    delete[] pins;
}

int SourceFilterBase::PinCount()
{
    AutoLock guard(&pinSetLock);
    return pinCount;
}

PinBase* SourceFilterBase::PinAt(int index)
{
    AutoLock guard(&pinSetLock);
    if (index < 0 || index >= pinCount)
        return nullptr;
    return pins[index];
}

HRESULT SourceFilterBase::FindPin(LPCWSTR id, IPin** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!id)
        return VFW_E_NOT_FOUND;
    // Read as the C library reads a wide decimal: white space and sign, then
    // digits up to the first other character; no digits read as 0.
    long number = std::wcstol(id, nullptr, 10);
    if (number < 1 || number > INT_MAX)
        return VFW_E_NOT_FOUND;
    PinBase* pin = PinAt(int(number - 1));
    if (!pin)
        return VFW_E_NOT_FOUND;
    return ReturnInterface(static_cast<IPin*>(pin), reinterpret_cast<void**>(out));
}

HRESULT SourceFilterBase::AddPin(PinBase* pin)
{
    AutoLock guard(&pinSetLock);
    PinBase** grown = new (std::nothrow) PinBase*[size_t(pinCount) + 1];
    if (!grown)
        return E_OUTOFMEMORY;
    for (int i = 0; i < pinCount; ++i)
        grown[i] = pins[i];
    grown[pinCount] = pin;
    delete[] pins;
    pins = grown;
    ++pinCount;
    return S_OK;
}

HRESULT SourceFilterBase::RemovePin(PinBase* pin)
{
    AutoLock guard(&pinSetLock);
    int index = PinIndexOf(pin);
    if (index < 0)
        return S_FALSE;
    for (int i = index; i + 1 < pinCount; ++i)
        pins[i] = pins[i + 1];
    --pinCount;
    if (pinCount == 0) {
        delete[] pins;
        pins = nullptr;
    }
    return S_OK;
}

int SourceFilterBase::PinIndexOf(PinBase* pin)
{
    AutoLock guard(&pinSetLock);
    for (int i = 0; i < pinCount; ++i)
        if (pins[i] == pin)
            return i;
    return -1;
}
