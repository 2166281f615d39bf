// The base of every reference-counted object: a count, an inner unknown that
// never delegates (for aggregation) and a place in the module's live count.
#pragma once

#include "platform/Platform.h"

// Framework objects alive in the module; the module may unload at zero.
extern LONG volatile LiveObjectCount;

// Stores the interface in *out with one reference for the caller.
HRESULT ReturnInterface(IUnknown* pointer, void** out);

class UnknownBase {
public:
    UnknownBase(const char* objectName, IUnknown* owner);
    virtual ~UnknownBase();
    UnknownBase(const UnknownBase&) = delete;
    UnknownBase& operator=(const UnknownBase&) = delete;

    virtual HRESULT InnerQueryInterface(REFIID iid, void** out);
    virtual ULONG InnerAddRef();
    virtual ULONG InnerRelease();

    // The aggregating outer object, or this object's own inner unknown.
    IUnknown* Owner() const { return owner; }
    IUnknown* InnerUnknown() { return &inner; }

protected:
    // For a class whose last release has work to do before it is destroyed.
    LONG volatile& ReferenceCount() { return refCount; }

private:
    // The non-delegating IUnknown that an aggregating owner holds.
    class Inner : public IUnknown {
    public:
        explicit Inner(UnknownBase* object) : object(object) {}
        STDMETHODIMP QueryInterface(REFIID iid, void** out) override { return object->InnerQueryInterface(iid, out); }
        STDMETHODIMP_(ULONG) AddRef() override { return object->InnerAddRef(); }
        STDMETHODIMP_(ULONG) Release() override { return object->InnerRelease(); }

    private:
        UnknownBase* object;
    };

    Inner inner;
    IUnknown* owner;
    LONG volatile refCount;
};

// The IUnknown methods of every further interface of an UnknownBase-derived
// class: they are the owner's.
#define DECLARE_OWNER_UNKNOWN                                                              \
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override                           \
    {                                                                                      \
        return Owner()->QueryInterface(iid, out);                                          \
    }                                                                                      \
    STDMETHODIMP_(ULONG) AddRef() override { return Owner()->AddRef(); }                   \
    STDMETHODIMP_(ULONG) Release() override { return Owner()->Release(); }
