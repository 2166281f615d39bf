#include "tests/support/BoxBuilder.h"

#include <cstdio>

BoxBuilder& BoxBuilder::U8(uint8_t value)
{
    data.push_back(value);
    return *this;
}

BoxBuilder& BoxBuilder::U16(uint16_t value)
{
    return U8(uint8_t(value >> 8)).U8(uint8_t(value));
}

BoxBuilder& BoxBuilder::U24(uint32_t value)
{
    return U8(uint8_t(value >> 16)).U16(uint16_t(value));
}

BoxBuilder& BoxBuilder::U32(uint32_t value)
{
    return U16(uint16_t(value >> 16)).U16(uint16_t(value));
}

BoxBuilder& BoxBuilder::U64(uint64_t value)
{
    return U32(uint32_t(value >> 32)).U32(uint32_t(value));
}

BoxBuilder& BoxBuilder::Bytes(const std::vector<uint8_t>& bytes)
{
    data.insert(data.end(), bytes.begin(), bytes.end());
    return *this;
}

BoxBuilder& BoxBuilder::Bytes(const void* bytes, size_t count)
{
    const uint8_t* first = static_cast<const uint8_t*>(bytes);
    data.insert(data.end(), first, first + count);
    return *this;
}

BoxBuilder& BoxBuilder::Zeros(size_t count)
{
    data.insert(data.end(), count, 0);
    return *this;
}

BoxBuilder& BoxBuilder::Text(const std::string& text)
{
    return Bytes(text.data(), text.size());
}

BoxBuilder& BoxBuilder::Begin(const std::string& type)
{
    openBoxes.push_back(data.size());
    return U32(0).Text(type);
}

BoxBuilder& BoxBuilder::BeginFull(const std::string& type, uint8_t version, uint32_t flags)
{
    return Begin(type).U8(version).U24(flags);
}

BoxBuilder& BoxBuilder::End()
{
    const size_t start = openBoxes.back();
    return EndWithSize(uint32_t(data.size() - start));
}

BoxBuilder& BoxBuilder::EndWithSize(uint32_t size)
{
    Patch32(openBoxes.back(), size);
    openBoxes.pop_back();
    return *this;
}

BoxBuilder& BoxBuilder::Filler(const std::string& type, uint32_t size)
{
    return U32(size).Text(type).Zeros(size - 8);
}

void BoxBuilder::Patch32(size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        data[at + size_t(i)] = uint8_t(value >> (24 - 8 * i));
}

bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes, size_t length)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    const size_t count = length < bytes.size() ? length : bytes.size();
    const bool written = count == 0 || std::fwrite(bytes.data(), 1, count, file) == count;
    return std::fclose(file) == 0 && written;
}

std::vector<uint8_t> ReadFileBytes(const std::string& path)
{
    std::vector<uint8_t> bytes;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return bytes;
    uint8_t buffer[65536];
    size_t count = 0;
    while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + count);
    std::fclose(file);
    return bytes;
}
