#include "filter/module/ExtensionKeys.h"

#include "filter/ISourceInfo.h"
#include "filter/module/ServerRegistration.h"
#include "framework/ComPtr.h"
#include "framework/Win32Failure.h"

#include <cstdio>

namespace {

const char extensionsKey[] = "Media Type\\Extensions";
// In exactly this case: the system matches file extensions as they are written here.
const char* const extensions[] = {".mov", ".MP4"};
const char sourceFilterValue[] = "Source Filter";

char Upper(char c)
{
    return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
}

// Whether the extension key's "Source Filter" names the class, in any case.
bool NamesClass(HKEY extensions, const char* extension, const char* classText)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(extensions, extension, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    char value[classIdTextSize + 1] = {};
    DWORD size = sizeof value - 1;
    DWORD type = REG_NONE;
    LONG error = RegQueryValueExA(key, sourceFilterValue, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    if (error != ERROR_SUCCESS || type != REG_SZ)
        return false;
    for (int i = 0; i < classIdTextSize; ++i)
        if (Upper(value[i]) != Upper(classText[i]))
            return false;
    return true;
}

} // namespace

void RegisterExtensionKeys()
{
    char classText[classIdTextSize];
    if (FAILED(ClassIdText(CLSID_MovieSourceFilter, classText)))
        return;
    for (const char* extension : extensions) {
        char path[sizeof extensionsKey + 8];
        std::snprintf(path, sizeof path, "%s\\%s", extensionsKey, extension);
        HKEY key = nullptr;
        if (RegCreateKeyExA(HKEY_CLASSES_ROOT, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, &key,
                            nullptr) != ERROR_SUCCESS)
            continue;
        RegSetValueExA(key, sourceFilterValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(classText),
                       DWORD(sizeof classText));
        RegCloseKey(key);
    }
}

HRESULT UnregisterExtensionKeys()
{
    char classText[classIdTextSize];
    RETURN_IF_FAILED(ClassIdText(CLSID_MovieSourceFilter, classText));
    // Opened, never created: a key made here would be volatile, and the
    // system would then refuse the permanent keys that registering writes.
    HKEY key = nullptr;
    LONG error = RegOpenKeyExA(HKEY_CLASSES_ROOT, extensionsKey, 0, KEY_ALL_ACCESS, &key);
    if (error == ERROR_FILE_NOT_FOUND)
        return S_OK;
    if (error != ERROR_SUCCESS)
        return Win32Failure(DWORD(error));
    HRESULT result = S_OK;
    for (const char* extension : extensions)
        if (NamesClass(key, extension, classText)) {
            HRESULT removed = DeleteKeyTree(key, extension);
            if (SUCCEEDED(result))
                result = removed;
        }
    RegCloseKey(key);
    return result;
}
