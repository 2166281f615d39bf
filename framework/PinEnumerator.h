// IEnumPins over a filter's pins. When the filter's pin set changes the
// enumerator starts over, but never hands out a pin twice between resets.
#pragma once

#include "framework/EnumeratorBase.h"

class FilterBase;
class PinBase;

// The pins an enumerator has handed out since its last Reset.
class ReturnedPinList {
public:
    ReturnedPinList() = default;
    ~ReturnedPinList();
    ReturnedPinList(const ReturnedPinList&) = delete;
    ReturnedPinList& operator=(const ReturnedPinList&) = delete;

    bool Contains(const PinBase* pin) const;
    // False when the list cannot grow.
    bool Add(PinBase* pin);
    bool CopyFrom(const ReturnedPinList& other);
    void Clear();

private:
    bool Reserve(size_t needed);

    PinBase** pins = nullptr;
    size_t count = 0;
    size_t capacity = 0;
};

class PinEnumerator : public EnumeratorBase<IEnumPins> {
public:
    static HRESULT Create(FilterBase* filter, IEnumPins** out);

    STDMETHODIMP Next(ULONG requested, IPin** out, ULONG* fetched) override;
    STDMETHODIMP Skip(ULONG count) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumPins** out) override;

private:
    explicit PinEnumerator(FilterBase* filter);
    ~PinEnumerator() override;

    void TakeSnapshot();
    bool OutOfSync();

    int position;
    int pinCount;
    FilterBase* filter;
    LONG version;
    ReturnedPinList returned;
};
