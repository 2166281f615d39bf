// The media type identifiers of the H.264 and AAC pins. Downstream decoders
// recognise the same values, and sample delivery tells the two stream kinds
// apart by them. Defined here so that both platforms use the same constants
// whatever their SDK declares.
#pragma once

#include "platform/Platform.h"

// MEDIASUBTYPE_H264: an H.264 start-code byte stream, which the pin delivers.
inline constexpr GUID AvcStreamSubtype = {0x34363248, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
// The parameter-set format block is a structure of this system's own.
inline constexpr GUID AvcStreamFormat = {0x0d9c022b, 0xa6c9, 0x417a, {0xad, 0xed, 0xb5, 0xc8, 0xfe, 0x35, 0xd4, 0x53}};
// MEDIASUBTYPE_MPEG_ADTS_AAC: ADTS frames, which the pin delivers.
inline constexpr GUID AacStreamSubtype = {0x00001600, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
// FORMAT_WaveFormatEx: the format block is a WAVEFORMATEX.
inline constexpr GUID AacStreamFormat = {0x05589f81, 0xc356, 0x11ce, {0xbf, 0x01, 0x00, 0xaa, 0x00, 0x55, 0x59, 0x5a}};
