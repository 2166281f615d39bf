// Failure injection that only the Linux layer offers; on Windows the system's
// allocators cannot be made to fail, and the hooks say so.
#pragma once

#include "platform/Platform.h"

#ifndef _WIN32
void PlatformFailNextTaskAllocation();
#endif

// Makes the next CoTaskMemAlloc on any thread fail; false where impossible.
inline bool FailNextTaskAllocation()
{
#ifdef _WIN32
    return false;
#else
    PlatformFailNextTaskAllocation();
    return true;
#endif
}
