// Names of the media type identifiers that the movie's pins use.
#pragma once

#include "platform/Platform.h"

#include <cstdint>
#include <string>

// The identifier's name where known, else its registry form {...}.
std::string GuidName(REFGUID guid);

#include <vector>

// How a pin's payload file is written: its extension (h264, hevc, aac, m4v,
// mp3, mp2, ac3, eac3, wav, or bin) and, for a WAV file, the format block that
// its header carries.
struct PayloadFormat {
    std::string extension;
    std::vector<uint8_t> waveFormat; // empty: the samples go to the file as they are
};

PayloadFormat PayloadFormatOf(const AM_MEDIA_TYPE& type);
