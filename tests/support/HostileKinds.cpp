// Hostile movies of the stream kinds beyond H.264 and AAC: HEVC, PCM, AC-3 and
// E-AC-3 entries whose configuration boxes are cut, empty or state widths and
// sizes that cannot be; 64-bit offsets and box sizes that point past their box
// or the file.
#include "tests/support/HostileMovieFamilies.h"

#include "tests/support/BoxBuilder.h"

namespace hostile {

namespace {

// A well-formed "hvcC" payload: Main profile, 4-byte lengths, a VPS, an SPS
// and a PPS of a few bytes each.
std::vector<uint8_t> HevcConfigPayload(uint8_t lengthSizeMinusOne = 3, uint8_t arrays = 3)
{
    return {1,      0x01, 0x60, 0, 0,    0,    0x90, 0,    0, 0, 0,
            0,      93,   0xF0, 0, 0xFC, 0xFD, 0xF8, 0xF8, 0, 0, uint8_t(0x0C | lengthSizeMinusOne),
            arrays, 0xA0, 0,    1, 0,    2,    0x40, 0x01, // VPS
            0xA1,   0,    1,    0, 3,    0x42, 0x01, 0x01, // SPS
            0xA2,   0,    1,    0, 2,    0x44, 0x01};      // PPS
}

std::vector<uint8_t> Box(const std::string& type, const std::vector<uint8_t>& payload)
{
    BoxBuilder box;
    box.Begin(type).Bytes(payload).End();
    return box.Data();
}

// The base movie with its video track turned HEVC, the "hvcC" payload given.
std::vector<uint8_t> HevcMovie(const std::vector<uint8_t>* payload)
{
    MovieSpec spec = BaseSpec();
    spec.tracks[0].format = "hvc1";
    if (payload)
        spec.tracks[0].entryBoxes = Box("hvcC", *payload);
    return BuildMovie(spec);
}

// The base movie with its sound track of another format, with these boxes.
std::vector<uint8_t> SoundMovie(const std::string& format, const std::vector<uint8_t>& boxes,
                                uint16_t bitsPerSample = 16, uint16_t version = 0, std::vector<uint8_t> extension = {})
{
    MovieSpec spec = BaseSpec();
    TrackSpec& sound = spec.tracks[1];
    sound.format = format;
    sound.audioSpecificConfig.clear();
    sound.entryBoxes = boxes;
    sound.bitsPerSample = bitsPerSample;
    sound.soundVersion = version;
    sound.soundExtension = std::move(extension);
    return BuildMovie(spec);
}

// Version 2 sound fields: rate 48 kHz as a double, two channels, bits, flags.
std::vector<uint8_t> LpcmFields(uint32_t bits, uint32_t flags)
{
    BoxBuilder fields;
    fields.U32(72).U64(0x40E7700000000000ull).U32(2).U32(0x7F000000).U32(bits).U32(flags).U32(0).U32(1);
    return fields.Data();
}

std::vector<uint8_t> PcmConfig(uint8_t flags, uint8_t bits)
{
    return Box("pcmC", {0, 0, 0, 0, flags, bits});
}

// The video track box with a 64-bit size of size bytes in front of its payload.
std::vector<uint8_t> LargeSizeTrack(const MovieEdit& base, int64_t sizeChange)
{
    const std::vector<uint8_t> track = base.Copy(kVideoTrack);
    BoxBuilder box;
    box.U32(1).Text("trak").U64(uint64_t(int64_t(track.size()) + 8 + sizeChange));
    box.Bytes(std::vector<uint8_t>(track.begin() + 8, track.end()));
    return box.Data();
}

} // namespace

// A broken configuration gives its track no pin, and nothing else changes.
void AddStreamKindMovies(Family& family)
{
    const std::vector<uint8_t> hevc = HevcConfigPayload();
    family.Add("hevc-well-formed", HevcMovie(&hevc), kBasePins);
    family.Add("hevc-without-configuration", HevcMovie(nullptr), 1);
    const std::vector<uint8_t> empty;
    family.Add("hevc-configuration-empty", HevcMovie(&empty), 1);
    for (size_t cut : {size_t(1), size_t(22), size_t(23), size_t(25), size_t(28), size_t(29), hevc.size() - 1}) {
        const std::vector<uint8_t> shorter(hevc.begin(), hevc.begin() + std::ptrdiff_t(cut));
        family.Add("hevc-configuration-cut-at-" + std::to_string(cut), HevcMovie(&shorter), 1);
    }
    const std::vector<uint8_t> threeByteLengths = HevcConfigPayload(2);
    family.Add("hevc-length-size-3", HevcMovie(&threeByteLengths), 1);
    const std::vector<uint8_t> manyArrays = HevcConfigPayload(3, 255);
    family.Add("hevc-array-count-past-box", HevcMovie(&manyArrays), 1);
    std::vector<uint8_t> longUnit = hevc;
    longUnit[27] = 0xFF; // the VPS length
    family.Add("hevc-unit-length-past-box", HevcMovie(&longUnit), 1);

    family.Add("ac3-well-formed", SoundMovie("ac-3", Box("dac3", {0x10, 0x3D, 0xE0})), kBasePins);
    family.Add("ac3-configuration-of-2-bytes", SoundMovie("ac-3", Box("dac3", {0x10, 0x3D})), 1);
    family.Add("ac3-configuration-empty", SoundMovie("ac-3", Box("dac3", {})), 1);
    family.Add("ac3-reserved-rate", SoundMovie("ac-3", Box("dac3", {0xD0, 0x3D, 0xE0})), 1);
    family.Add("ac3-without-configuration", SoundMovie("ac-3", {}), 1);
    family.Add("eac3-well-formed", SoundMovie("ec-3", Box("dec3", {0x14, 0x00, 0x20, 0x04, 0x00})), kBasePins);
    family.Add("eac3-configuration-too-short", SoundMovie("ec-3", Box("dec3", {0x14, 0x00, 0x20})), 1);

    family.Add("pcm-sowt-well-formed", SoundMovie("sowt", {}), kBasePins);
    family.Add("pcm-twos-of-0-bits", SoundMovie("twos", {}, 0), 1);
    family.Add("pcm-lpcm-64-bit-integers", SoundMovie("lpcm", {}, 16, 2, LpcmFields(64, 0x0C)), 1);
    family.Add("pcm-lpcm-0-bits", SoundMovie("lpcm", {}, 16, 2, LpcmFields(0, 0x0C)), 1);
    family.Add("pcm-lpcm-fields-cut", SoundMovie("lpcm", {}, 16, 2, {0, 0, 0, 72, 0x40}), 1);
    family.Add("pcm-ipcm-of-0-bits", SoundMovie("ipcm", PcmConfig(1, 0)), 1);
    family.Add("pcm-ipcm-64-bit-integers", SoundMovie("ipcm", PcmConfig(1, 64)), 1);
    family.Add("pcm-fpcm-of-16-bits", SoundMovie("fpcm", PcmConfig(1, 16)), 1);
    family.Add("pcm-ipcm-without-configuration", SoundMovie("ipcm", {}), 1);
    family.Add("pcm-configuration-cut", SoundMovie("ipcm", Box("pcmC", {0, 0, 0, 0, 1})), 1);
    family.Add("pcm-enda-empty", SoundMovie("in24", Box("enda", {})), kBasePins);

    // Offsets and sizes that reach past what holds them.
    MovieSpec offsets = BaseSpec();
    offsets.tracks[0].chunkOffsets64 = true;
    family.Add("co64-well-formed", BuildMovie(offsets), kBasePins);
    MovieEdit co64(BuildMovie(offsets));
    co64.PutIn(kVideoTable + ".co64", 12, 0x40000000);
    family.Add("co64-count-past-box", co64, 1);
    MovieSpec constant = BaseSpec();
    constant.tracks[1].constantSampleSize = 8;
    family.Add("constant-sample-size", BuildMovie(constant), kBasePins);

    const MovieEdit base = BaseEdit();
    family.Add("track-64-bit-size", Replaced(kVideoTrack, LargeSizeTrack(base, 0)), kBasePins);
    // A walk that meets a box it cannot use ends: the tracks after it are lost.
    family.Add("track-64-bit-size-one-too-long", Replaced(kVideoTrack, LargeSizeTrack(base, 1)), 1, 1);
    family.Add("track-64-bit-size-past-file", Replaced(kVideoTrack, LargeSizeTrack(base, int64_t(1) << 40)), 0, 0);
    family.Add("track-64-bit-size-below-16",
               Replaced(kVideoTrack, LargeSizeTrack(base, -int64_t(base.Copy(kVideoTrack).size()))), 0, 0);
}

} // namespace hostile
