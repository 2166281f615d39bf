// The IUnknown of the layer's own platform objects. They are the system's
// objects on Windows, so they stay out of the framework's live-object count.
#pragma once

#include "DShowInterfaces.h"

#include <atomic>
#include <new>

// An object with one reference count answering IUnknown and the interfaces
// that Answer() names; it deletes itself at the last Release.
template <typename... Interfaces> class ComObject : public Interfaces... {
public:
    ComObject() = default;
    virtual ~ComObject() = default;
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        *out = Answer(iid);
        if (!*out)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++references; }
    STDMETHODIMP_(ULONG) Release() override
    {
        ULONG left = --references;
        if (left == 0)
            delete this;
        return left;
    }

protected:
    // The interface pointer for iid, or null; IUnknown is the first interface.
    virtual void* Answer(REFIID iid) = 0;

private:
    std::atomic<ULONG> references{1};
};

// The platform creator shape of PlatformRegisterClass for a ComObject class:
// no aggregation, as the system's own classes of this kind refuse it.
template <typename Object> HRESULT CreatePlatformObject(IUnknown* outer, REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (outer)
        return CLASS_E_NOAGGREGATION;
    Object* object = new (std::nothrow) Object();
    if (!object)
        return E_OUTOFMEMORY;
    HRESULT result = object->QueryInterface(iid, out);
    object->Release();
    return result;
}
