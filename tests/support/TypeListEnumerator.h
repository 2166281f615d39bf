// IEnumMediaTypes over a fixed list of media types, for the test pins.
#pragma once

#include "framework/EnumeratorBase.h"
#include "framework/MediaTypeRecord.h"

#include <vector>

class TypeListEnumerator : public EnumeratorBase<IEnumMediaTypes> {
public:
    // A new enumerator with one reference for the caller.
    static IEnumMediaTypes* Create(const std::vector<MediaTypeRecord>& types);

    STDMETHODIMP Next(ULONG requested, AM_MEDIA_TYPE** out, ULONG* fetched) override;
    STDMETHODIMP Skip(ULONG count) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumMediaTypes** out) override;

private:
    explicit TypeListEnumerator(const std::vector<MediaTypeRecord>& types)
        : EnumeratorBase(IID_IEnumMediaTypes), types(types)
    {
    }

    std::vector<MediaTypeRecord> types;
    size_t position = 0;
};
