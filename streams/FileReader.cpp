#include "streams/FileReader.h"

#include "parser/ByteOrder.h"

#include <cstring>
#include <new>

bool FileReader::Open(const char* path)
{
    Close();
    if (!path)
        return false;
    window.reset(new (std::nothrow) uint8_t[kWindowSize]);
    file = window ? std::fopen(path, "rb") : nullptr;
    if (!file) {
        window.reset();
        return false;
    }
    // The window is the only buffer: the C stream's own would copy every
    // byte twice.
    std::setvbuf(file, nullptr, _IONBF, 0);
    position = 0;
    return true;
}

void FileReader::Close()
{
    if (file)
        std::fclose(file);
    file = nullptr;
    position = -1;
    window.reset();
    windowStart = 0;
    windowLength = 0;
    servedEnd = 0;
    fillSize = kWindowSize;
}

size_t FileReader::ReadAt(int64_t offset, void* buffer, size_t size)
{
    if (!file || offset < 0)
        return 0;
    if (offset >= windowStart && uint64_t(offset - windowStart) <= windowLength &&
        size <= windowLength - size_t(offset - windowStart)) {
        std::memcpy(buffer, window.get() + (offset - windowStart), size);
        servedEnd = offset + int64_t(size);
        return size;
    }
    if (size >= kWindowSize / 2)
        return ReadFromFile(offset, buffer, size);
    // A forward step over more than a refill reads means the bytes read ahead
    // last time went unused: read less. A short step means they were used.
    if (windowLength > 0 && offset >= servedEnd) {
        if (uint64_t(offset - servedEnd) > fillSize)
            fillSize = fillSize / 2 < kSmallestFill ? kSmallestFill : fillSize / 2;
        else
            fillSize = fillSize * 2 > kWindowSize ? kWindowSize : fillSize * 2;
    }
    // Refilled from the offset on: the next read of either track is further on.
    windowLength = 0;
    const size_t filled = ReadFromFile(offset, window.get(), size > fillSize ? size : fillSize);
    windowStart = offset;
    windowLength = filled;
    const size_t count = size < filled ? size : filled;
    std::memcpy(buffer, window.get(), count);
    servedEnd = offset + int64_t(count);
    return count;
}

size_t FileReader::ReadFromFile(int64_t offset, void* buffer, size_t size)
{
    if (offset != position) {
        // fseek takes a long, which is 32 bits on Windows: movies pass 4 GiB.
        if (_fseeki64(file, offset, SEEK_SET) != 0) {
            position = -1;
            return 0;
        }
        position = offset;
    }
    size_t count = std::fread(buffer, 1, size, file);
    if (count < size) {
        // Leave the stream usable for the next read at another offset.
        std::clearerr(file);
        position = -1;
        return count;
    }
    position += static_cast<int64_t>(count);
    return count;
}

bool FileReader::ReadBigEndian32At(int64_t offset, uint32_t* value)
{
    uint8_t bytes[4];
    if (ReadAt(offset, bytes, sizeof bytes) != sizeof bytes)
        return false;
    return ReadBigEndian32(bytes, value);
}

bool FileReader::ReadBigEndian64At(int64_t offset, uint64_t* value)
{
    uint8_t bytes[8];
    uint32_t high = 0;
    uint32_t low = 0;
    if (ReadAt(offset, bytes, sizeof bytes) != sizeof bytes || !ReadBigEndian32(bytes, &high) ||
        !ReadBigEndian32(bytes + 4, &low))
        return false;
    *value = uint64_t(high) << 32 | low;
    return true;
}
