// The output media types of the three stream kinds. Each builder fills a media
// type from the movie record's values of the track just read and asks the host
// for a pin that offers it; the pin comes back through pin (null on failure).
#pragma once

#include "parser/MovieRecord.h"
#include "parser/ParserHost.h"

// The format block of the H.264 type: 112 bytes, or more when the parameter
// sets with their start codes need more.
constexpr ULONG kAvcFormatSize = 112;
constexpr ULONG kAacFormatSize = 112;
constexpr ULONG kMpegVideoFormatSize = 512;

// The MPEG-2 video type with a fixed sequence header that "QT MP4 Video Out"
// once offered alone, and now offers second for the hosts that ask for it.
// The format block is in task memory: the caller frees it.
HRESULT BuildMpegVideoType(LONG width, LONG height, int depth, AM_MEDIA_TYPE* type);
// "avc1": the parameter sets in start-code form, "QT H264 Out".
HRESULT CreateAvcPin(const MovieRecord& movie, ParserHost& host, IPin** pin);
// "mp4a": a WAVEFORMATEX with fixed extra bytes, "QT AAC Out".
HRESULT CreateAacPin(const MovieRecord& movie, ParserHost& host, IPin** pin);
