// The configuration records of the new kinds, well formed and broken: what
// they state, and that a broken one states nothing rather than garbage.
#include "parser/BoxReader.h"
#include "parser/DolbyAudioConfig.h"
#include "parser/HevcDecoderConfig.h"
#include "parser/MpegAudioHeader.h"
#include "parser/PcmFormat.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// An hvcC record: Main profile, level 93, 4-byte lengths, then a VPS, an SEI
// array that is passed over, an SPS and a PPS.
Bytes HevcRecord(uint8_t lengthSizeMinusOne)
{
    return {
        1,
        0x01,
        0x60,
        0,
        0,
        0,
        0x90,
        0,
        0,
        0,
        0,
        0, // version, profile 1, compatibility, constraints
        93,
        0xF0,
        0,
        0xFC,
        0xFD,
        0xF8,
        0xF8,
        0,
        0,                                  // level, segmentation, parallelism, chroma, depths, rate
        uint8_t(0x0C | lengthSizeMinusOne), // temporal layers, length size
        4,                                  // arrays
        0xA0,
        0,
        1,
        0,
        2,
        0x40,
        0x01, // VPS: one unit of 2 bytes
        0x27,
        0,
        1,
        0,
        1,
        0x4E, // SEI, not a parameter set
        0xA1,
        0,
        1,
        0,
        3,
        0x42,
        0x01,
        0x01, // SPS
        0xA2,
        0,
        1,
        0,
        2,
        0x44,
        0x01, // PPS
    };
}

TEST(CodecConfig, HevcRecordGivesItsParameterSetsOrNothing)
{
    HevcDecoderConfig config;
    ASSERT_TRUE(ParseHevcDecoderConfig(HevcRecord(3).data(), HevcRecord(3).size(), &config));
    EXPECT_EQ(1, config.profile);
    EXPECT_EQ(93, config.level);
    EXPECT_EQ(4, config.lengthSize);
    const Bytes expected = {0, 0, 0, 1, 0x40, 0x01, 0, 0, 0, 1, 0x42, 0x01, 0x01, 0, 0, 0, 1, 0x44, 0x01};
    EXPECT_EQ(expected,
              Bytes(config.parameterSets.data.get(), config.parameterSets.data.get() + config.parameterSets.size));
    for (uint8_t minusOne : {0, 1}) {
        ASSERT_TRUE(ParseHevcDecoderConfig(HevcRecord(minusOne).data(), HevcRecord(minusOne).size(), &config));
        EXPECT_EQ(minusOne + 1, config.lengthSize);
    }

    // A 3-byte length size, and the record cut anywhere inside its arrays.
    HevcDecoderConfig broken;
    EXPECT_FALSE(ParseHevcDecoderConfig(HevcRecord(2).data(), HevcRecord(2).size(), &broken));
    const Bytes record = HevcRecord(3);
    for (size_t size = 0; size < record.size(); ++size) {
        const Bytes cut(record.begin(), record.begin() + std::ptrdiff_t(size));
        EXPECT_FALSE(ParseHevcDecoderConfig(cut.data(), cut.size(), &broken)) << size;
    }
    EXPECT_EQ(0, broken.parameterSets.size);
}

