// The HEVC decoder configuration record ("hvcC"): the profile and level, the
// size of the length field in front of each NAL unit of a sample, and the
// video, sequence and picture parameter sets that a decoder needs first.
#pragma once

#include "parser/ParameterSet.h"

#include <cstddef>
#include <cstdint>

struct HevcDecoderConfig {
    uint8_t profile = 0;    // general_profile_idc
    uint8_t level = 0;      // general_level_idc
    uint8_t lengthSize = 0; // 1, 2 or 4
    // Every VPS, SPS and PPS of the record in that order, each behind the
    // start code 00 00 00 01: the stream's first bytes after a start or seek.
    ParameterSet parameterSets;
};

// Reads a record of size bytes. False when it is cut short, its length size is
// 3, or no memory is left; the record's other arrays (SEI) are passed over.
bool ParseHevcDecoderConfig(const BYTE* bytes, size_t size, HevcDecoderConfig* config);
