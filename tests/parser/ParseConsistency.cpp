#include "tests/parser/ParseConsistency.h"

#include "parser/MediaTypeBuilders.h"
#include "parser/StreamTypes.h"
#include "parser/TrackInfoText.h"

#include <algorithm>
#include <cstring>

namespace {

// The bound the parser keeps on the track boxes it counts.
constexpr int32_t kMaxTracks = 1024;

const char* const kHandOver[] = {"SetTrackData", "OpenStreamFiles", "SetStreamTiming", "SetSampleSizeTableOffset",
                                 "SetChunkOffsetTableOffset"};

class Findings {
public:
    void Check(bool holds, const std::string& what)
    {
        if (!holds)
            list.push_back(what);
    }
    std::vector<std::string> list;
};

bool Terminated(const char* text, size_t size)
{
    return std::memchr(text, '\0', size) != nullptr;
}

uint32_t Little32(const BYTE* at)
{
    return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
}

void CheckTracks(const ParsedMovie& parsed, Findings& findings)
{
    const MovieRecord& movie = *parsed.movie;
    findings.Check(movie.trackCount >= 0 && movie.trackCount <= kMaxTracks,
                   "trackCount " + std::to_string(movie.trackCount) + " is outside 0 to 1024");
    int32_t records = 0;
    for (const TrackRecord* track = movie.trackList.next; track; track = track->next) {
        ++records;
        findings.Check(Terminated(track->handlerType, sizeof track->handlerType) &&
                           Terminated(track->sampleFormat, sizeof track->sampleFormat) &&
                           Terminated(track->handlerName, sizeof track->handlerName),
                       "a text field of track record " + std::to_string(records) + " has no terminator");
    }
    findings.Check(records == movie.trackCount,
                   std::to_string(records) + " track records for trackCount " + std::to_string(movie.trackCount));
    findings.Check(movie.trackListTail->next == nullptr, "trackListTail is not the last record");

    const char* text = movie.GetInfoText();
    findings.Check(text != nullptr, "no track information text");
    if (text) {
        const size_t length = std::strlen(text);
        findings.Check(length <= size_t(movie.trackCount > 0 ? movie.trackCount : 0) * kTrackInfoBlockSize,
                       "the track information text is " + std::to_string(length) + " bytes for " +
                           std::to_string(movie.trackCount) + " tracks");
        findings.Check(movie.trackCount == 0 || std::strncmp(text, "Track # ", 8) == 0,
                       "the track information text does not start with a track block");
    }
}

void CheckFormatBlock(const PinRequest& request, const PinCalls& calls, Findings& findings, const std::string& pin)
{
    const AM_MEDIA_TYPE& type = request.type;
    const BYTE* format = type.pbFormat;
    findings.Check(type.cbFormat == 0 || format != nullptr, pin + " has a format size but no format block");
    if (!format)
        return;
    if (request.name == "QT H264 Out") {
        findings.Check(type.majortype == MEDIATYPE_Video && type.subtype == AvcStreamSubtype &&
                           type.formattype == AvcStreamFormat,
                       pin + " does not offer the H.264 type");
        const size_t needed = 8 + calls.sps.size() + calls.pps.size();
        const size_t size = needed > kAvcFormatSize ? needed : kAvcFormatSize;
        findings.Check(type.cbFormat == size, pin + " has a format block of " + std::to_string(type.cbFormat) +
                                                  " bytes for " + std::to_string(needed) + " bytes of sets");
        if (type.cbFormat != size)
            return;
        std::vector<uint8_t> expected(size, 0);
        expected[3] = 1;
        std::copy(calls.sps.begin(), calls.sps.end(), expected.begin() + 4);
        expected[4 + calls.sps.size() + 3] = 1;
        std::copy(calls.pps.begin(), calls.pps.end(), expected.begin() + std::ptrdiff_t(8 + calls.sps.size()));
        findings.Check(std::memcmp(format, expected.data(), size) == 0,
                       pin + "'s format block does not hold the parameter sets it was handed");
    } else if (request.name == "QT AAC Out") {
        findings.Check(type.majortype == MEDIATYPE_Audio && type.subtype == AacStreamSubtype &&
                           type.formattype == AacStreamFormat && type.cbFormat == kAacFormatSize,
                       pin + " does not offer the AAC type");
        if (type.cbFormat != kAacFormatSize)
            return;
        const uint32_t channels = uint32_t(format[2] | format[3] << 8);
        findings.Check(channels == uint32_t(uint16_t(calls.audioChannels)) &&
                           Little32(format + 4) == calls.audioSampleRate,
                       pin + "'s format block disagrees with the sound values it was handed");
    } else if (request.name == "QT MP4 Video Out") {
        findings.Check(type.majortype == MEDIATYPE_Video && type.subtype == Mp4vStreamSubtype &&
                           type.formattype == FORMAT_VideoInfo && type.cbFormat >= sizeof(VIDEOINFOHEADER),
                       pin + " does not offer the MPEG-4 video type");
    } else if (request.name == "QT HEVC Out") {
        findings.Check(type.majortype == MEDIATYPE_Video && type.subtype == HevcStreamSubtype &&
                           type.formattype == FORMAT_MPEG2Video && type.cbFormat >= sizeof(MPEG2VIDEOINFO),
                       pin + " does not offer the HEVC type");
    } else if (request.name == "QT PCM Out" || request.name == "QT MP3 Out" || request.name == "QT AC3 Out" ||
               request.name == "QT E-AC3 Out") {
        // Every sound type's block starts with a whole WAVEFORMATEX.
        const WAVEFORMATEX* wave = reinterpret_cast<const WAVEFORMATEX*>(format);
        findings.Check(type.majortype == MEDIATYPE_Audio && type.formattype == FORMAT_WaveFormatEx &&
                           type.cbFormat == sizeof(WAVEFORMATEX) + wave->cbSize && wave->nChannels > 0,
                       pin + " does not offer a whole sound type");
    } else {
        findings.Check(false, pin + " has the unknown name \"" + request.name + "\"");
    }
}

void CheckHandOver(const ParsedMovie& parsed, const PinCalls& calls, uint64_t fileLength, Findings& findings,
                   const std::string& pin)
{
    findings.Check(calls.order == std::vector<std::string>(std::begin(kHandOver), std::end(kHandOver)),
                   pin + " did not get the whole hand-over once, in order");
    findings.Check(calls.path == parsed.movie->filePath, pin + " was handed another path");
    findings.Check(calls.mediaDuration >= 0, pin + " has a negative media duration");
    // A track whose samples all lie in movie fragments needs no tables.
    if (calls.sampleCount == calls.fragmentSamples)
        return;
    // A constant sample size leaves no per-sample entries to read, and the
    // table has none for the samples in movie fragments.
    const uint64_t sizeEntries = calls.constantSampleSize ? 0 : calls.sampleCount - calls.fragmentSamples;
    findings.Check(calls.sizeTableOffset > 0 && uint64_t(calls.sizeTableOffset) + 4ull * sizeEntries <= fileLength,
                   pin + "'s sample size table (" + std::to_string(sizeEntries) + " entries at " +
                       std::to_string(calls.sizeTableOffset) + ") does not lie inside the file");
    findings.Check(calls.chunkTableOffset > 0 &&
                       uint64_t(calls.chunkTableOffset) + uint64_t(calls.chunkOffsetSize) * calls.chunkCount <=
                           fileLength,
                   pin + "'s chunk offset table (" + std::to_string(calls.chunkCount) + " entries at " +
                       std::to_string(calls.chunkTableOffset) + ") does not lie inside the file");
    const std::vector<ChunkMapEntry> map = calls.ChunkMapEntries();
    findings.Check(!map.empty(), pin + " has no chunk map in the file");
    uint32_t previousFirstChunk = 0;
    for (const ChunkMapEntry& entry : map) {
        findings.Check(entry.firstChunk > previousFirstChunk && entry.samplesPerChunk > 0,
                       pin + "'s chunk map does not number its chunks upwards from 1, each with samples");
        previousFirstChunk = entry.firstChunk;
    }
}

} // namespace

