#include "filter/module/ClassFactory.h"

#include "framework/UnknownBase.h"

LONG volatile ServerLockCount = 0;

ClassFactory::ClassFactory(const FactoryTemplate* row) : row(row)
{
    // A live factory keeps the module loaded like any of its objects.
    InterlockedIncrement(&LiveObjectCount);
}

ClassFactory::~ClassFactory()
{
    InterlockedDecrement(&LiveObjectCount);
}

HRESULT ClassFactory::QueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!IsEqualGUID(iid, IID_IUnknown) && !IsEqualGUID(iid, IID_IClassFactory))
        return E_NOINTERFACE;
    *out = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
}

ULONG ClassFactory::AddRef()
{
    return ULONG(InterlockedIncrement(&referenceCount));
}

ULONG ClassFactory::Release()
{
    LONG count = InterlockedDecrement(&referenceCount);
    if (count == 0)
        delete this;
    return ULONG(count);
}

HRESULT ClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    // An aggregating owner must hold the object's own unknown, or it could
    // never reach the inner object's other interfaces.
    if (outer && !IsEqualGUID(iid, IID_IUnknown))
        return E_NOINTERFACE;
    HRESULT result = S_OK;
    IUnknown* object = row->create(outer, &result);
    if (!object)
        return FAILED(result) ? result : E_OUTOFMEMORY;
    // The new object has no references yet: one taken and given back
    // destroys it, here on failure and after a failed lookup below.
    object->AddRef();
    if (SUCCEEDED(result))
        result = object->QueryInterface(iid, out);
    object->Release();
    return result;
}

HRESULT ClassFactory::LockServer(BOOL lock)
{
    if (lock)
        InterlockedIncrement(&ServerLockCount);
    else
        InterlockedDecrement(&ServerLockCount);
    return S_OK;
}
