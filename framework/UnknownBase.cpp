#include "framework/UnknownBase.h"

LONG volatile LiveObjectCount = 0;

HRESULT ReturnInterface(IUnknown* pointer, void** out)
{
    if (!out)
        return E_POINTER;
    *out = pointer;
    pointer->AddRef();
    return S_OK;
}

UnknownBase::UnknownBase(const char*, IUnknown* owner) : inner(this), owner(owner ? owner : &inner), refCount(0)
{
    InterlockedIncrement(&LiveObjectCount);
}

UnknownBase::~UnknownBase() { InterlockedDecrement(&LiveObjectCount); }

HRESULT UnknownBase::InnerQueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    if (IsEqualGUID(iid, IID_IUnknown))
        return ReturnInterface(&inner, out);
    *out = nullptr;
    return E_NOINTERFACE;
}

ULONG UnknownBase::InnerAddRef()
{
    LONG count = InterlockedIncrement(&refCount);
    return count > 1 ? ULONG(count) : 1u;
}

ULONG UnknownBase::InnerRelease()
{
    LONG count = InterlockedDecrement(&refCount);
    if (count != 0)
        return count > 1 ? ULONG(count) : 1u;
    // A release reached from the destructor must not destroy the object again.
    InterlockedExchange(&refCount, 1);
    delete this;
    return 0;
}
