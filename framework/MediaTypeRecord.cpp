#include "framework/MediaTypeRecord.h"

#include <cstring>

void ReleaseTypeFields(AM_MEDIA_TYPE* record)
{
    if (record->cbFormat != 0) {
        CoTaskMemFree(record->pbFormat);
        record->cbFormat = 0;
        record->pbFormat = nullptr;
    }
    if (record->pUnk) {
        record->pUnk->Release();
        record->pUnk = nullptr;
    }
}

void DestroyTypeRecord(AM_MEDIA_TYPE* record)
{
    if (!record)
        return;
    ReleaseTypeFields(record);
    CoTaskMemFree(record);
}

HRESULT CloneTypeFields(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE* source)
{
    std::memcpy(static_cast<void*>(target), source, sizeof(AM_MEDIA_TYPE));
    HRESULT result = S_OK;
    if (source->cbFormat != 0) {
        target->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(source->cbFormat));
        if (target->pbFormat) {
            std::memcpy(target->pbFormat, source->pbFormat, source->cbFormat);
        } else {
            target->cbFormat = 0;
            result = E_OUTOFMEMORY;
        }
    }
    // Taken on failure too, so that releasing the record stays balanced.
    if (target->pUnk)
        target->pUnk->AddRef();
    return result;
}

void InitEmptyType(AM_MEDIA_TYPE* record)
{
    std::memset(static_cast<void*>(record), 0, sizeof(AM_MEDIA_TYPE));
    record->bFixedSizeSamples = TRUE;
    record->lSampleSize = 1;
}

MediaTypeRecord::MediaTypeRecord() { InitEmptyType(this); }

MediaTypeRecord::MediaTypeRecord(const AM_MEDIA_TYPE& source, HRESULT* result)
{
    HRESULT cloned = CloneTypeFields(this, &source);
    if (result && FAILED(cloned))
        *result = cloned;
}

MediaTypeRecord::MediaTypeRecord(const MediaTypeRecord& source) : AM_MEDIA_TYPE()
{
    CloneTypeFields(this, &source);
}

MediaTypeRecord::~MediaTypeRecord() { ReleaseTypeFields(this); }

MediaTypeRecord& MediaTypeRecord::operator=(const MediaTypeRecord& other)
{
    Assign(other);
    return *this;
}

HRESULT MediaTypeRecord::Assign(const AM_MEDIA_TYPE& other)
{
    if (&other == static_cast<const AM_MEDIA_TYPE*>(this))
        return S_OK;
    ReleaseTypeFields(this);
    return FAILED(CloneTypeFields(this, &other)) ? E_OUTOFMEMORY : S_OK;
}

static bool FormatBytesEqual(const AM_MEDIA_TYPE& a, const AM_MEDIA_TYPE& b)
{
    if (a.cbFormat != b.cbFormat)
        return false;
    return a.cbFormat == 0 || std::memcmp(a.pbFormat, b.pbFormat, a.cbFormat) == 0;
}

bool MediaTypeRecord::Equals(const AM_MEDIA_TYPE& other) const
{
    return IsEqualGUID(majortype, other.majortype) && IsEqualGUID(subtype, other.subtype) &&
           IsEqualGUID(formattype, other.formattype) && FormatBytesEqual(*this, other);
}

bool TypeMatchesPattern(const AM_MEDIA_TYPE& type, const AM_MEDIA_TYPE& pattern)
{
    if (!IsEqualGUID(pattern.majortype, GUID_NULL) && !IsEqualGUID(pattern.majortype, type.majortype))
        return false;
    if (!IsEqualGUID(pattern.subtype, GUID_NULL) && !IsEqualGUID(pattern.subtype, type.subtype))
        return false;
    if (IsEqualGUID(pattern.formattype, GUID_NULL))
        return true;
    if (!IsEqualGUID(pattern.formattype, type.formattype))
        return false;
    return FormatBytesEqual(type, pattern);
}

bool TypeHasWildcards(const AM_MEDIA_TYPE& type)
{
    return IsEqualGUID(type.majortype, GUID_NULL) || IsEqualGUID(type.formattype, GUID_NULL);
}

bool MediaTypeRecord::MatchesPattern(const AM_MEDIA_TYPE& pattern) const { return TypeMatchesPattern(*this, pattern); }

bool MediaTypeRecord::HasWildcards() const { return TypeHasWildcards(*this); }

void MediaTypeRecord::Clear()
{
    ReleaseTypeFields(this);
    InitEmptyType(this);
}
