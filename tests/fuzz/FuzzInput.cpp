#include "tests/fuzz/FuzzInput.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

FuzzInput::FuzzInput()
{
    // A memory file costs no disk and no directory entry per input; /proc
    // names it so that every fopen gets its own position on it.
    descriptor = memfd_create("fuzz-input", 0);
    if (descriptor >= 0) {
        path = "/proc/self/fd/" + std::to_string(descriptor);
        return;
    }
    const char* folder = std::getenv("TMPDIR");
    path = std::string(folder ? folder : "/tmp") + "/fuzz-input-" + std::to_string(getpid());
    descriptor = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    removeAtEnd = true;
}

FuzzInput::~FuzzInput()
{
    if (descriptor >= 0)
        close(descriptor);
    if (removeAtEnd)
        unlink(path.c_str());
}

const char* FuzzInput::Write(const uint8_t* data, size_t size)
{
    if (descriptor < 0 || ftruncate(descriptor, 0) != 0)
        return nullptr;
    size_t written = 0;
    while (written < size) {
        const ssize_t count = pwrite(descriptor, data + written, size - written, off_t(written));
        if (count <= 0)
            return nullptr;
        written += size_t(count);
    }
    return path.c_str();
}
