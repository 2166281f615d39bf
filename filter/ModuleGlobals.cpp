#include "filter/ModuleGlobals.h"

HINSTANCE ModuleInstance = nullptr;
DWORD PlatformId = 1;
