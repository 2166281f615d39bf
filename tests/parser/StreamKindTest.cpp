// The kinds beyond H.264 and AAC, over ffmpeg's fixture movies: what the
// sample entry reads equals what ffprobe reads, the media type carries it, and
// the codec pieces turn the stored samples into what ffmpeg decodes.
#include "framework/ComPtr.h"
#include "parser/MpegAudioHeader.h"
#include "parser/SampleDescription.h"
#include "parser/SoundTypeBuilders.h"
#include "parser/StreamTypes.h"
#include "parser/VideoTypeBuilders.h"
#include "streams/PcmConversion.h"
#include "tests/parser/FakeParserHost.h"
#include "tests/support/BoxBuilder.h"
#include "tests/support/Fixtures.h"
#include "tests/support/Probe.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using Bytes = std::vector<uint8_t>;

// The first sample entry of a one-track fixture, read as the parser reads it.
struct FixtureEntry {
    explicit FixtureEntry(const std::string& name) : path(FixturePath(name)), probe(path)
    {
        const Bytes bytes = ReadFileBytes(path);
        const std::string text(bytes.begin(), bytes.end());
        const size_t stsd = text.find("stsd");
        EXPECT_NE(std::string::npos, stsd) << name;
        FILE* file = std::fopen(path.c_str(), "rb");
        if (stsd == std::string::npos || !file || stsd < 4)
            return;
        const int64_t size =
            int64_t(bytes[stsd - 4]) << 24 | bytes[stsd - 3] << 16 | bytes[stsd - 2] << 8 | bytes[stsd - 1];
        BoxReader reader(file);
        BoxCursor box(&reader, int64_t(stsd) + 4, int64_t(stsd) - 4 + size);
        const HandlerKind kind = probe.Stream(0, "codec_type") == "video" ? HandlerKind::Video : HandlerKind::Sound;
        ReadSampleEntry(box, kind, movie, track, &entry);
        std::fclose(file);
    }
    Bytes Expected(const std::string& suffix) const { return ReadFileBytes(path + ".s0." + suffix); }
    uint64_t Probed(const char* key) const { return probe.StreamNumber(0, key); }

    std::string path;
    Probe probe;
    MovieRecord movie;
    TrackRecord track;
    SampleEntry entry;
};

// The NAL unit types behind the start codes of a parameter-set block.
std::vector<int> StartCodeUnitTypes(const Bytes& block)
{
    std::vector<int> types;
    for (size_t at = 0; at + 4 < block.size(); ++at)
        if (block[at] == 0 && block[at + 1] == 0 && block[at + 2] == 0 && block[at + 3] == 1)
            types.push_back(block[at + 4] >> 1 & 0x3F);
    return types;
}

TEST(StreamKinds, HevcEntriesGiveParameterSetsProfileAndLevel)
{
    for (const char* name : {"hevc-hvc1.mp4", "hevc-hev1.mp4"}) {
        SCOPED_TRACE(name);
        FixtureEntry fixture(name);
        const SampleEntry& entry = fixture.entry;
        ASSERT_EQ(EntryKind::Hevc, entry.kind);
        EXPECT_EQ(fixture.Probed("width"), uint64_t(entry.width));
        EXPECT_EQ(fixture.Probed("height"), uint64_t(entry.height));
        EXPECT_EQ(fixture.Probed("level"), entry.level);
        EXPECT_EQ(1, entry.profile); // Main
        EXPECT_EQ(4, entry.nalLengthSize);
        const Bytes sets(entry.configuration.data.get(), entry.configuration.data.get() + entry.configuration.size);
        EXPECT_EQ((std::vector<int>{32, 33, 34}), StartCodeUnitTypes(sets));

        FakeParserHost host;
        ComPtr<IPin> pin;
        ASSERT_EQ(S_OK, CreateHevcPin(entry, host, pin.Put()));
        ASSERT_EQ(1u, host.requests.size());
        const PinRequest& request = host.requests[0];
        EXPECT_EQ("QT HEVC Out", request.name);
        EXPECT_TRUE(request.type.subtype == HevcStreamSubtype);
        EXPECT_TRUE(request.type.formattype == FORMAT_MPEG2Video);
        const MPEG2VIDEOINFO* info = reinterpret_cast<const MPEG2VIDEOINFO*>(request.type.pbFormat);
        EXPECT_EQ(0x43564548u, info->hdr.bmiHeader.biCompression);
        EXPECT_EQ(entry.width, info->hdr.bmiHeader.biWidth);
        EXPECT_EQ(entry.height, info->hdr.bmiHeader.biHeight);
        EXPECT_EQ(1u, info->dwProfile);
        EXPECT_EQ(fixture.Probed("level"), info->dwLevel);
        EXPECT_EQ(0u, info->dwFlags);
        ASSERT_EQ(sets.size(), info->cbSequenceHeader);
        const BYTE* header = reinterpret_cast<const BYTE*>(info->dwSequenceHeader);
        EXPECT_EQ(sets, Bytes(header, header + info->cbSequenceHeader));
    }
}

