#include "parser/BoxReader.h"

#include "parser/ByteOrder.h"
#include "platform/Platform.h"

#include <cstring>

void FourCCText(uint32_t code, char (&text)[5])
{
    for (int i = 0; i < 4; ++i)
        text[i] = char(code >> (24 - 8 * i) & 0xFF);
    text[4] = '\0';
}

BoxReader::BoxReader(FILE* file)
{
    fileEnd = kMaxFilePosition;
    const int descriptor = file ? _fileno(file) : -1;
    if (descriptor < 0)
        return;
    handle = reinterpret_cast<HANDLE>(_get_osfhandle(descriptor));
    const int64_t length = _lseeki64(descriptor, 0, SEEK_END);
    if (length >= 0)
        fileEnd = length;
    window.reset(new (std::nothrow) uint8_t[kWindowSize]);
}

bool BoxReader::ReadFromFile(int64_t position, void* buffer, size_t count)
{
    uint8_t* at = static_cast<uint8_t*>(buffer);
    while (count > 0) {
        OVERLAPPED where = {};
        where.Offset = DWORD(uint64_t(position));
        where.OffsetHigh = DWORD(uint64_t(position) >> 32);
        DWORD read = 0;
        if (!ReadFile(handle, at, DWORD(std::min<size_t>(count, 1u << 30)), &read, &where) || read == 0)
            return false;
        at += read;
        position += read;
        count -= read;
    }
    return true;
}

bool BoxReader::Within(int64_t position, size_t count) const
{
    return handle != INVALID_HANDLE_VALUE && position >= 0 && position <= fileEnd &&
           uint64_t(fileEnd - position) >= count;
}

bool BoxReader::ReadAt(int64_t position, void* buffer, size_t count)
{
    if (!Within(position, count))
        return false;
    if (count == 0)
        return true;
    const bool inWindow = window && position >= windowStart && uint64_t(position - windowStart) + count <= windowLength;
    if (!inWindow && (!window || count >= kWindowSize / 2))
        return ReadFromFile(position, buffer, count);
    const uint8_t* bytes = Peek(position, count);
    if (!bytes)
        return false;
    std::memcpy(buffer, bytes, count);
    return true;
}

const uint8_t* BoxReader::Peek(int64_t position, size_t count)
{
    if (!window || count > kWindowSize || !Within(position, count))
        return nullptr;
    if (position < windowStart || uint64_t(position - windowStart) + count > windowLength) {
        const size_t fill = size_t(std::min<int64_t>(int64_t(std::max(fillSize, count)), fileEnd - position));
        windowLength = 0;
        if (!ReadFromFile(position, window.get(), fill))
            return nullptr;
        windowStart = position;
        windowLength = fill;
    }
    return window.get() + (position - windowStart);
}

BoxCursor::BoxCursor(BoxReader* reader, int64_t position, int64_t end)
    : reader(reader), position(position), end(end), ok(reader != nullptr && position <= end)
{
    if (!ok)
        this->position = this->end;
}

bool BoxCursor::Fail()
{
    ok = false;
    position = end;
    return false;
}

bool BoxCursor::Skip(int64_t count)
{
    if (!ok || count < 0 || count > Remaining())
        return Fail();
    position += count;
    return true;
}

bool BoxCursor::ReadBytes(void* buffer, size_t count)
{
    if (!ok || uint64_t(Remaining()) < count || !reader->ReadAt(position, buffer, count))
        return Fail();
    position += int64_t(count);
    return true;
}

bool BoxCursor::Read8(uint8_t* value)
{
    return ReadBytes(value, 1);
}

bool BoxCursor::Read16(uint16_t* value)
{
    BYTE bytes[2];
    return ReadBytes(bytes, sizeof bytes) && ReadBigEndian16(bytes, value);
}

bool BoxCursor::Read32(uint32_t* value)
{
    BYTE bytes[4];
    return ReadBytes(bytes, sizeof bytes) && ReadBigEndian32(bytes, value);
}

bool BoxCursor::Read64(uint64_t* value)
{
    uint32_t high = 0;
    uint32_t low = 0;
    if (!Read32(&high) || !Read32(&low))
        return false;
    *value = uint64_t(high) << 32 | low;
    return true;
}

bool BoxCursor::NextBox(BoxHeader* header, BoxSizeRule rule)
{
    const int64_t start = position;
    uint32_t size = 0;
    uint32_t type = 0;
    if (Remaining() < 8 || !Read32(&size) || !Read32(&type))
        return Fail();

    const bool topLevel = rule == BoxSizeRule::TopLevel;
    uint64_t boxSize = size;
    if (size == 1) {
        if (!Read64(&boxSize) || boxSize < 16)
            return Fail();
    } else if (topLevel && size == 0) {
        boxSize = uint64_t(end - start);
    } else if (size < 8) {
        return Fail();
    }

    int64_t boxEnd = end;
    if (boxSize <= uint64_t(end - start))
        boxEnd = start + int64_t(boxSize);
    else if (!topLevel)
        return Fail();

    header->type = type;
    header->start = start;
    header->payload = BoxCursor(reader, position, boxEnd);
    position = boxEnd;
    return true;
}

bool FindTopLevelBox(BoxReader& reader, uint32_t type, BoxHeader* found)
{
    BoxCursor file(&reader, 0, reader.FileEnd());
    while (file.NextBox(found, BoxSizeRule::TopLevel))
        if (found->type == type)
            return true;
    return false;
}

BoxCursor BoxCursor::Elsewhere(int64_t position, int64_t length) const
{
    if (!reader || position < 0 || length < 0 || position > reader->FileEnd() - length)
        return BoxCursor();
    return BoxCursor(reader, position, position + length);
}
