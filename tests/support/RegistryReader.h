// Reading back and removing registry entries in tests, through the same Reg*
// calls on both platforms.
#pragma once

#include "platform/Platform.h"

#include <string>
#include <vector>

// Removes a key with everything below it; nothing happens when it is absent.
void DeleteRegistryTree(HKEY parent, const std::string& path);

bool RegistryKeyExists(HKEY parent, const std::string& path);

// A REG_SZ value ("" or null names the default value), or "<none>" when the
// key or value is missing or is of another type.
std::string ReadRegistryString(HKEY parent, const std::string& path, const char* name);

// A REG_DWORD value, or 0xFFFFFFFF when missing or of another type.
DWORD ReadRegistryDword(HKEY parent, const std::string& path, const char* name);

// A REG_BINARY value, empty when missing or of another type.
std::vector<BYTE> ReadRegistryBinary(HKEY parent, const std::string& path, const char* name);

// The names of the key's subkeys in enumeration order.
std::vector<std::string> RegistrySubkeys(HKEY parent, const std::string& path);
