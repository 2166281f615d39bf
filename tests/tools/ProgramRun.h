// Runs the built qtsource program as a user would, as a child process, with
// its standard output and error captured to files.
#pragma once

#include <string>
#include <vector>

struct ProgramRun {
    int exitStatus = -1; // the program's exit status, or what the shell made of a crash
    std::string out;
    std::string err;
};

// Runs qtsource with these arguments. The command goes through the system's
// shell (sh natively, cmd under Windows), so arguments are passed unquoted:
// the helper refuses those that a shell would split or reinterpret.
ProgramRun RunQtsource(const std::vector<std::string>& arguments);

// The whole content of a file, or an empty string when it cannot be read.
std::string ReadWholeFile(const std::string& path);

// Whether a file (or folder) of this name exists.
bool PathExists(const std::string& path);

// The lines of a text, without their \n (or \r\n).
std::vector<std::string> SplitLines(const std::string& text);
