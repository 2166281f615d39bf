// The sample rate, channel count and bit rate that an AC-3 ("dac3") or E-AC-3
// ("dec3") configuration box states for the frames of its track.
#pragma once

#include "platform/Platform.h"

#include <cstddef>
#include <cstdint>

struct DolbyAudioConfig {
    uint32_t sampleRate = 0; // Hz
    int32_t channels = 0;    // the coded channels with the low-frequency one
    uint32_t bitRate = 0;    // bits per second; 0 when the box does not say
};

// The contents of a "dac3" box (after its header). False when the box is too
// short or names a reserved rate.
bool ParseAc3Config(const BYTE* bytes, size_t size, DolbyAudioConfig* config);
// The contents of a "dec3" box: the rate and channels of its first
// independent substream and the stream's data rate.
bool ParseEac3Config(const BYTE* bytes, size_t size, DolbyAudioConfig* config);
