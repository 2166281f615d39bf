// One read-only handle on the movie file that remembers where it stands, so
// that reading the entry after the one just read costs no seek.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

class FileReader {
public:
    FileReader() = default;
    ~FileReader() { Close(); }
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;

    // Opens the file read-only ("rb"): a movie on a read-only medium must play.
    // Any handle held before is closed first.
    bool Open(const char* path);
    void Close();
    bool IsOpen() const { return file != nullptr; }

    // Reads up to size bytes at the absolute file offset; returns the count
    // read, which is short at the end of the file and 0 for an offset the C
    // run time cannot seek to or when no file is open.
    size_t ReadAt(int64_t offset, void* buffer, size_t size);

    // Reads the big-endian 32-bit number at the offset; false when the four
    // bytes are not all there.
    bool ReadBigEndian32At(int64_t offset, uint32_t* value);

private:
    std::FILE* file = nullptr;
    int64_t position = -1; // where the C stream stands, or -1 when unknown
};
