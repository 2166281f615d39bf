#include "tools/qtsource/CommandLine.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

const char UsageText[] = "usage: qtsource info MOVIE | qtsource dump MOVIE [-o DIR] [--start SECONDS] [--null]";

namespace {

// A start in seconds: a finite number, not negative.
bool ReadSeconds(const char* text, double* out)
{
    char* end = nullptr;
    double value = std::strtod(text, &end);
    if (end == text || *end != '\0' || !std::isfinite(value) || value < 0 || value > 1e9)
        return false;
    *out = value;
    return true;
}

} // namespace

HRESULT ParseCommandLine(int argc, char** argv, CommandLine* out, std::string* subject, std::string* problem)
{
    auto fail = [&](const std::string& what, const std::string& about) {
        *problem = what;
        *subject = about;
        return E_INVALIDARG;
    };
    if (argc < 2)
        return fail("no command given", "qtsource");
    std::string command = argv[1];
    if (command == "info")
        out->command = Command::Info;
    else if (command == "dump")
        out->command = Command::Dump;
    else
        return fail("unknown command", command);

    for (int i = 2; i < argc; ++i) {
        std::string argument = argv[i];
        bool isDump = out->command == Command::Dump;
        if (isDump && argument == "-o") {
            if (i + 1 >= argc || !*argv[i + 1])
                return fail("-o needs a folder", argument);
            out->folder = argv[++i];
        } else if (isDump && argument == "--start") {
            if (i + 1 >= argc)
                return fail("--start needs a time in seconds", argument);
            if (!ReadSeconds(argv[i + 1], &out->startSeconds))
                return fail("--start needs a time in seconds, not this", argv[i + 1]);
            out->seek = true;
            ++i;
        } else if (isDump && argument == "--null") {
            out->countOnly = true;
        } else if (argument.size() > 1 && argument[0] == '-') {
            return fail("unknown option", argument);
        } else if (out->movie.empty()) {
            out->movie = argument;
        } else {
            return fail("more than one movie given", argument);
        }
    }
    if (out->movie.empty())
        return fail("no movie given", command);
    return S_OK;
}
