// The two commands; each answers the program's exit status.
#pragma once

#include "tools/qtsource/CommandLine.h"

int RunInfo(const CommandLine& line);
int RunDump(const CommandLine& line);
