#include "parser/PcmFormat.h"

#include "parser/BoxReader.h"

namespace {

// The version 2 flags of an "lpcm" entry.
constexpr uint32_t kLpcmFloat = 0x1;
constexpr uint32_t kLpcmBigEndian = 0x2;
constexpr uint32_t kLpcmSigned = 0x4;

// The "pcmC" flag for little-endian samples.
constexpr uint8_t kPcmcLittleEndian = 0x1;

// Codes whose width is fixed, big-endian unless an "enda" box says otherwise.
struct FixedCode {
    uint32_t code;
    uint16_t bits;
    bool isFloat;
};
constexpr FixedCode kFixedCodes[] = {
    {FourCC("in24"), 24, false},
    {FourCC("in32"), 32, false},
    {FourCC("fl32"), 32, true},
    {FourCC("fl64"), 64, true},
};

// The width of "twos", "sowt" and "raw ": a version 1 entry states its bytes
// per sample; a version 0 entry has only its sample size field.
uint16_t StatedWidth(const PcmEntryFields& fields)
{
    if (fields.version == 1 && fields.bytesPerPacket > 0 && fields.bytesPerPacket <= 8)
        return uint16_t(fields.bytesPerPacket * 8);
    return fields.sampleSize;
}

bool Usable(const PcmFormat& format)
{
    const uint16_t bits = format.bitsPerSample;
    if (bits == 0 || bits % 8 != 0 || format.channels <= 0)
        return false;
    return format.isFloat ? bits == 32 || bits == 64 : bits <= 32;
}

} // namespace

bool ResolvePcmFormat(uint32_t code, const PcmEntryFields& fields, PcmFormat* format)
{
    PcmFormat read;
    read.channels = fields.channels;
    if (code == FourCC("twos") || code == FourCC("sowt") || code == FourCC("raw ")) {
        read.bitsPerSample = StatedWidth(fields);
        read.bigEndian = code == FourCC("twos");
        read.signed8 = code != FourCC("raw ");
    } else if (code == FourCC("lpcm")) {
        read.bitsPerSample = fields.lpcmBits <= 64 ? uint16_t(fields.lpcmBits) : 0;
        read.isFloat = (fields.lpcmFlags & kLpcmFloat) != 0;
        read.bigEndian = (fields.lpcmFlags & kLpcmBigEndian) != 0;
        read.signed8 = (fields.lpcmFlags & kLpcmSigned) != 0;
    } else if (code == FourCC("ipcm") || code == FourCC("fpcm")) {
        read.bitsPerSample = fields.pcmcBits;
        read.isFloat = code == FourCC("fpcm");
        read.bigEndian = (fields.pcmcFlags & kPcmcLittleEndian) == 0;
        read.signed8 = true;
    } else {
        bool found = false;
        for (const FixedCode& fixed : kFixedCodes) {
            if (fixed.code == code) {
                read.bitsPerSample = fixed.bits;
                read.isFloat = fixed.isFloat;
                read.bigEndian = fields.littleEndianBox != 1;
                found = true;
            }
        }
        if (!found)
            return false;
    }
    // Only 8-bit samples care whether they are signed; wider ones are always.
    read.signed8 = read.signed8 && read.bitsPerSample == 8;
    if (!Usable(read))
        return false;
    *format = read;
    return true;
}
