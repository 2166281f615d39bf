// Numbers as the movie file stores them: most significant byte first.
#pragma once

#include "platform/Platform.h"

#include <cstdint>

// Turn 4 (or 2) bytes into an unsigned value stored through the out pointer.
// False only when a pointer is null; the caller guarantees the bytes exist.
// Inline: whole tables are turned around entry by entry.
inline bool ReadBigEndian32(const BYTE* bytes, uint32_t* value)
{
    if (!bytes || !value)
        return false;
    *value = uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 | uint32_t(bytes[3]);
    return true;
}

inline bool ReadBigEndian16(const BYTE* bytes, uint16_t* value)
{
    if (!bytes || !value)
        return false;
    *value = uint16_t(bytes[0] << 8 | bytes[1]);
    return true;
}
