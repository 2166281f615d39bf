// The output media types of the video kinds beyond H.264: HEVC and MPEG-4
// Part 2. Each fills its format block from the track's sample entry and asks
// the host for a pin that offers it.
#pragma once

#include "parser/ParserHost.h"
#include "parser/SampleEntry.h"

// "QT HEVC Out": an MPEG2VIDEOINFO naming 'HEVC', whose sequence header holds
// the parameter sets behind start codes.
HRESULT CreateHevcPin(const SampleEntry& entry, ParserHost& host, IPin** pin);

// The MPEG-4 video type: a VIDEOINFOHEADER naming 'MP4V' followed by the
// decoder configuration. Fills type, whose format block the caller frees.
HRESULT BuildMpeg4VideoType(const SampleEntry& entry, AM_MEDIA_TYPE* type);

// "QT MP4 Video Out": the MPEG-4 video type.
HRESULT CreateMpeg4VideoPin(const SampleEntry& entry, ParserHost& host, IPin** pin);
