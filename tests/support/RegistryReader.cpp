#include "tests/support/RegistryReader.h"

namespace {

// The raw value and its type; false when the key or value is missing.
bool ReadValue(HKEY parent, const std::string& path, const char* name, DWORD* type, std::vector<BYTE>* data)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(parent, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    DWORD size = 0;
    bool found = RegQueryValueExA(key, name, nullptr, type, nullptr, &size) == ERROR_SUCCESS;
    if (found) {
        data->assign(size, 0);
        found = RegQueryValueExA(key, name, nullptr, type, data->data(), &size) == ERROR_SUCCESS;
        data->resize(size);
    }
    RegCloseKey(key);
    return found;
}

} // namespace

void DeleteRegistryTree(HKEY parent, const std::string& path)
{
    for (const std::string& child : RegistrySubkeys(parent, path))
        DeleteRegistryTree(parent, path + "\\" + child);
    RegDeleteKeyA(parent, path.c_str());
}

bool RegistryKeyExists(HKEY parent, const std::string& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(parent, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

std::string ReadRegistryString(HKEY parent, const std::string& path, const char* name)
{
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!ReadValue(parent, path, name, &type, &data) || type != REG_SZ)
        return "<none>";
    std::string text(data.begin(), data.end());
    return text.substr(0, text.find('\0'));
}

DWORD ReadRegistryDword(HKEY parent, const std::string& path, const char* name)
{
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!ReadValue(parent, path, name, &type, &data) || type != REG_DWORD || data.size() != 4)
        return 0xFFFFFFFFu;
    return DWORD(data[0]) | DWORD(data[1]) << 8 | DWORD(data[2]) << 16 | DWORD(data[3]) << 24;
}

std::vector<BYTE> ReadRegistryBinary(HKEY parent, const std::string& path, const char* name)
{
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!ReadValue(parent, path, name, &type, &data) || type != REG_BINARY)
        data.clear();
    return data;
}

std::vector<std::string> RegistrySubkeys(HKEY parent, const std::string& path)
{
    std::vector<std::string> names;
    HKEY key = nullptr;
    if (RegOpenKeyExA(parent, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return names;
    char name[260];
    DWORD length = sizeof name;
    for (DWORD index = 0; RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         ++index, length = sizeof name)
        names.push_back(name);
    RegCloseKey(key);
    return names;
}
