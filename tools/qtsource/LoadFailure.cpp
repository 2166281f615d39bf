#include "tools/qtsource/LoadFailure.h"

#include "parser/BoxReader.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace {

// The C run-time's reason, in lower case like the rest of the line.
std::string ReasonText(int error)
{
    std::string text = std::strerror(error);
    if (!text.empty())
        text[0] = char(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}

} // namespace

std::string LoadFailureCause(const std::string& path)
{
    std::error_code error;
    const std::filesystem::file_type type = std::filesystem::status(std::filesystem::u8path(path), error).type();
    if (type == std::filesystem::file_type::not_found)
        return "no such file";
    if (type == std::filesystem::file_type::directory)
        return "is a folder";
    // Opened as the filter opens it, so that what fails here failed there.
    errno = 0;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return "cannot be read: " + ReasonText(errno);
    BoxReader reader(file);
    BoxHeader movieBox;
    const bool found = FindTopLevelBox(reader, FourCC("moov"), &movieBox);
    std::fclose(file);
    return found ? "cannot load" : "no movie box found: not an MP4 or QuickTime movie";
}
