// The class factory that DllGetClassObject hands out: one per request, for
// one row of the class table.
#pragma once

#include "filter/module/FactoryTemplate.h"

// IClassFactory::LockServer count; the module stays loaded while it is positive.
extern LONG volatile ServerLockCount;

class ClassFactory : public IClassFactory {
public:
    explicit ClassFactory(const FactoryTemplate* row);
    virtual ~ClassFactory();
    ClassFactory(const ClassFactory&) = delete;
    ClassFactory& operator=(const ClassFactory&) = delete;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
    STDMETHODIMP LockServer(BOOL lock) override;

private:
    const FactoryTemplate* row;
    // A host may share the factory between threads (the classes are
    // registered "Both"), so the count changes atomically.
    LONG volatile referenceCount = 0;
};
