// Bit fields of a byte buffer, most significant bit first, never read past
// the buffer's end.
#pragma once

#include "platform/Platform.h"

#include <cstddef>
#include <cstdint>

class BitReader {
public:
    BitReader(const BYTE* data, size_t size) : data(data), size(size) {}

    // Reads count (at most 32) bits; false, with nothing stored, when they run
    // past the end.
    bool Read(int count, uint32_t* value)
    {
        if (size_t(count) > size * 8 - bit)
            return false;
        uint32_t result = 0;
        for (int i = 0; i < count; ++i, ++bit)
            result = result << 1 | ((data[bit / 8] >> (7 - bit % 8)) & 1);
        *value = result;
        return true;
    }
    bool Skip(int count)
    {
        if (size_t(count) > size * 8 - bit)
            return false;
        bit += size_t(count);
        return true;
    }

private:
    const BYTE* data;
    size_t size;
    size_t bit = 0;
};
