// What the first sample description of a track says about its stream: the
// kind of pin it gets and what that pin's media type and delivery need.
#pragma once

#include "parser/ParameterSet.h"
#include "parser/PcmFormat.h"

#include <cstdint>

// Every stream kind the parser recognises; None for all others, which keep
// their track information but get no pin.
enum class EntryKind {
    None,
    MpegVideo, // "mp4v": MPEG-4 Part 2 video
    Avc,       // "avc1", "avc3"
    Hevc,      // "hvc1", "hev1"
    Aac,       // "mp4a" with an AAC (or no) decoder configuration
    Pcm,       // "twos", "sowt", "raw ", "in24", "in32", "fl32", "fl64", "lpcm", "ipcm", "fpcm"
    MpegAudio, // "mp4a" naming MPEG-1/2 audio, ".mp3"
    Ac3,       // "ac-3" with "dac3"
    Eac3,      // "ec-3" with "dec3"
};

struct SampleEntry {
    EntryKind kind = EntryKind::None;
    uint32_t code = 0; // the entry's four-character code

    // Picture entries.
    int32_t width = 0;
    int32_t height = 0;
    int32_t depth = 0;
    uint8_t nalLengthSize = 4; // H.264 and HEVC: bytes of each NAL unit's length
    uint8_t profile = 0;       // HEVC
    uint8_t level = 0;         // HEVC
    // HEVC: the video, sequence and picture parameter sets behind start codes;
    // MPEG-4 video: the decoder configuration (the video object layer header).
    ParameterSet configuration;

    // Sound entries: the true values, from the configuration boxes where there
    // are any.
    int32_t channels = 0;
    uint32_t sampleRate = 0;
    int32_t sampleSize = 0; // bits; for PCM the true width
    uint32_t bitRate = 0;   // AC-3 and E-AC-3
    PcmFormat pcm;          // PCM
};
