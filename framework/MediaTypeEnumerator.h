// IEnumMediaTypes over the types a pin offers through GetTypeAt. It refuses
// to go on once the pin's type version has changed under it.
#pragma once

#include "platform/Platform.h"

#include <atomic>

class PinBase;

class MediaTypeEnumerator : public IEnumMediaTypes {
public:
    static HRESULT Create(PinBase* pin, IEnumMediaTypes** out);

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP Next(ULONG requested, AM_MEDIA_TYPE** out, ULONG* fetched) override;
    STDMETHODIMP Skip(ULONG count) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumMediaTypes** out) override;

private:
    explicit MediaTypeEnumerator(PinBase* pin);
    virtual ~MediaTypeEnumerator();
    MediaTypeEnumerator(const MediaTypeEnumerator&) = delete;
    MediaTypeEnumerator& operator=(const MediaTypeEnumerator&) = delete;

    bool OutOfSync();

    int position;
    PinBase* pin;
    LONG version;
    std::atomic<LONG> referenceCount;
};
