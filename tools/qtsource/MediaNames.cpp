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
    {&HevcStreamSubtype, "HEVC"},
    {&Mp4vStreamSubtype, "MP4V"},
    {&PcmStreamSubtype, "PCM"},
    {&FloatStreamSubtype, "IEEE_FLOAT"},
    {&Mp3StreamSubtype, "MP3"},
    {&MpegAudioStreamSubtype, "MPEG1AudioPayload"},
    {&Ac3StreamSubtype, "DOLBY_AC3"},
    {&Eac3StreamSubtype, "DOLBY_DDPLUS"},
    {&VideoInfoFormat, "VideoInfo"},
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

PayloadFormat PayloadFormatOf(const AM_MEDIA_TYPE& type)
{
    static const NamedGuid extensions[] = {
        {&AvcStreamSubtype, "h264"},
        {&HevcStreamSubtype, "hevc"},
        {&AacStreamSubtype, "aac"},
        {&Mp4vStreamSubtype, "m4v"},
        {&Mp3StreamSubtype, "mp3"},
        {&MpegAudioStreamSubtype, "mp2"},
        {&Ac3StreamSubtype, "ac3"},
        {&Eac3StreamSubtype, "eac3"},
        // The "mp4v" pin connected with its second type keeps its stream.
        {&MEDIASUBTYPE_MPEG2_VIDEO, "m4v"},
    };
    PayloadFormat payload{"bin", {}};
    for (const NamedGuid& known : extensions)
        if (IsEqualGUID(type.subtype, *known.guid))
            payload.extension = known.name;
    if (IsEqualGUID(type.subtype, PcmStreamSubtype) || IsEqualGUID(type.subtype, FloatStreamSubtype)) {
        payload.extension = "wav";
        if (type.pbFormat)
            payload.waveFormat.assign(type.pbFormat, type.pbFormat + type.cbFormat);
    }
    return payload;
}