TEST(StreamKinds, Mpeg4VideoTypeCarriesTheDecoderConfiguration)
{
    FixtureEntry fixture("mp4v.mp4");
    const Bytes extradata = fixture.probe.StreamBytes(0, "extradata");
    ASSERT_FALSE(extradata.empty());
    ASSERT_EQ(EntryKind::MpegVideo, fixture.entry.kind);
    AM_MEDIA_TYPE type;
    ASSERT_EQ(S_OK, BuildMpeg4VideoType(fixture.entry, &type));
    EXPECT_TRUE(type.subtype == Mp4vStreamSubtype);
    EXPECT_TRUE(type.formattype == FORMAT_VideoInfo);
    ASSERT_EQ(sizeof(VIDEOINFOHEADER) + extradata.size(), type.cbFormat);
    const VIDEOINFOHEADER* info = reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat);
    EXPECT_EQ(0x5634504Du, info->bmiHeader.biCompression);
    EXPECT_EQ(LONG(fixture.Probed("width")), info->bmiHeader.biWidth);
    EXPECT_EQ(LONG(fixture.Probed("height")), info->rcSource.bottom);
    EXPECT_EQ(extradata, Bytes(type.pbFormat + sizeof(VIDEOINFOHEADER), type.pbFormat + type.cbFormat));
    CoTaskMemFree(type.pbFormat);
}

