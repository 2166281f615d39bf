// Self-registration: the COM server keys of every class in the class table
// and the filter's entry in the DirectShow filter registry.
#pragma once

#include "platform/Platform.h"

// Registers (TRUE) or unregisters (FALSE) every class of the class table.
// Registration writes the server keys, then the filter entries; unregistration
// removes the filter entries, then the server keys.
HRESULT RegisterAll(BOOL doRegister);

// Writes HKEY_CLASSES_ROOT\CLSID\{clsid} = name, with the subkey serverKind
// = path and its "ThreadingModel" value.
HRESULT RegisterServerKeys(REFCLSID clsid, const WCHAR* name, const WCHAR* path, const WCHAR* threadingModel,
                           const WCHAR* serverKind);

// Removes HKEY_CLASSES_ROOT\CLSID\{clsid} with everything below it; S_OK
// when it is not there.
HRESULT UnregisterServerKeys(REFCLSID clsid);

// Removes the subkey name of parent with everything below it; S_OK when it
// is not there, E_FAIL for an empty name.
HRESULT DeleteKeyTree(HKEY parent, const char* name);

// The class identifier's registry text: braced, upper-case hexadecimal.
constexpr int classIdTextSize = 39;
HRESULT ClassIdText(REFCLSID clsid, char (&text)[classIdTextSize]);
