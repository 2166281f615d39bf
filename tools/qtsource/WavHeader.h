// The header of a WAV file whose sound is described by a pin's own format
// block: a PCM pin's payload file plays as it is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The RIFF header, the "fmt " chunk holding the format block's bytes as they
// are, and the header of a "data" chunk of dataSize bytes. Sizes past what the
// 32-bit fields hold are stored as their largest value.
std::vector<uint8_t> WavHeader(const uint8_t* format, size_t formatSize, uint64_t dataSize);
