// The 4-byte header at the front of every MPEG-1/2 audio frame (layers I, II
// and III): what the media type of an MPEG audio track says comes from the
// first frame, since the sample description names only "MPEG audio".
#pragma once

#include "platform/Platform.h"

#include <cstddef>
#include <cstdint>

struct MpegAudioHeader {
    int layer = 0;           // 1, 2 or 3
    bool mpeg1 = false;      // MPEG-1; otherwise MPEG-2 or 2.5 (lower rates)
    uint32_t sampleRate = 0; // Hz
    uint32_t bitRate = 0;    // bits per second; 0 for a free-format frame
    int channelMode = 0;     // 0 stereo, 1 joint stereo, 2 dual channel, 3 single channel
    int channels = 0;
    bool padded = false;
    bool crcProtected = false;
    uint32_t frameSize = 0; // bytes, header included; 0 for a free-format frame
};

// Reads the header at the front of size bytes. False when there are fewer than
// four bytes, no frame sync, or a reserved version, layer, rate or bit rate.
bool ParseMpegAudioHeader(const BYTE* bytes, size_t size, MpegAudioHeader* header);
