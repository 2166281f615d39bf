// Bounded reads of bytes held in memory, big-endian. Once a read fails the
// span stands empty and every later read fails too, so a run of fields may be
// read and checked once.
#pragma once

#include <cstddef>
#include <cstdint>

class MemoryBytes {
public:
    MemoryBytes() = default;
    MemoryBytes(const uint8_t* data, size_t size) : data(data), left(size) {}

    bool Ok() const { return ok; }
    size_t Left() const { return left; }
    const uint8_t* Here() const { return data; }

    // Marks the bytes damaged: every later read fails.
    bool Fail()
    {
        ok = false;
        left = 0;
        return false;
    }
    bool Skip(size_t count)
    {
        if (!ok || count > left)
            return Fail();
        data += count;
        left -= count;
        return true;
    }
    // The next count bytes as a span of their own, moved past.
    bool Take(size_t count, MemoryBytes* part)
    {
        const uint8_t* at = data;
        if (!Skip(count))
            return false;
        *part = MemoryBytes(at, count);
        return true;
    }
    uint8_t U8()
    {
        const uint8_t* at = data;
        return Skip(1) ? at[0] : 0;
    }
    uint32_t U32()
    {
        const uint8_t* at = data;
        if (!Skip(4))
            return 0;
        return uint32_t(at[0]) << 24 | uint32_t(at[1]) << 16 | uint32_t(at[2]) << 8 | at[3];
    }
    uint64_t U64()
    {
        const uint64_t high = U32();
        return high << 32 | U32();
    }

private:
    const uint8_t* data = nullptr;
    size_t left = 0;
    bool ok = true;
};
