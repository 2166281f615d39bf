// The output media types of the sound kinds beyond AAC: uncompressed sound,
// MPEG audio, AC-3 and E-AC-3. Each fills its format block from the track's
// sample entry and asks the host for a pin that offers it.
#pragma once

#include "parser/MpegAudioHeader.h"
#include "parser/ParserHost.h"
#include "parser/SampleEntry.h"

// The WAVEFORMAT tag of AC-3 frames, which both Dolby types carry.
constexpr WORD kDolbyAc3FormatTag = 0x2000;

// "QT PCM Out": a WAVEFORMATEX for up to two channels of 8 or 16 bits,
// otherwise a WAVEFORMATEXTENSIBLE; the subtype says integer or floating point.
HRESULT CreatePcmPin(const SampleEntry& entry, ParserHost& host, IPin** pin);
// "QT MP3 Out": layer III as MEDIASUBTYPE_MP3, layers I and II as MPEG-1 audio
// payload, described by the track's first frame.
HRESULT CreateMpegAudioPin(const MpegAudioHeader& frame, ParserHost& host, IPin** pin);
// "QT AC3 Out" and "QT E-AC3 Out".
HRESULT CreateDolbyAudioPin(const SampleEntry& entry, ParserHost& host, IPin** pin);

// The speaker positions of the usual layouts of channels channels; 0 (no
// positions) for counts without one.
DWORD ChannelMask(int32_t channels);
