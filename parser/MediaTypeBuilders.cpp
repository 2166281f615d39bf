#include "parser/MediaTypeBuilders.h"

#include "parser/PinRequest.h"
#include "parser/StreamTypes.h"

#include <cstddef>
#include <cstring>

namespace {

// An MPEG-2 sequence header (480 x 480, aspect ratio code 2, frame rate code 4),
// a sequence extension (profile 4, level 8, interlaced, 4:2:0) and a sequence
// display extension: what the MPEG-2 decoder is started with.
constexpr BYTE kMpegSequenceHeader[34] = {0x00, 0x00, 0x01, 0xB3, 0x1E, 0x01, 0xE0, 0x24, 0x0A, 0xFC, 0xA3, 0x80,
                                          0x00, 0x00, 0x01, 0xB5, 0x14, 0x82, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00,
                                          0x01, 0xB5, 0x25, 0x05, 0x05, 0x05, 0x07, 0x82, 0x0F, 0x00};

constexpr BYTE kStartCode[4] = {0x00, 0x00, 0x00, 0x01};

// An ADTS header with CRC (MPEG-2, AAC LC, 48 kHz index, two channels) that the
// AAC decoder finds in the extra bytes of the format block.
constexpr BYTE kAacAdtsTemplate[9] = {0xFF, 0xF8, 0x58, 0x80, 0x1E, 0x81, 0x50, 0xCD, 0xB2};

void StoreLittleEndian32(BYTE* at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        at[i] = BYTE(value >> (8 * i));
}

} // namespace

HRESULT BuildMpegVideoType(LONG width, LONG height, int depth, AM_MEDIA_TYPE* type)
{
    if (!type)
        return E_POINTER;
    BYTE* block = AllocateFormat(kMpegVideoFormatSize);
    if (!block)
        return E_OUTOFMEMORY;
    // The rectangles, rate and aspect ratio are fixed whatever the track holds;
    // only the bitmap header takes the track's picture.
    MPEG2VIDEOINFO* info = reinterpret_cast<MPEG2VIDEOINFO*>(block);
    VIDEOINFOHEADER2& header = info->hdr;
    header.rcSource.right = header.rcTarget.right = 704;
    header.rcSource.bottom = header.rcTarget.bottom = 480;
    header.dwBitRate = 4500000;
    header.AvgTimePerFrame = 333667;
    header.dwInterlaceFlags = 1;
    header.dwPictAspectRatioX = 4;
    header.dwPictAspectRatioY = 3;
    header.bmiHeader.biSize = 40;
    header.bmiHeader.biWidth = width;
    header.bmiHeader.biHeight = height;
    header.bmiHeader.biPlanes = 0;
    header.bmiHeader.biBitCount = WORD(depth);
    info->dwProfile = 4;
    info->dwLevel = 8;
    // cbSequenceHeader stays 0 although the bytes are there, as decoders expect.
    std::memcpy(block + offsetof(MPEG2VIDEOINFO, dwSequenceHeader), kMpegSequenceHeader, sizeof kMpegSequenceHeader);
    FillType(type, MEDIATYPE_Video, MEDIASUBTYPE_MPEG2_VIDEO, FORMAT_MPEG2Video, 0, block, kMpegVideoFormatSize);
    return S_OK;
}

HRESULT CreateAvcPin(const MovieRecord& movie, ParserHost& host, IPin** pin)
{
    if (!pin)
        return E_POINTER;
    *pin = nullptr;
    const BYTE* sps = nullptr;
    const BYTE* pps = nullptr;
    int32_t spsSize = 0;
    int32_t ppsSize = 0;
    movie.GetSequenceParameterSet(&sps, &spsSize);
    movie.GetPictureParameterSet(&pps, &ppsSize);

    // Large parameter sets make the block grow instead of overrunning it.
    const size_t needed = 2 * sizeof kStartCode + size_t(spsSize) + size_t(ppsSize);
    const ULONG size = needed > kAvcFormatSize ? ULONG(needed) : kAvcFormatSize;
    BYTE* block = AllocateFormat(size);
    if (!block)
        return E_OUTOFMEMORY;
    BYTE* at = block;
    std::memcpy(at, kStartCode, sizeof kStartCode);
    at += sizeof kStartCode;
    if (spsSize > 0)
        std::memcpy(at, sps, size_t(spsSize));
    at += spsSize;
    std::memcpy(at, kStartCode, sizeof kStartCode);
    at += sizeof kStartCode;
    if (ppsSize > 0)
        std::memcpy(at, pps, size_t(ppsSize));
    return AddPin(host, "QT H264 Out", MEDIATYPE_Video, AvcStreamSubtype, AvcStreamFormat, 0, block, size, pin);
}

HRESULT CreateAacPin(const MovieRecord& movie, ParserHost& host, IPin** pin)
{
    if (!pin)
        return E_POINTER;
    *pin = nullptr;
    BYTE* block = AllocateFormat(kAacFormatSize);
    if (!block)
        return E_OUTOFMEMORY;
    // Only the channel count and rate depend on the track.
    WAVEFORMATEX* wave = reinterpret_cast<WAVEFORMATEX*>(block);
    wave->wFormatTag = 1;
    wave->nChannels = WORD(movie.GetAudioChannels());
    wave->nSamplesPerSec = movie.GetAudioSampleRate();
    wave->nAvgBytesPerSec = 96000;
    wave->nBlockAlign = 4;
    wave->wBitsPerSample = 16;
    wave->cbSize = WORD(kAacFormatSize - sizeof(WAVEFORMATEX));
    StoreLittleEndian32(block + 40, 2);
    StoreLittleEndian32(block + 44, 64);
    StoreLittleEndian32(block + 64, sizeof kAacAdtsTemplate);
    std::memcpy(block + 68, kAacAdtsTemplate, sizeof kAacAdtsTemplate);
    return AddPin(host, "QT AAC Out", MEDIATYPE_Audio, AacStreamSubtype, AacStreamFormat, kAacFormatSize, block,
                  kAacFormatSize, pin);
}
