// What the user asked qtsource for.
#pragma once

#include "platform/Platform.h"

#include <string>

enum class Command { Info, Dump };

struct CommandLine {
    Command command = Command::Info;
    std::string movie;
    std::string folder = "out";
    double startSeconds = 0;
    bool seek = false;
    bool countOnly = false;
};

// Reads argv; on a usage error answers E_INVALIDARG with *problem saying
// what is wrong and *subject naming the argument (or movie) it is about.
HRESULT ParseCommandLine(int argc, char** argv, CommandLine* out, std::string* subject, std::string* problem);

extern const char UsageText[];
