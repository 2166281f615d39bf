// The 7-byte ADTS header (no CRC) that makes each raw AAC access unit from the
// movie a self-describing frame.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t kAdtsHeaderSize = 7;
// The frame length field has 13 bits and counts the header too.
constexpr uint32_t kAdtsMaxPayload = 0x1FFF - kAdtsHeaderSize;

// The sampling frequency index for a rate in Hz: the first row whose lower
// bound the rate reaches, so rates between the standard ones go to the index
// of the nearest standard rate below them.
uint32_t AacSampleRateIndex(uint32_t rate);

// Fills header for a payload of payloadSize bytes: profile AAC LC, the given
// sampling frequency index (4 bits) and channel configuration. A channel count
// outside 1..7 has no configuration of its own and is written as 0 rather than
// spilling into the neighbouring fields. Returns false, writing nothing, when
// the frame would not fit the 13-bit length field.
bool BuildAdtsHeader(uint8_t header[kAdtsHeaderSize], uint32_t payloadSize, uint32_t sampleRateIndex,
                     uint32_t channels);

// Keeps the header of the previous sample: consecutive AAC frames usually
// have the same length, and then nothing is rebuilt.
class AdtsHeaderCache {
public:
    AdtsHeaderCache(uint32_t sampleRate, uint32_t channels);

    // The header for a payload of payloadSize bytes, or null when the frame
    // would not fit its length field.
    const uint8_t* HeaderFor(uint32_t payloadSize);

private:
    uint32_t sampleRateIndex;
    uint32_t channels;
    uint32_t cachedPayloadSize = 0;
    bool cached = false;
    uint8_t header[kAdtsHeaderSize] = {};
};
