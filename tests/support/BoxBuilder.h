// Writes movie boxes byte by byte for tests: every number big-endian, box sizes
// back-patched when the box is closed, or deliberately wrong when a test asks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class BoxBuilder {
  public:
    BoxBuilder& U8(uint8_t value);
    BoxBuilder& U16(uint16_t value);
    BoxBuilder& U24(uint32_t value);
    BoxBuilder& U32(uint32_t value);
    BoxBuilder& U64(uint64_t value);
    BoxBuilder& Bytes(const std::vector<uint8_t>& bytes);
    BoxBuilder& Bytes(const void* bytes, size_t count);
    BoxBuilder& Zeros(size_t count);
    // Characters as they stand, without a terminator (four-character codes, names).
    BoxBuilder& Text(const std::string& text);

    // Opens a box: a size to be patched and the type.
    BoxBuilder& Begin(const std::string& type);
    // Opens a full box: Begin, then the version byte and 24 bits of flags.
    BoxBuilder& BeginFull(const std::string& type, uint8_t version = 0, uint32_t flags = 0);
    // Closes the innermost open box with its true size.
    BoxBuilder& End();
    // Closes it with this size whatever it holds (hostile inputs).
    BoxBuilder& EndWithSize(uint32_t size);
    // A whole box of count bytes (header included) holding zeros.
    BoxBuilder& Filler(const std::string& type, uint32_t size);

    // Where the next byte goes.
    size_t Position() const { return data.size(); }
    void Patch32(size_t at, uint32_t value);
    const std::vector<uint8_t>& Data() const { return data; }

  private:
    std::vector<uint8_t> data;
    std::vector<size_t> openBoxes;
};

// Writes bytes to path, only the first length of them when length is smaller.
bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes, size_t length = SIZE_MAX);
// Reads a whole file; empty when it cannot be read.
std::vector<uint8_t> ReadFileBytes(const std::string& path);
