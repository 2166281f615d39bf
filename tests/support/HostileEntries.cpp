// Hostile movies whose sample descriptions lie: entries cut short or of the
// wrong kind, H.264 configurations with lengths past their box, elementary
// stream descriptors with bad lengths and values, handler names too long.
#include "tests/support/HostileMovieFamilies.h"

#include "tests/support/BoxBuilder.h"

#include <initializer_list>
#include <utility>

namespace hostile {

namespace {

uint32_t Code(const char (&code)[5])
{
    return uint32_t(uint8_t(code[0])) << 24 | uint32_t(uint8_t(code[1])) << 16 | uint32_t(uint8_t(code[2])) << 8 |
           uint32_t(uint8_t(code[3]));
}

// Fields of the base movie's "avcC" box, from its first byte.
constexpr size_t kSpsCount = 13;
constexpr size_t kSpsLength = 14;
constexpr size_t kPpsCount = 21;
constexpr size_t kPpsLength = 22;

// Fields of the base movie's "esds" box (descriptor lengths in 4-byte form).
constexpr size_t kEsTag = 12;
constexpr size_t kEsLength = 13;
constexpr size_t kEsFlags = 19;
constexpr size_t kDecoderConfigLength = 21;
constexpr size_t kSpecificInfoTag = 38;
constexpr size_t kSpecificInfoLength = 39;

// The sound description version, from the first byte of the entry.
constexpr size_t kSoundVersion = 16;

// Bit fields, most significant bit first, padded with zero bits to whole bytes.
std::vector<uint8_t> PackBits(std::initializer_list<std::pair<uint32_t, int>> fields)
{
    std::vector<uint8_t> bytes;
    int used = 8;
    for (const auto& field : fields) {
        for (int bit = field.second - 1; bit >= 0; --bit) {
            if (used == 8) {
                bytes.push_back(0);
                used = 0;
            }
            bytes.back() = uint8_t(bytes.back() | ((field.first >> bit) & 1) << (7 - used));
            ++used;
        }
    }
    return bytes;
}

MovieEdit EditWith(const std::string& path, size_t offset, std::initializer_list<uint8_t> bytes)
{
    MovieEdit edit = BaseEdit();
    size_t at = edit.Box(path).start + offset;
    for (uint8_t byte : bytes)
        edit.Put8(at++, byte);
    return edit;
}

std::vector<uint8_t> MovieWithConfig(std::vector<uint8_t> audioSpecificConfig)
{
    MovieSpec spec = BaseSpec();
    spec.tracks[1].audioSpecificConfig = std::move(audioSpecificConfig);
    return BuildMovie(spec);
}

std::vector<uint8_t> MovieWithParameterSets(size_t spsSize, size_t ppsSize)
{
    MovieSpec spec = BaseSpec();
    spec.tracks[0].sps.assign(spsSize, 0x67);
    spec.tracks[0].pps.assign(ppsSize, 0x68);
    return BuildMovie(spec);
}

} // namespace

// Entries cut short keep their format code, so the pin is made with what
// could be read; an entry of the other kind's format makes none.
void AddSampleEntryMovies(Family& family)
{
    family.Add("video-entry-of-8-bytes", Patched(kVideoEntry, 0, 8), kBasePins);
    family.Add("video-entry-cut-in-visual-fields", Patched(kVideoEntry, 0, 8 + 40), kBasePins);
    family.Add("sound-entry-of-8-bytes", Patched(kSoundEntry, 0, 8), kBasePins);
    family.Add("sound-entry-cut-in-sound-fields", Patched(kSoundEntry, 0, 8 + 20), kBasePins);
    for (const uint16_t version : {1, 2, 0xFFFF}) {
        MovieEdit edit = BaseEdit();
        edit.Put16(edit.Box(kSoundEntry).start + kSoundVersion, version);
        family.Add("sound-version-" + std::to_string(version) + "-without-its-fields", edit, kBasePins);
    }
    MovieSpec version1 = BaseSpec();
    version1.tracks[1].soundVersion = 1;
    family.Add("sound-version-1", BuildMovie(version1), kBasePins);
    MovieSpec version2 = BaseSpec();
    version2.tracks[1].soundVersion = 2;
    version2.tracks[1].decoderConfigInWave = true;
    family.Add("sound-version-2-config-in-wave", BuildMovie(version2), kBasePins);
    MovieSpec noRate = BaseSpec();
    noRate.tracks[1].audioSpecificConfig.clear();
    noRate.tracks[1].sampleRate = 0;
    noRate.tracks[1].channels = 0;
    family.Add("sound-rate-and-channels-0-without-config", BuildMovie(noRate), kBasePins);

    family.Add("avc-format-in-sound-track", Patched(kSoundEntry, 4, Code("avc1")), 1);
    family.Add("aac-format-in-video-track", Patched(kVideoEntry, 4, Code("mp4a")), 1);
    family.Add("mpeg4-video-format-with-avc-configuration", Patched(kVideoEntry, 4, Code("mp4v")), kBasePins);
    family.Add("unknown-video-format", Patched(kVideoEntry, 4, Code("hvc1")), 1);
    // The text track turned video: its short entry holds no visual fields.
    family.Add("text-entry-in-video-track", Patched("moov.trak3.mdia.hdlr", 16, Code("vide")), kBasePins);
}

// Parameter sets are taken only whole; large ones grow the format block.
void AddAvcConfigMovies(Family& family)
{
    family.Add("of-8-bytes", Patched(kAvcConfig, 0, 8), kBasePins);
    family.Add("cut-after-6-bytes", Patched(kAvcConfig, 0, 8 + 6), kBasePins);
    family.Add("sps-length-past-box", EditWith(kAvcConfig, kSpsLength, {0xFF, 0xFF}), kBasePins);
    family.Add("sps-length-one-past-box", EditWith(kAvcConfig, kSpsLength, {0x00, 0x0D}), kBasePins);
    family.Add("pps-length-past-box", EditWith(kAvcConfig, kPpsLength, {0xFF, 0xFF}), kBasePins);
    family.Add("pps-length-one-past-box", EditWith(kAvcConfig, kPpsLength, {0x00, 0x05}), kBasePins);
    family.Add("sps-length-0", EditWith(kAvcConfig, kSpsLength, {0x00, 0x00}), kBasePins);
    family.Add("sps-count-0", EditWith(kAvcConfig, kSpsCount, {0xE0}), kBasePins);
    family.Add("sps-count-31", EditWith(kAvcConfig, kSpsCount, {0xFF}), kBasePins);
    family.Add("pps-count-0", EditWith(kAvcConfig, kPpsCount, {0x00}), kBasePins);
    family.Add("pps-count-255", EditWith(kAvcConfig, kPpsCount, {0xFF}), kBasePins);
    // 104 bytes of sets fill the 112-byte block with its two start codes.
    family.Add("sets-filling-the-format-block", MovieWithParameterSets(100, 4), kBasePins);
    family.Add("sets-one-byte-past-the-format-block", MovieWithParameterSets(101, 4), kBasePins);
    family.Add("sps-of-300-bytes", MovieWithParameterSets(300, 4), kBasePins);
    family.Add("largest-parameter-sets", MovieWithParameterSets(65535, 65535), kBasePins);
}

// The descriptors' lengths are cut at what holds them; a configuration that
// cannot be read leaves the sample entry's own values.
void AddDecoderConfigMovies(Family& family)
{
    family.Add("es-length-past-box", EditWith(kDecoderConfig, kEsLength, {0xFF, 0xFF, 0xFF, 0x7F}), kBasePins);
    family.Add("es-length-continued-past-4-bytes", EditWith(kDecoderConfig, kEsLength, {0x80, 0x80, 0x80, 0x80}),
               kBasePins);
    family.Add("decoder-config-length-past-box",
               EditWith(kDecoderConfig, kDecoderConfigLength, {0xFF, 0xFF, 0xFF, 0x7F}), kBasePins);
    family.Add("specific-info-length-past-box", EditWith(kDecoderConfig, kSpecificInfoLength, {0xFF, 0xFF, 0xFF, 0x7F}),
               kBasePins);
    family.Add("specific-info-length-0", EditWith(kDecoderConfig, kSpecificInfoLength, {0x80, 0x80, 0x80, 0x00}),
               kBasePins);
    family.Add("no-specific-info", EditWith(kDecoderConfig, kSpecificInfoTag, {0x07}), kBasePins);
    family.Add("no-es-descriptor", EditWith(kDecoderConfig, kEsTag, {0x13}), kBasePins);
    family.Add("es-url-past-box", EditWith(kDecoderConfig, kEsFlags, {0x40}), kBasePins);
    family.Add("es-every-optional-field", EditWith(kDecoderConfig, kEsFlags, {0xE0}), kBasePins);
    family.Add("only-version-and-flags", Replaced(kDecoderConfig, FullBox("esds", {0})), kBasePins);

    // AudioSpecificConfig: object type (5 bits, 31 escapes to 6 more), rate
    // index (4 bits, 15 for an explicit 24-bit rate), channel configuration.
    family.Add("explicit-rate-ffffff", MovieWithConfig(PackBits({{2, 5}, {15, 4}, {0xFFFFFF, 24}, {2, 4}})), kBasePins);
    family.Add("explicit-rate-0", MovieWithConfig(PackBits({{2, 5}, {15, 4}, {0, 24}, {2, 4}})), kBasePins);
    family.Add("reserved-rate-index-13", MovieWithConfig(PackBits({{2, 5}, {13, 4}, {2, 4}})), kBasePins);
    family.Add("channel-configuration-0", MovieWithConfig(PackBits({{2, 5}, {4, 4}, {0, 4}})), kBasePins);
    family.Add("channel-configuration-15", MovieWithConfig(PackBits({{2, 5}, {4, 4}, {15, 4}})), kBasePins);
    family.Add("object-type-escape", MovieWithConfig(PackBits({{31, 5}, {10, 6}, {3, 4}, {1, 4}})), kBasePins);
    family.Add("config-of-one-byte", MovieWithConfig({0x12}), kBasePins);
}

// Handler names are cut to what the record holds; a media handler too short
// for its type leaves the track without a kind.
void AddHandlerMovies(Family& family)
{
    MovieSpec longName = BaseSpec();
    longName.tracks[1].dataHandlerName = std::string(200, 'n');
    family.Add("data-handler-name-of-200-bytes", BuildMovie(longName), kBasePins);
    family.Add("data-handler-without-name", Replaced(kSoundInfo + ".hdlr", FullBox("hdlr", {0, 0, 0, 0, 0})),
               kBasePins);
    family.Add("data-handler-shorter-than-its-fields", Replaced(kSoundInfo + ".hdlr", FullBox("hdlr", {0, 0})),
               kBasePins);
    family.Add("media-handler-cut-before-type", Replaced(kVideoMedia + ".hdlr", FullBox("hdlr", {0})), 1);
    family.Add("text-handler-in-sound-track", Patched(kSoundMedia + ".hdlr", 16, Code("text")), 1);
}

} // namespace hostile
