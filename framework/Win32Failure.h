// Win32 error codes as the failure HRESULTs that callers are given.
#pragma once

#include "platform/Platform.h"

// error | 0x80070000. Unlike HRESULT_FROM_WIN32 a failure even for 0: a call
// that reported failure without setting an error code has still failed.
inline HRESULT Win32Failure(DWORD error)
{
    return HRESULT(error | 0x80070000u);
}

// The calling thread's last error, read right after the call that failed.
inline HRESULT LastErrorFailure()
{
    return Win32Failure(GetLastError());
}
