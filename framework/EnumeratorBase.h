// What every enumerator shares: a reference count of its own (an enumerator
// counts for itself, not for what it walks) and the two interfaces it answers,
// IUnknown and its own enumerator interface.
#pragma once

#include "platform/Platform.h"

#include <atomic>

template <class Interface> class EnumeratorBase : public Interface {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        if (IsEqualGUID(iid, ownIid) || IsEqualGUID(iid, IID_IUnknown)) {
            *out = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ULONG(++referenceCount); }
    STDMETHODIMP_(ULONG) Release() override
    {
        const LONG count = --referenceCount;
        if (count == 0)
            delete this;
        return ULONG(count);
    }

protected:
    // Made with one reference, for the caller.
    explicit EnumeratorBase(REFIID iid) : ownIid(iid) {}
    virtual ~EnumeratorBase() = default;
    EnumeratorBase(const EnumeratorBase&) = delete;
    EnumeratorBase& operator=(const EnumeratorBase&) = delete;

private:
    const IID ownIid;
    std::atomic<LONG> referenceCount{1};
};
