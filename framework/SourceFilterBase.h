// A filter that owns its pins in an array and the state lock that every one
// of its pins shares. Pins add themselves when built and remove themselves
// when destroyed.
#pragma once

#include "framework/FilterBase.h"

class SourceFilterBase : public FilterBase {
public:
    SourceFilterBase(const char* objectName, IUnknown* owner, REFCLSID classId);
    // Destroys the pins, last first, before the filter itself goes.
    ~SourceFilterBase() override;

    int PinCount() override;
    PinBase* PinAt(int index) override;
    // The pin whose 1-based number the id gives as decimal text.
    STDMETHODIMP FindPin(LPCWSTR id, IPin** out) override;

    HRESULT AddPin(PinBase* pin);
    HRESULT RemovePin(PinBase* pin);
    int PinIndexOf(PinBase* pin);

    CritSection* StateLock() { return &stateLock; }

private:
    int pinCount;
    PinBase** pins;
    CritSection stateLock;
    // Guards the pin array, not the state lock: a downstream filter asks a pin
    // for its id from the streaming thread, which must never wait for the
    // state lock. Taken after the state lock and never held while waiting.
    CritSection pinSetLock;
};