TEST(StreamKinds, PcmEntriesConvertToWhatFfmpegDecodes)
{
    struct Case {
        const char* name;
        bool isFloat;
        bool extensible; // more than two channels or more than 16 bits
    } cases[] = {
        {"pcm-s16le.mov", false, false},    {"pcm-s16be.mov", false, false},    {"pcm-s24le.mov", false, true},
        {"pcm-s24be.mov", false, true},     {"pcm-s32le.mov", false, true},     {"pcm-f32le.mov", true, true},
        {"pcm-f64be.mov", true, true},      {"pcm-u8.mov", false, false},       {"pcm-s8.mov", false, false},
        {"pcm-s16le-6ch.mov", false, true}, {"pcm-s24le-96k.mov", false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FixtureEntry fixture(c.name);
        const SampleEntry& entry = fixture.entry;
        ASSERT_EQ(EntryKind::Pcm, entry.kind);
        const uint16_t bits = uint16_t(fixture.Probed("bits_per_sample"));
        EXPECT_EQ(bits, entry.pcm.bitsPerSample);
        EXPECT_EQ(fixture.Probed("channels"), uint64_t(entry.pcm.channels));
        EXPECT_EQ(fixture.Probed("sample_rate"), entry.sampleRate);
        EXPECT_EQ(c.isFloat, entry.pcm.isFloat);
        EXPECT_EQ(int32_t(bits), fixture.movie.audioSampleSize);

        Bytes samples = fixture.Expected("raw");
        ConvertPcmToPlatform(entry.pcm, samples.data(), samples.size());
        EXPECT_TRUE(samples == fixture.Expected("pcm"));

        FakeParserHost host;
        ComPtr<IPin> pin;
        ASSERT_EQ(S_OK, CreatePcmPin(entry, host, pin.Put()));
        const PinRequest& request = host.requests[0];
        EXPECT_EQ("QT PCM Out", request.name);
        EXPECT_TRUE(request.type.subtype == (c.isFloat ? FloatStreamSubtype : PcmStreamSubtype));
        const WAVEFORMATEX* wave = reinterpret_cast<const WAVEFORMATEX*>(request.type.pbFormat);
        EXPECT_EQ(c.extensible ? sizeof(WAVEFORMATEXTENSIBLE) : sizeof(WAVEFORMATEX), request.type.cbFormat);
        EXPECT_EQ(c.extensible ? WAVE_FORMAT_EXTENSIBLE : WAVE_FORMAT_PCM, wave->wFormatTag);
        EXPECT_EQ(entry.pcm.channels, wave->nChannels);
        EXPECT_EQ(entry.sampleRate, wave->nSamplesPerSec);
        EXPECT_EQ(bits, wave->wBitsPerSample);
        EXPECT_EQ(entry.pcm.channels * bits / 8, wave->nBlockAlign);
        EXPECT_EQ(wave->nBlockAlign * wave->nSamplesPerSec, wave->nAvgBytesPerSec);
        if (c.extensible) {
            const WAVEFORMATEXTENSIBLE* extensible = reinterpret_cast<const WAVEFORMATEXTENSIBLE*>(wave);
            EXPECT_EQ(22, wave->cbSize);
            EXPECT_EQ(bits, extensible->Samples.wValidBitsPerSample);
            EXPECT_EQ(entry.pcm.channels == 6 ? 0x3Fu : 0x4u, extensible->dwChannelMask);
            EXPECT_TRUE(extensible->SubFormat == request.type.subtype);
        }
    }
}

TEST(StreamKinds, CompressedSoundEntriesMatchFfprobe)
{
    struct Case {
        const char* name;
        EntryKind kind;
        int layer; // MPEG audio
        const char* pinName;
        GUID subtype;
        WORD formatTag;
    } cases[] = {
        {"mp3.mp4", EntryKind::MpegAudio, 3, "QT MP3 Out", Mp3StreamSubtype, WAVE_FORMAT_MPEGLAYER3},
        {"mp3.mov", EntryKind::MpegAudio, 3, "QT MP3 Out", Mp3StreamSubtype, WAVE_FORMAT_MPEGLAYER3},
        {"mp2.mp4", EntryKind::MpegAudio, 2, "QT MP3 Out", MpegAudioStreamSubtype, WAVE_FORMAT_MPEG},
        {"ac3.mp4", EntryKind::Ac3, 0, "QT AC3 Out", Ac3StreamSubtype, kDolbyAc3FormatTag},
        {"eac3.mp4", EntryKind::Eac3, 0, "QT E-AC3 Out", Eac3StreamSubtype, kDolbyAc3FormatTag},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FixtureEntry fixture(c.name);
        const SampleEntry& entry = fixture.entry;
        ASSERT_EQ(c.kind, entry.kind);
        FakeParserHost host;
        ComPtr<IPin> pin;
        if (c.kind == EntryKind::MpegAudio) {
            const Bytes frames = fixture.Expected("raw");
            MpegAudioHeader frame;
            ASSERT_TRUE(ParseMpegAudioHeader(frames.data(), frames.size(), &frame));
            EXPECT_EQ(c.layer, frame.layer);
            EXPECT_EQ(fixture.Probed("sample_rate"), frame.sampleRate);
            EXPECT_EQ(fixture.Probed("channels"), uint64_t(frame.channels));
            // ffprobe's rate is the average over the packets, padding included.
            EXPECT_NEAR(double(fixture.Probed("bit_rate")), double(frame.bitRate), frame.bitRate / 20.0);
            ASSERT_EQ(S_OK, CreateMpegAudioPin(frame, host, pin.Put()));
        } else {
            EXPECT_EQ(fixture.Probed("sample_rate"), entry.sampleRate);
            EXPECT_EQ(fixture.Probed("channels"), uint64_t(entry.channels));
            EXPECT_EQ(fixture.Probed("bit_rate"), entry.bitRate);
            ASSERT_EQ(S_OK, CreateDolbyAudioPin(entry, host, pin.Put()));
            // The record, and so the track text, shows the true values too.
            EXPECT_EQ(fixture.Probed("sample_rate"), fixture.movie.audioSampleRate);
            EXPECT_EQ(fixture.Probed("channels"), uint64_t(fixture.movie.audioChannels));
        }
        const PinRequest& request = host.requests[0];
        EXPECT_EQ(c.pinName, request.name);
        EXPECT_TRUE(request.type.subtype == c.subtype);
        const WAVEFORMATEX* wave = reinterpret_cast<const WAVEFORMATEX*>(request.type.pbFormat);
        EXPECT_EQ(c.formatTag, wave->wFormatTag);
        EXPECT_EQ(fixture.Probed("sample_rate"), wave->nSamplesPerSec);
        EXPECT_EQ(fixture.Probed("channels"), wave->nChannels);
        EXPECT_NEAR(double(fixture.Probed("bit_rate") / 8), double(wave->nAvgBytesPerSec),
                    wave->nAvgBytesPerSec / 20.0);
        EXPECT_EQ(sizeof(WAVEFORMATEX) + wave->cbSize, request.type.cbFormat);
    }
}

TEST(StreamKinds, TrackTextShowsTheTrueSoundAndPictureValues)
{
    struct Case {
        const char* name;
        const char* line;
    } cases[] = {
        {"hevc-hvc1.mp4", "Media Info: Type:'vide' -- subType:'hvc1' -- Sample count:25\n"
                          "Handler name: ''\nVideo Info:Image size: 160 x 120 --pixel depth: 24\n"},
        {"pcm-s24le-96k.mov", "subType:'lpcm' -- Sample count:96000\n"},
        {"pcm-s24le-96k.mov", "Audio Info: Channel number: 1--Sample rate: 96000 --sound depth: 24\n"},
        {"pcm-s24be.mov", "Audio Info: Channel number: 1--Sample rate: 48000 --sound depth: 24\n"},
        {"pcm-s16le-6ch.mov", "Audio Info: Channel number: 6--Sample rate: 48000 --sound depth: 16\n"},
        {"ac3.mp4", "subType:'ac-3'"},
        {"ac3.mp4", "Audio Info: Channel number: 6--Sample rate: 48000 --sound depth: 16\n"},
        {"eac3.mp4", "Audio Info: Channel number: 2--Sample rate: 48000 --sound depth: 16\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto parsed = ParseFile(FixturePath(c.name));
        EXPECT_NE(std::string::npos, parsed->Text().find(c.line)) << parsed->Text();
    }
}

} // namespace
