// The fuzz input as a file: the parser and the pins read movies through the C
// run time by path, so each input is written to one in-memory file that lives
// as long as the fuzzing process, and is named by a path that fopen takes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class FuzzInput {
public:
    FuzzInput();
    ~FuzzInput();
    FuzzInput(const FuzzInput&) = delete;
    FuzzInput& operator=(const FuzzInput&) = delete;

    // Replaces the file's contents with the input; answers the path to open,
    // or null when the file cannot be written.
    const char* Write(const uint8_t* data, size_t size);

private:
    int descriptor = -1;
    std::string path;
    bool removeAtEnd = false; // a scratch file rather than a memory file
};
