// Movie files store their numbers big-endian.
#pragma once

#include <cstdint>

inline uint32_t LoadBigEndian32(const uint8_t* bytes)
{
    return (uint32_t(bytes[0]) << 24) | (uint32_t(bytes[1]) << 16) | (uint32_t(bytes[2]) << 8) | bytes[3];
}
