// Module-wide values that process attach records and the property pages read.
#pragma once

#include "platform/Platform.h"

// The module's instance handle: where its dialog and strings are found.
// Null until process attach records it.
extern HINSTANCE ModuleInstance;

// The operating system's platform id: 1 until process attach reads the OS
// version, VER_PLATFORM_WIN32_NT (2) on NT-family systems.
extern DWORD PlatformId;
