#include "parser/SoundTypeBuilders.h"

#include "parser/PinRequest.h"
#include "parser/StreamTypes.h"

namespace {

// KSDATAFORMAT_SUBTYPE_PCM and _IEEE_FLOAT share the values of the subtypes.
constexpr GUID kPcmSubFormat = PcmStreamSubtype;
constexpr GUID kFloatSubFormat = FloatStreamSubtype;

// The extensible block's fields after WAVEFORMATEX.
constexpr WORD kExtensibleExtraBytes = sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX);
constexpr WORD kMpeg1ExtraBytes = sizeof(MPEG1WAVEFORMAT) - sizeof(WAVEFORMATEX);

// Mono to 7.1 in the platform's channel order.
constexpr DWORD kChannelMasks[9] = {
    0,
    SPEAKER_FRONT_CENTER,
    SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT,
    SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT | SPEAKER_FRONT_CENTER,
    SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT | SPEAKER_BACK_LEFT | SPEAKER_BACK_RIGHT,
    SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT | SPEAKER_FRONT_CENTER | SPEAKER_BACK_LEFT | SPEAKER_BACK_RIGHT,
    SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT | SPEAKER_FRONT_CENTER | SPEAKER_LOW_FREQUENCY | SPEAKER_BACK_LEFT |
        SPEAKER_BACK_RIGHT,
    SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT | SPEAKER_FRONT_CENTER | SPEAKER_LOW_FREQUENCY | SPEAKER_BACK_LEFT |
        SPEAKER_BACK_RIGHT | SPEAKER_BACK_CENTER,
    SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT | SPEAKER_FRONT_CENTER | SPEAKER_LOW_FREQUENCY | SPEAKER_BACK_LEFT |
        SPEAKER_BACK_RIGHT | SPEAKER_SIDE_LEFT | SPEAKER_SIDE_RIGHT,
};

// The channel modes of the frame header as the MPEG-1 block names them.
constexpr WORD kMpegModes[4] = {ACM_MPEG_STEREO, ACM_MPEG_JOINTSTEREO, ACM_MPEG_DUALCHANNEL, ACM_MPEG_SINGLECHANNEL};
// No emphasis.
constexpr WORD kNoEmphasis = 1;

void FillWave(WAVEFORMATEX& wave, WORD tag, int32_t channels, uint32_t sampleRate, DWORD bytesPerSecond,
              WORD blockAlign, WORD bits, WORD extraBytes)
{
    wave.wFormatTag = tag;
    wave.nChannels = WORD(channels);
    wave.nSamplesPerSec = sampleRate;
    wave.nAvgBytesPerSec = bytesPerSecond;
    wave.nBlockAlign = blockAlign;
    wave.wBitsPerSample = bits;
    wave.cbSize = extraBytes;
}

} // namespace

DWORD ChannelMask(int32_t channels)
{
    return channels > 0 && channels < 9 ? kChannelMasks[channels] : 0;
}

HRESULT CreatePcmPin(const SampleEntry& entry, ParserHost& host, IPin** pin)
{
    if (!pin)
        return E_POINTER;
    *pin = nullptr;
    const PcmFormat& pcm = entry.pcm;
    const WORD blockAlign = WORD(pcm.BytesPerFrame());
    const DWORD bytesPerSecond = DWORD(blockAlign) * entry.sampleRate;
    const bool plain = !pcm.isFloat && pcm.channels <= 2 && (pcm.bitsPerSample == 8 || pcm.bitsPerSample == 16);
    const GUID& subtype = pcm.isFloat ? FloatStreamSubtype : PcmStreamSubtype;
    if (plain) {
        BYTE* block = AllocateFormat(sizeof(WAVEFORMATEX));
        if (block)
            FillWave(*reinterpret_cast<WAVEFORMATEX*>(block), WAVE_FORMAT_PCM, pcm.channels, entry.sampleRate,
                     bytesPerSecond, blockAlign, pcm.bitsPerSample, 0);
        return AddPin(host, "QT PCM Out", MEDIATYPE_Audio, subtype, FORMAT_WaveFormatEx, blockAlign, block,
                      sizeof(WAVEFORMATEX), pin);
    }
    BYTE* block = AllocateFormat(sizeof(WAVEFORMATEXTENSIBLE));
    if (block) {
        WAVEFORMATEXTENSIBLE& wave = *reinterpret_cast<WAVEFORMATEXTENSIBLE*>(block);
        FillWave(wave.Format, WAVE_FORMAT_EXTENSIBLE, pcm.channels, entry.sampleRate, bytesPerSecond, blockAlign,
                 pcm.bitsPerSample, kExtensibleExtraBytes);
        wave.Samples.wValidBitsPerSample = pcm.bitsPerSample;
        wave.dwChannelMask = ChannelMask(pcm.channels);
        wave.SubFormat = pcm.isFloat ? kFloatSubFormat : kPcmSubFormat;
    }
    return AddPin(host, "QT PCM Out", MEDIATYPE_Audio, subtype, FORMAT_WaveFormatEx, blockAlign, block,
                  sizeof(WAVEFORMATEXTENSIBLE), pin);
}

