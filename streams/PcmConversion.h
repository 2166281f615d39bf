// Uncompressed sound as the platform carries it: little-endian, 8-bit samples
// unsigned. The movie may store either byte order and signed 8-bit samples.
#pragma once

#include "parser/PcmFormat.h"

#include <cstddef>
#include <cstdint>

// Rewrites size bytes of samples in place; a trailing partial sample is left
// as it is.
void ConvertPcmToPlatform(const PcmFormat& format, uint8_t* samples, size_t size);

// The frames in at most 100 ms of sound: one delivered sample holds no more,
// so that a renderer starts and seeks with a short delay. At least one.
uint32_t PcmFramesPerDelivery(uint32_t sampleRate);
