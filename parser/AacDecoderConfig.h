// The sample rate and channel count that an AAC track's decoder configuration
// (the AudioSpecificConfig inside its elementary stream descriptor) states.
#pragma once

#include "platform/Platform.h"

#include <cstddef>
#include <cstdint>

struct AacDecoderConfig {
    uint32_t sampleRate = 0; // Hz; 0 when the configuration does not state a usable rate
    int32_t channels = 0;    // the channel configuration 1 to 7; 0 when it does not say
};

// Reads the contents of an "esds" box (after its 8-byte header): version and
// flags, then the ES descriptor with its decoder configuration and decoder
// specific information. False when no AudioSpecificConfig is found in size bytes.
bool ParseAacDecoderConfig(const BYTE* esds, size_t size, AacDecoderConfig* config);

// Reads an AudioSpecificConfig itself, the decoder specific information of size
// bytes. False when it is cut short.
bool ParseAudioSpecificConfig(const BYTE* bytes, size_t size, AacDecoderConfig* config);
