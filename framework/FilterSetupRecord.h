// The static registration record of a filter class, read by IAMovieSetup.
#pragma once

#include "platform/Platform.h"

struct FilterSetupRecord {
    const CLSID* classId;
    const WCHAR* name;
    DWORD merit;
    UINT pinCount;
    const REGFILTERPINS* pins;
};
