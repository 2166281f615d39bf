// One read-only handle on the movie file with a window of the file kept in
// memory: interleaved tracks make each pin read a little here and a little a
// few kilobytes further on, and serving those reads from the window costs no
// seek and no system call. Where the other track's data between two reads is
// longer than the window (a sound track between large pictures), the window
// shrinks, since what it read ahead would be thrown away.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

class FileReader {
public:
    // The window's size; a read at least half as long goes straight to the
    // caller's buffer instead.
    static constexpr size_t kWindowSize = 64 * 1024;
    static constexpr size_t kSmallestFill = 4 * 1024;

    FileReader() = default;
    ~FileReader() { Close(); }
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;

    // Opens the file read-only ("rb"): a movie on a read-only medium must play.
    // Any handle held before is closed first. The window is made here, so
    // that reading never allocates.
    bool Open(const char* path);
    void Close();
    bool IsOpen() const { return file != nullptr; }

    // Reads up to size bytes at the absolute file offset; returns the count
    // read, which is short at the end of the file and 0 for an offset the
    // file cannot be sought to or when no file is open.
    size_t ReadAt(int64_t offset, void* buffer, size_t size);

    // Reads the big-endian 32-bit number at the offset; false when the four
    // bytes are not all there.
    bool ReadBigEndian32At(int64_t offset, uint32_t* value);
    // The same for a 64-bit number (a "co64" chunk offset).
    bool ReadBigEndian64At(int64_t offset, uint64_t* value);

private:
    // Reads from the file itself, seeking only when the stream stands elsewhere.
    size_t ReadFromFile(int64_t offset, void* buffer, size_t size);

    std::FILE* file = nullptr;
    int64_t position = -1; // where the C stream stands, or -1 when unknown
    std::unique_ptr<uint8_t[]> window;
    int64_t windowStart = 0;
    size_t windowLength = 0; // bytes of the file the window holds from windowStart
    int64_t servedEnd = 0;   // the end of the last read served from the window
    size_t fillSize = kWindowSize; // what the next refill reads
};
