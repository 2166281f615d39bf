// Numbers as the movie file stores them: most significant byte first.
#pragma once

#include "platform/Platform.h"

#include <cstdint>

// Turn 4 (or 2) bytes into an unsigned value stored through the out pointer.
// False only when a pointer is null; the caller guarantees the bytes exist.
bool ReadBigEndian32(const BYTE* bytes, uint32_t* value);
bool ReadBigEndian16(const BYTE* bytes, uint16_t* value);
