// The media type identifiers of the H.264 and AAC pins. Downstream decoders
// recognise the same values, and sample delivery tells the two stream kinds
// apart by them. Defined here so that both platforms use the same constants
// whatever their SDK declares.
#pragma once

#include "platform/Platform.h"

#include <cstdint>

// MEDIASUBTYPE_H264: an H.264 start-code byte stream, which the pin delivers.
inline constexpr GUID AvcStreamSubtype = {0x34363248, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
// The parameter-set format block is a structure of this system's own.
inline constexpr GUID AvcStreamFormat = {0x0d9c022b, 0xa6c9, 0x417a, {0xad, 0xed, 0xb5, 0xc8, 0xfe, 0x35, 0xd4, 0x53}};
// MEDIASUBTYPE_MPEG_ADTS_AAC: ADTS frames, which the pin delivers.
inline constexpr GUID AacStreamSubtype = {0x00001600, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
// FORMAT_WaveFormatEx: the format block is a WAVEFORMATEX.
inline constexpr GUID AacStreamFormat = {0x05589f81, 0xc356, 0x11ce, {0xbf, 0x01, 0x00, 0xaa, 0x00, 0x55, 0x59, 0x5a}};

// The subtypes of the kinds added later, with the values decoders register
// for; most are a format tag or a FOURCC in the platform's base GUID, and not
// every SDK names them.
constexpr GUID WaveSubtype(uint32_t tagOrFourCC)
{
    return {tagOrFourCC, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
}
// MEDIASUBTYPE_HEVC: an HEVC start-code byte stream ('HEVC').
inline constexpr GUID HevcStreamSubtype = WaveSubtype(0x43564548);
// MEDIASUBTYPE_MP4V: MPEG-4 Part 2 video ('MP4V').
inline constexpr GUID Mp4vStreamSubtype = WaveSubtype(0x5634504D);
inline constexpr GUID PcmStreamSubtype = WaveSubtype(0x0001);       // MEDIASUBTYPE_PCM
inline constexpr GUID FloatStreamSubtype = WaveSubtype(0x0003);     // MEDIASUBTYPE_IEEE_FLOAT
inline constexpr GUID Mp3StreamSubtype = WaveSubtype(0x0055);       // MEDIASUBTYPE_MP3
inline constexpr GUID MpegAudioStreamSubtype = WaveSubtype(0x0050); // MEDIASUBTYPE_MPEG1AudioPayload
// MEDIASUBTYPE_DOLBY_AC3 and MEDIASUBTYPE_DOLBY_DDPLUS are not built on the base GUID.
inline constexpr GUID Ac3StreamSubtype = {0xe06d802c, 0xdb46, 0x11cf, {0xb4, 0xd1, 0x00, 0x80, 0x5f, 0x6c, 0xbb, 0xea}};
inline constexpr GUID Eac3StreamSubtype = {
    0xa7fb87af, 0x2d02, 0x42fb, {0xa4, 0xd4, 0x05, 0xcd, 0x93, 0x84, 0x3b, 0xdd}};
// FORMAT_VideoInfo, for the MPEG-4 video type.
inline constexpr GUID VideoInfoFormat = {0x05589f80, 0xc356, 0x11ce, {0xbf, 0x01, 0x00, 0xaa, 0x00, 0x55, 0x59, 0x5a}};
