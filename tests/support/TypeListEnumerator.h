// IEnumMediaTypes over a fixed list of media types, for the test pins.
#pragma once

#include "framework/MediaTypeRecord.h"

#include <atomic>
#include <vector>

class TypeListEnumerator : public IEnumMediaTypes {
public:
    // A new enumerator with one reference for the caller.
    static IEnumMediaTypes* Create(const std::vector<MediaTypeRecord>& types);

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP Next(ULONG requested, AM_MEDIA_TYPE** out, ULONG* fetched) override;
    STDMETHODIMP Skip(ULONG count) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumMediaTypes** out) override;

private:
    explicit TypeListEnumerator(const std::vector<MediaTypeRecord>& types) : types(types) {}
    virtual ~TypeListEnumerator() = default;

    std::vector<MediaTypeRecord> types;
    size_t position = 0;
    std::atomic<LONG> references{1};
};
