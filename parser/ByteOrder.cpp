#include "parser/ByteOrder.h"

bool ReadBigEndian32(const BYTE* bytes, uint32_t* value)
{
    if (!bytes || !value)
        return false;
    *value = uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 | uint32_t(bytes[3]);
    return true;
}

bool ReadBigEndian16(const BYTE* bytes, uint16_t* value)
{
    if (!bytes || !value)
        return false;
    *value = uint16_t(bytes[0] << 8 | bytes[1]);
    return true;
}
