// The layer's loader, shared between the module calls of Kernel.cpp and the
// in-process servers of InprocServers.cpp.
#pragma once

#include "WinApi.h"

// The exported function of a library that LoadLibraryA loaded, or null when
// the handle names no such library.
FARPROC LibraryProcedure(HMODULE module, LPCSTR procName);
