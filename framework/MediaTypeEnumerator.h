// IEnumMediaTypes over the types a pin offers through GetTypeAt. It refuses
// to go on once the pin's type version has changed under it.
#pragma once

#include "framework/EnumeratorBase.h"

class PinBase;

class MediaTypeEnumerator : public EnumeratorBase<IEnumMediaTypes> {
public:
    static HRESULT Create(PinBase* pin, IEnumMediaTypes** out);

    STDMETHODIMP Next(ULONG requested, AM_MEDIA_TYPE** out, ULONG* fetched) override;
    STDMETHODIMP Skip(ULONG count) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumMediaTypes** out) override;

private:
    explicit MediaTypeEnumerator(PinBase* pin);
    ~MediaTypeEnumerator() override;

    bool OutOfSync();

    int position;
    PinBase* pin;
    LONG version;
};
