// HRESULTs as the host prints them: in hex with their name where known.
#pragma once

#include "platform/Platform.h"

#include <string>

// "0x80004005 E_FAIL"; the hex alone for a code without a known name.
std::string HresultText(HRESULT result);

// The HRESULT of a failed C run-time file call, from errno.
HRESULT HresultFromErrno(int error);
