#include "parser/VideoTypeBuilders.h"

#include "parser/MediaTypeBuilders.h"
#include "parser/PinRequest.h"
#include "parser/StreamTypes.h"

#include <cstddef>
#include <cstring>

namespace {

constexpr DWORD kHevcFourCC = 0x43564548;  // 'HEVC'
constexpr DWORD kMpeg4FourCC = 0x5634504D; // 'MP4V'

void FillPicture(BITMAPINFOHEADER& bitmap, RECT& source, RECT& target, const SampleEntry& entry, DWORD fourCC)
{
    source.right = target.right = entry.width;
    source.bottom = target.bottom = entry.height;
    bitmap.biSize = sizeof(BITMAPINFOHEADER);
    bitmap.biWidth = entry.width;
    bitmap.biHeight = entry.height;
    bitmap.biPlanes = 1;
    bitmap.biBitCount = WORD(entry.depth);
    bitmap.biCompression = fourCC;
}

} // namespace

HRESULT CreateHevcPin(const SampleEntry& entry, ParserHost& host, IPin** pin)
{
    if (!pin)
        return E_POINTER;
    *pin = nullptr;
    const ParameterSet& sets = entry.configuration;
    const size_t header = offsetof(MPEG2VIDEOINFO, dwSequenceHeader);
    const size_t needed = header + size_t(sets.size);
    const ULONG size = ULONG(needed > sizeof(MPEG2VIDEOINFO) ? needed : sizeof(MPEG2VIDEOINFO));
    BYTE* block = AllocateFormat(size);
    if (block) {
        MPEG2VIDEOINFO& info = *reinterpret_cast<MPEG2VIDEOINFO*>(block);
        FillPicture(info.hdr.bmiHeader, info.hdr.rcSource, info.hdr.rcTarget, entry, kHevcFourCC);
        info.cbSequenceHeader = DWORD(sets.size);
        info.dwProfile = entry.profile;
        info.dwLevel = entry.level;
        // No flags: the stream carries start codes, not length fields.
        if (sets.size > 0)
            std::memcpy(block + header, sets.data.get(), size_t(sets.size));
    }
    return AddPin(host, "QT HEVC Out", MEDIATYPE_Video, HevcStreamSubtype, FORMAT_MPEG2Video, 0, block, size, pin);
}

HRESULT BuildMpeg4VideoType(const SampleEntry& entry, AM_MEDIA_TYPE* type)
{
    if (!type)
        return E_POINTER;
    const ParameterSet& config = entry.configuration;
    const ULONG size = ULONG(sizeof(VIDEOINFOHEADER) + size_t(config.size));
    BYTE* block = AllocateFormat(size);
    if (!block)
        return E_OUTOFMEMORY;
    VIDEOINFOHEADER& info = *reinterpret_cast<VIDEOINFOHEADER*>(block);
    FillPicture(info.bmiHeader, info.rcSource, info.rcTarget, entry, kMpeg4FourCC);
    if (config.size > 0)
        std::memcpy(block + sizeof(VIDEOINFOHEADER), config.data.get(), size_t(config.size));
    FillType(type, MEDIATYPE_Video, Mp4vStreamSubtype, VideoInfoFormat, 0, block, size);
    return S_OK;
}

HRESULT CreateMpeg4VideoPin(const SampleEntry& entry, ParserHost& host, IPin** pin)
{
    if (!pin)
        return E_POINTER;
    *pin = nullptr;
    AM_MEDIA_TYPE type;
    HRESULT result = BuildMpeg4VideoType(entry, &type);
    if (FAILED(result))
        return result;
    result = AddPin(host, "QT MP4 Video Out", type.majortype, type.subtype, type.formattype, 0, type.pbFormat,
                    type.cbFormat, pin);
    if (FAILED(result))
        return result;
    AM_MEDIA_TYPE older;
    result = BuildMpegVideoType(entry.width, entry.height, int(entry.depth), &older);
    if (SUCCEEDED(result)) {
        result = host.AddPinType(*pin, &older);
        CoTaskMemFree(older.pbFormat);
    }
    return result;
}