HRESULT CreateMpegAudioPin(const MpegAudioHeader& frame, ParserHost& host, IPin** pin)
{
    if (!pin)
        return E_POINTER;
    *pin = nullptr;
    const DWORD bytesPerSecond = frame.bitRate / 8;
    if (frame.layer == 3) {
        BYTE* block = AllocateFormat(sizeof(MPEGLAYER3WAVEFORMAT));
        if (block) {
            MPEGLAYER3WAVEFORMAT& wave = *reinterpret_cast<MPEGLAYER3WAVEFORMAT*>(block);
            FillWave(wave.wfx, WAVE_FORMAT_MPEGLAYER3, frame.channels, frame.sampleRate, bytesPerSecond, 1, 0,
                     MPEGLAYER3_WFX_EXTRA_BYTES);
            wave.wID = MPEGLAYER3_ID_MPEG;
            wave.fdwFlags = MPEGLAYER3_FLAG_PADDING_ISO;
            wave.nBlockSize = WORD(frame.frameSize);
            wave.nFramesPerBlock = 1;
        }
        return AddPin(host, "QT MP3 Out", MEDIATYPE_Audio, Mp3StreamSubtype, FORMAT_WaveFormatEx, 0, block,
                      sizeof(MPEGLAYER3WAVEFORMAT), pin);
    }
    BYTE* block = AllocateFormat(sizeof(MPEG1WAVEFORMAT));
    if (block) {
        MPEG1WAVEFORMAT& wave = *reinterpret_cast<MPEG1WAVEFORMAT*>(block);
        FillWave(wave.wfx, WAVE_FORMAT_MPEG, frame.channels, frame.sampleRate, bytesPerSecond, WORD(frame.frameSize), 0,
                 kMpeg1ExtraBytes);
        wave.fwHeadLayer = frame.layer == 1 ? ACM_MPEG_LAYER1 : ACM_MPEG_LAYER2;
        wave.dwHeadBitrate = frame.bitRate;
        wave.fwHeadMode = kMpegModes[frame.channelMode & 3];
        wave.wHeadEmphasis = kNoEmphasis;
        wave.fwHeadFlags = frame.mpeg1 ? ACM_MPEG_ID_MPEG1 : 0;
    }
    return AddPin(host, "QT MP3 Out", MEDIATYPE_Audio, MpegAudioStreamSubtype, FORMAT_WaveFormatEx, 0, block,
                  sizeof(MPEG1WAVEFORMAT), pin);
}

HRESULT CreateDolbyAudioPin(const SampleEntry& entry, ParserHost& host, IPin** pin)
{
    if (!pin)
        return E_POINTER;
    *pin = nullptr;
    const bool enhanced = entry.kind == EntryKind::Eac3;
    BYTE* block = AllocateFormat(sizeof(WAVEFORMATEX));
    if (block)
        FillWave(*reinterpret_cast<WAVEFORMATEX*>(block), kDolbyAc3FormatTag, entry.channels, entry.sampleRate,
                 entry.bitRate / 8, 1, 0, 0);
    return AddPin(host, enhanced ? "QT E-AC3 Out" : "QT AC3 Out", MEDIATYPE_Audio,
                  enhanced ? Eac3StreamSubtype : Ac3StreamSubtype, FORMAT_WaveFormatEx, 0, block, sizeof(WAVEFORMATEX),
                  pin);
}