TEST(CodecConfig, DolbyBoxesGiveRateChannelsAndBitRate)
{
    struct Case {
        const char* what;
        bool enhanced;
        Bytes box;
        bool ok;
        uint32_t rate;
        int32_t channels;
        uint32_t bitRate;
    } cases[] = {
        // fscod 0, bsid 8, bsmod 0, acmod 7 (3/2), lfe, 448 kbit/s (code 15).
        {"AC-3 5.1", false, {0x10, 0x3D, 0xE0}, true, 48000, 6, 448000},
        // fscod 1, bsid 8, acmod 2 (2/0), no lfe, 192 kbit/s (code 10).
        {"AC-3 stereo at 44.1 kHz", false, {0x50, 0x11, 0x40}, true, 44100, 2, 192000},
        {"AC-3 too short", false, {0x10, 0x3D}, false, 0, 0, 0},
        {"AC-3 reserved rate", false, {0xD0, 0x3D, 0xE0}, false, 0, 0, 0},
        // 640 kbit/s, one substream: fscod 0, bsid 16, acmod 2, no lfe.
        {"E-AC-3 stereo", true, {0x14, 0x00, 0x20, 0x04, 0x00}, true, 48000, 2, 640000},
        {"E-AC-3 too short", true, {0x14, 0x00, 0x20}, false, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DolbyAudioConfig config;
        const bool ok = c.enhanced ? ParseEac3Config(c.box.data(), c.box.size(), &config)
                                   : ParseAc3Config(c.box.data(), c.box.size(), &config);
        EXPECT_EQ(c.ok, ok);
        EXPECT_EQ(c.rate, config.sampleRate);
        EXPECT_EQ(c.channels, config.channels);
        EXPECT_EQ(c.bitRate, config.bitRate);
    }
}

TEST(CodecConfig, MpegAudioHeadersAndTheirFaults)
{
    struct Case {
        const char* what;
        Bytes header;
        int layer; // 0: refused
        uint32_t rate;
        uint32_t bitRate;
        int channels;
        uint32_t frameSize;
    } cases[] = {
        {"MPEG-1 layer III, 128 kbit/s, 44.1 kHz, joint stereo", {0xFF, 0xFB, 0x90, 0x40}, 3, 44100, 128000, 2, 417},
        {"the same, padded", {0xFF, 0xFB, 0x92, 0x40}, 3, 44100, 128000, 2, 418},
        {"MPEG-1 layer II, 192 kbit/s, 48 kHz, mono", {0xFF, 0xFD, 0xA4, 0xC0}, 2, 48000, 192000, 1, 576},
        {"MPEG-2 layer III, 64 kbit/s, 24 kHz", {0xFF, 0xF3, 0x84, 0xC0}, 3, 24000, 64000, 1, 192},
        {"MPEG-1 layer I, 448 kbit/s, 32 kHz", {0xFF, 0xFF, 0xE8, 0x00}, 1, 32000, 448000, 2, 672},
        {"no frame sync", {0xFF, 0x7B, 0x90, 0x40}, 0, 0, 0, 0, 0},
        {"reserved version", {0xFF, 0xEB, 0x90, 0x40}, 0, 0, 0, 0, 0},
        {"reserved layer", {0xFF, 0xF9, 0x90, 0x40}, 0, 0, 0, 0, 0},
        {"bad bit rate", {0xFF, 0xFB, 0xF0, 0x40}, 0, 0, 0, 0, 0},
        {"reserved rate", {0xFF, 0xFB, 0x9C, 0x40}, 0, 0, 0, 0, 0},
        {"cut short", {0xFF, 0xFB, 0x90}, 0, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MpegAudioHeader header;
        EXPECT_EQ(c.layer != 0, ParseMpegAudioHeader(c.header.data(), c.header.size(), &header));
        EXPECT_EQ(c.layer, header.layer);
        EXPECT_EQ(c.rate, header.sampleRate);
        EXPECT_EQ(c.bitRate, header.bitRate);
        EXPECT_EQ(c.channels, header.channels);
        EXPECT_EQ(c.frameSize, header.frameSize);
    }
}

TEST(CodecConfig, PcmWidthsComeFromTheFieldsThatStateThem)
{
    struct Case {
        const char* what;
        const char* code;
        PcmEntryFields fields;
        uint16_t bits; // 0: no pin
        bool bigEndian;
    };
    const auto fields = [](uint16_t version, uint16_t sampleSize, uint32_t perPacket, uint32_t lpcmBits,
                           uint32_t lpcmFlags, int enda, uint8_t pcmcBits, uint8_t pcmcFlags) {
        PcmEntryFields f;
        f.version = version;
        f.sampleSize = sampleSize;
        f.channels = 2;
        f.bytesPerPacket = perPacket;
        f.lpcmBits = lpcmBits;
        f.lpcmFlags = lpcmFlags;
        f.littleEndianBox = enda;
        f.pcmcBits = pcmcBits;
        f.pcmcFlags = pcmcFlags;
        return f;
    };
    const Case cases[] = {
        {"in24 says 16 in its version 0 field", "in24", fields(1, 16, 3, 0, 0, -1, 0, 0), 24, true},
        {"in24 with enda little-endian", "in24", fields(1, 16, 3, 0, 0, 1, 0, 0), 24, false},
        {"twos, version 1 bytes per packet", "twos", fields(1, 16, 1, 0, 0, -1, 0, 0), 8, true},
        {"sowt, version 0", "sowt", fields(0, 16, 0, 0, 0, -1, 0, 0), 16, false},
        {"lpcm 24-bit little-endian", "lpcm", fields(2, 16, 0, 24, 0x0C, -1, 0, 0), 24, false},
        {"ipcm 32-bit big-endian", "ipcm", fields(0, 16, 0, 0, 0, -1, 32, 0), 32, true},
        {"fpcm 64-bit little-endian", "fpcm", fields(0, 16, 0, 0, 0, -1, 64, 1), 64, false},
        {"twos of 0 bits", "twos", fields(0, 0, 0, 0, 0, -1, 0, 0), 0, false},
        {"lpcm integers of 64 bits", "lpcm", fields(2, 16, 0, 64, 0x04, -1, 0, 0), 0, false},
        {"lpcm of 12 bits", "lpcm", fields(2, 16, 0, 12, 0x04, -1, 0, 0), 0, false},
        {"fpcm of 16 bits", "fpcm", fields(0, 16, 0, 0, 0, -1, 16, 0), 0, false},
        {"ipcm without pcmC", "ipcm", fields(0, 16, 0, 0, 0, -1, 0, 0), 0, false},
        {"not PCM", "alac", fields(0, 16, 0, 0, 0, -1, 0, 0), 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        char code[5] = {};
        std::copy(c.code, c.code + 4, code);
        PcmFormat format;
        EXPECT_EQ(c.bits != 0, ResolvePcmFormat(FourCC(code), c.fields, &format));
        EXPECT_EQ(c.bits, format.bitsPerSample);
        EXPECT_EQ(c.bigEndian, format.bigEndian);
    }
}

} // namespace
