// qtsource: runs the module's main job from the command line. It creates the
// source filter through the module, as a host does, and streams a movie's
// pins into files (see the README).
#include "tools/qtsource/Commands.h"
#include "tools/qtsource/Report.h"

#include <cstdio>

int main(int argc, char** argv)
{
    CommandLine line;
    std::string subject;
    std::string problem;
    HRESULT parsed = ParseCommandLine(argc, argv, &line, &subject, &problem);
    if (FAILED(parsed)) {
        ReportFailure(subject, problem, parsed, std::string("(") + UsageText + ")");
        return ExitUsage;
    }
    HRESULT initialized = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (FAILED(initialized)) {
        ReportFailure(line.movie, "cannot start COM", initialized);
        return ExitFailure;
    }
    int status = line.command == Command::Info ? RunInfo(line) : RunDump(line);
    std::fflush(stdout);
    CoUninitialize();
    return status;
}
