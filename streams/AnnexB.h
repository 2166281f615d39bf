// H.264 and HEVC in start-code form: the movie stores each NAL unit behind a
// big-endian length of 1, 2 or 4 bytes (the decoder configuration says which),
// while the downstream decoder reads a byte stream where every NAL unit
// follows the start code 00 00 00 01.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t kStartCodeSize = 4;

// The bytes put in front of a sample: after a start or a jump both parameter
// sets (start code, SPS, start code, PPS), otherwise the picture parameter set
// alone. An empty parameter set is left out with its start code, so no empty
// NAL unit is ever written.
size_t AvcPrefixSize(bool withSequenceSet, size_t spsSize, size_t ppsSize);

// Writes that prefix at the start of buffer and returns its length, or
// returns 0 and writes nothing when it does not fit in capacity.
size_t WriteAvcPrefix(uint8_t* buffer, size_t capacity, bool withSequenceSet, const uint8_t* sps, size_t spsSize,
                      const uint8_t* pps, size_t ppsSize);

// Turns the NAL length prefixes of one sample of size bytes into start codes,
// in place, and returns how many it turned. Nothing outside [sample,
// sample + size) is read or written. A sample whose first length is 0 is left
// as it is; the conversion stops, leaving the rest as it is, at the first
// length field that does not fit or whose NAL unit runs past the end.
size_t ConvertLengthPrefixesToStartCodes(uint8_t* sample, size_t size);

// The same conversion for any length size, from the sample into out: what the
// sample becomes, by the same rules (what is not converted is copied as it
// is). The size of the result, which only a 4-byte length size keeps equal to
// the sample's; a length size other than 1, 2 or 4 converts nothing.
size_t StartCodeSampleSize(const uint8_t* sample, size_t size, size_t lengthSize);
// Writes the result into out and returns its size, or writes nothing and
// returns 0 when it does not fit in capacity. out may be the sample itself
// only for a 4-byte length size.
size_t CopyAsStartCodes(const uint8_t* sample, size_t size, size_t lengthSize, uint8_t* out, size_t capacity);
