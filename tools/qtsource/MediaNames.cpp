#include "tools/qtsource/MediaNames.h"

#include "framework/WideText.h"
#include "parser/StreamTypes.h"

namespace {

struct NamedGuid {
    const GUID* guid;
    const char* name;
};

const NamedGuid KnownGuids[] = {
    {&MEDIATYPE_Video, "Video"},
    {&MEDIATYPE_Audio, "Audio"},
    {&AvcStreamSubtype, "H264"},
    {&AacStreamSubtype, "MPEG_ADTS_AAC"},
    {&MEDIASUBTYPE_MPEG2_VIDEO, "MPEG2_VIDEO"},
    {&AvcStreamFormat, "AvcStreamFormat"},
    {&AacStreamFormat, "WaveFormatEx"},
    {&FORMAT_MPEG2Video, "MPEG2Video"},
    {&GUID_NULL, "none"},
};

} // namespace

std::string GuidName(REFGUID guid)
{
    for (const NamedGuid& known : KnownGuids)
        if (IsEqualGUID(guid, *known.guid))
            return known.name;
    WCHAR text[40] = {};
    StringFromGUID2(guid, text, 40);
    return NarrowText(text);
}

std::string PayloadExtension(const AM_MEDIA_TYPE& type)
{
    if (IsEqualGUID(type.subtype, AvcStreamSubtype))
        return "h264";
    if (IsEqualGUID(type.subtype, AacStreamSubtype))
        return "aac";
    // The "mp4v" pin: its MPEG-4 part 2 elementary stream under the MPEG-2 type.
    if (IsEqualGUID(type.subtype, MEDIASUBTYPE_MPEG2_VIDEO))
        return "m4v";
    return "bin";
}
