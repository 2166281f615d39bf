// How the samples of an uncompressed sound track are stored, worked out from
// the format code and the fields and boxes that qualify it.
#pragma once

#include <cstdint>

struct PcmFormat {
    uint16_t bitsPerSample = 0; // of one channel: 8, 16, 24, 32 or 64
    bool bigEndian = false;
    bool isFloat = false;
    bool signed8 = false; // 8-bit samples stored signed, which the platform wants unsigned
    int32_t channels = 0;

    uint32_t BytesPerFrame() const { return uint32_t(bitsPerSample / 8) * uint32_t(channels > 0 ? channels : 0); }
};

// What the sample entry says beside its format code.
struct PcmEntryFields {
    uint16_t version = 0;        // of the sound description
    uint16_t sampleSize = 0;     // the version 0 field, often 16 whatever the data
    int32_t channels = 0;        // the entry's count (version 2: its own field)
    uint32_t bytesPerPacket = 0; // version 1: bytes of one channel's sample
    uint32_t lpcmBits = 0;       // version 2: bits per channel
    uint32_t lpcmFlags = 0;      // version 2: float, big-endian, signed
    int littleEndianBox = -1;    // "enda": 1 little-endian, 0 big-endian, -1 absent
    uint8_t pcmcFlags = 0;       // "pcmC": format flags (bit 0: little-endian)
    uint8_t pcmcBits = 0;        // "pcmC": sample size; 0 when absent
};

// The layout of a PCM entry; false for a code that is not PCM or a width the
// platform cannot carry (0, not whole bytes, over 32 bits for integers, not 32
// or 64 for floating point).
bool ResolvePcmFormat(uint32_t code, const PcmEntryFields& fields, PcmFormat* format);
