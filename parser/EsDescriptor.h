// The elementary stream descriptor of an "esds" box: which decoder the stream
// needs (its object type) and the decoder's own configuration bytes.
#pragma once

#include "platform/Platform.h"

#include <cstddef>
#include <cstdint>

struct EsDecoderInfo {
    uint8_t objectType = 0;             // 0x40 AAC, 0x20 MPEG-4 video, 0x6B and 0x69 MPEG audio, ...
    const BYTE* specificInfo = nullptr; // inside the bytes handed in; null when there is none
    size_t specificInfoSize = 0;
};

// Reads the contents of an "esds" box (after its 8-byte header): version and
// flags, then the ES descriptor and its decoder configuration. False when no
// decoder configuration descriptor is found in size bytes; a configuration
// without decoder specific information is found with none.
bool ParseEsDescriptor(const BYTE* esds, size_t size, EsDecoderInfo* info);
