#include "parser/PinRequest.h"

#include "framework/WideText.h"

#include <cstring>

namespace {

constexpr size_t kPinNameLength = 260;

} // namespace

BYTE* AllocateFormat(ULONG size)
{
    BYTE* block = static_cast<BYTE*>(CoTaskMemAlloc(size));
    if (block)
        std::memset(block, 0, size);
    return block;
}

HRESULT AddPin(ParserHost& host, const char* name, const GUID& majorType, const GUID& subtype, const GUID& formatType,
               ULONG sampleSize, BYTE* format, ULONG formatSize, IPin** pin)
{
    if (!format)
        return E_OUTOFMEMORY;
    AM_MEDIA_TYPE type;
    std::memset(&type, 0, sizeof type);
    type.majortype = majorType;
    type.subtype = subtype;
    type.formattype = formatType;
    type.bFixedSizeSamples = FALSE;
    type.bTemporalCompression = FALSE;
    type.lSampleSize = sampleSize;
    type.cbFormat = formatSize;
    type.pbFormat = format;

    WCHAR wideName[kPinNameLength];
    HRESULT result = E_FAIL;
    if (SUCCEEDED(CopyWide(name, wideName, int(kPinNameLength))))
        result = host.AddOutputPin(&type, wideName, pin);
    CoTaskMemFree(format);
    return result;
}
