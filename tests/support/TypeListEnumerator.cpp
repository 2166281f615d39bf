#include "tests/support/TypeListEnumerator.h"

IEnumMediaTypes* TypeListEnumerator::Create(const std::vector<MediaTypeRecord>& types)
{
    return new TypeListEnumerator(types);
}

HRESULT TypeListEnumerator::Next(ULONG requested, AM_MEDIA_TYPE** out, ULONG* fetched)
{
    if (!out)
        return E_POINTER;
    ULONG count = 0;
    while (count < requested && position < types.size()) {
        auto* copy = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
        if (!copy)
            break;
        CloneTypeFields(copy, &types[position++]);
        out[count++] = copy;
    }
    if (fetched)
        *fetched = count;
    return count == requested ? S_OK : S_FALSE;
}

HRESULT TypeListEnumerator::Skip(ULONG count)
{
    position += count;
    if (position > types.size()) {
        position = types.size();
        return S_FALSE;
    }
    return S_OK;
}

HRESULT TypeListEnumerator::Reset()
{
    position = 0;
    return S_OK;
}

HRESULT TypeListEnumerator::Clone(IEnumMediaTypes** out)
{
    if (!out)
        return E_POINTER;
    auto* copy = new TypeListEnumerator(types);
    copy->position = position;
    *out = copy;
    return S_OK;
}
