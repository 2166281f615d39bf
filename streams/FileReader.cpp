#include "streams/FileReader.h"

#include "streams/ByteOrder.h"

#include <limits>

bool FileReader::Open(const char* path)
{
    Close();
    file = path ? std::fopen(path, "rb") : nullptr;
    position = file ? 0 : -1;
    return file != nullptr;
}

void FileReader::Close()
{
    if (file)
        std::fclose(file);
    file = nullptr;
    position = -1;
}

size_t FileReader::ReadAt(int64_t offset, void* buffer, size_t size)
{
    if (!file || offset < 0)
        return 0;
    if (offset != position) {
        // fseek takes a long, which is 32 bits on Windows: an offset beyond it
        // must fail here rather than wrap to some other place in the file.
        if (offset > std::numeric_limits<long>::max() || std::fseek(file, static_cast<long>(offset), SEEK_SET) != 0) {
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
    *value = LoadBigEndian32(bytes);
    return true;
}
