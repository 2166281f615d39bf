#include "tests/tools/ProgramRun.h"

#include "tests/support/Fixtures.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

// std::system answers a wait status on Linux (the code in bits 8-15, a
// signal in the low bits) and the exit code itself on Windows. qtsource's own
// codes are small, so a status with empty low bits and a code above them is
// the Linux form; anything else (a signal, a Windows crash code) stays as it
// is and matches no expected status.
int ExitStatusOf(int systemStatus)
{
    if (systemStatus >= 0x100 && (systemStatus & 0xFF) == 0)
        return systemStatus >> 8;
    return systemStatus;
}

bool SafeForShell(const std::string& argument)
{
    return !argument.empty() && argument.find_first_of(" \t\"'&|<>^%$;()`*?") == std::string::npos;
}

} // namespace

ProgramRun RunQtsource(const std::vector<std::string>& arguments)
{
    ProgramRun run;
    static int serial = 0;
    std::string stem = TempPath("qtsource-run-" + std::to_string(++serial));
    std::string outPath = stem + ".out";
    std::string errPath = stem + ".err";
    std::string command = HostPath(QT_QTSOURCE_PATH);
    for (const std::string& argument : arguments) {
        if (!SafeForShell(argument)) {
            ADD_FAILURE() << "argument the shell would alter: [" << argument << "]";
            return run;
        }
        command += " " + argument;
    }
    command += " > " + outPath + " 2> " + errPath;
    std::fflush(nullptr);
    run.exitStatus = ExitStatusOf(std::system(command.c_str()));
    run.out = ReadWholeFile(outPath);
    run.err = ReadWholeFile(errPath);
    std::remove(outPath.c_str());
    std::remove(errPath.c_str());
    return run;
}

std::string ReadWholeFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

bool PathExists(const std::string& path)
{
    std::error_code error;
    return std::filesystem::exists(std::filesystem::u8path(path), error);
}

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t begin = 0;
    while (begin < text.size()) {
        size_t end = text.find('\n', begin);
        if (end == std::string::npos)
            end = text.size();
        // Standard output in text mode ends lines in \r\n on Windows.
        size_t length = end - begin;
        if (length > 0 && text[end - 1] == '\r')
            --length;
        lines.push_back(text.substr(begin, length));
        begin = end + 1;
    }
    return lines;
}
