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

void FillType(AM_MEDIA_TYPE* type, const GUID& majorType, const GUID& subtype, const GUID& formatType, ULONG sampleSize,
              BYTE* block, ULONG blockSize)
{
    std::memset(type, 0, sizeof *type);
    type->majortype = majorType;
    type->subtype = subtype;
    type->formattype = formatType;
    type->lSampleSize = sampleSize;
    type->cbFormat = blockSize;
    type->pbFormat = block;
}

HRESULT AddPin(ParserHost& host, const char* name, const GUID& majorType, const GUID& subtype, const GUID& formatType,
               ULONG sampleSize, BYTE* format, ULONG formatSize, IPin** pin)
{
    if (!format)
        return E_OUTOFMEMORY;
    AM_MEDIA_TYPE type;
    FillType(&type, majorType, subtype, formatType, sampleSize, format, formatSize);

    WCHAR wideName[kPinNameLength];
    HRESULT result = E_FAIL;
    if (SUCCEEDED(CopyWide(name, wideName, int(kPinNameLength))))
        result = host.AddOutputPin(&type, wideName, pin);
    CoTaskMemFree(format);
    return result;
}