std::vector<std::string> FindInconsistencies(const ParsedMovie& parsed, uint64_t fileLength)
{
    Findings findings;
    const MovieRecord& movie = *parsed.movie;
    const bool asked = movie.hasVideo || movie.hasAudio;
    findings.Check(parsed.result == (asked ? 1 : 0), "ParseMovie answered " + std::to_string(parsed.result) +
                                                         " with hasVideo " + std::to_string(movie.hasVideo) +
                                                         " and hasAudio " + std::to_string(movie.hasAudio));
    findings.Check(asked == !parsed.host.requests.empty(),
                   "the flags disagree with the " + std::to_string(parsed.host.requests.size()) + " pin requests");
    findings.Check(parsed.host.requests.size() <= size_t(movie.trackCount > 0 ? movie.trackCount : 0),
                   std::to_string(parsed.host.requests.size()) + " pins for " + std::to_string(movie.trackCount) +
                       " tracks");
    CheckTracks(parsed, findings);
    for (size_t i = 0; i < parsed.host.requests.size(); ++i) {
        const PinRequest& request = parsed.host.requests[i];
        const std::string pin = "pin " + std::to_string(i + 1);
        findings.Check(request.pin != nullptr, pin + " was refused");
        if (!request.pin)
            continue;
        CheckHandOver(parsed, request.pin->calls, fileLength, findings, pin);
        CheckFormatBlock(request, request.pin->calls, findings, pin);
    }
    return findings.list;
}
