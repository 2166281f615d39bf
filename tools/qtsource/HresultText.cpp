#include "tools/qtsource/HresultText.h"

#include <cerrno>
#include <cstdio>

namespace {

struct NamedResult {
    HRESULT code;
    const char* name;
};

// The codes that loading, connecting and streaming a movie can meet, and
// those that the host makes of its own file errors.
const NamedResult KnownResults[] = {
    {E_FAIL, "E_FAIL"},
    {E_POINTER, "E_POINTER"},
    {E_NOINTERFACE, "E_NOINTERFACE"},
    {E_NOTIMPL, "E_NOTIMPL"},
    {E_UNEXPECTED, "E_UNEXPECTED"},
    {E_INVALIDARG, "E_INVALIDARG"},
    {E_OUTOFMEMORY, "E_OUTOFMEMORY"},
    {E_ACCESSDENIED, "E_ACCESSDENIED"},
    {HRESULT(0x80070002), "ERROR_FILE_NOT_FOUND"},
    {HRESULT(0x80070003), "ERROR_PATH_NOT_FOUND"},
    {HRESULT(0x8007007E), "ERROR_MOD_NOT_FOUND"},
    {HRESULT(0x8007007F), "ERROR_PROC_NOT_FOUND"},
    {HRESULT(0x80070070), "ERROR_DISK_FULL"},
    {HRESULT(0x8007001F), "ERROR_GEN_FAILURE"},
    {REGDB_E_CLASSNOTREG, "REGDB_E_CLASSNOTREG"},
    {CLASS_E_CLASSNOTAVAILABLE, "CLASS_E_CLASSNOTAVAILABLE"},
    {CLASS_E_NOAGGREGATION, "CLASS_E_NOAGGREGATION"},
    {VFW_E_NOT_CONNECTED, "VFW_E_NOT_CONNECTED"},
    {VFW_E_NOT_FOUND, "VFW_E_NOT_FOUND"},
    {VFW_E_NO_ALLOCATOR, "VFW_E_NO_ALLOCATOR"},
    {VFW_E_ALREADY_CONNECTED, "VFW_E_ALREADY_CONNECTED"},
    {VFW_E_TYPE_NOT_ACCEPTED, "VFW_E_TYPE_NOT_ACCEPTED"},
    {VFW_E_NO_ACCEPTABLE_TYPES, "VFW_E_NO_ACCEPTABLE_TYPES"},
    {VFW_E_WRONG_STATE, "VFW_E_WRONG_STATE"},
    {VFW_E_TIMEOUT, "VFW_E_TIMEOUT"},
    {VFW_E_BUFFER_OVERFLOW, "VFW_E_BUFFER_OVERFLOW"},
};

} // namespace

std::string HresultText(HRESULT result)
{
    char text[64];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(result));
    for (const NamedResult& known : KnownResults)
        if (known.code == result)
            return std::string(text) + " " + known.name;
    return text;
}

HRESULT HresultFromErrno(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
        return E_ACCESSDENIED;
    case ENOENT:
        return HRESULT(0x80070003);
    case ENOSPC:
        return HRESULT(0x80070070);
    case ENOMEM:
        return E_OUTOFMEMORY;
    default:
        return E_FAIL;
    }
}
