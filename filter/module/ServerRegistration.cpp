#include "filter/module/ServerRegistration.h"

#include "filter/ModuleGlobals.h"
#include "filter/module/FactoryTemplate.h"
#include "framework/ComPtr.h"
#include "framework/FilterRegistration.h"
#include "framework/WideText.h"
#include "framework/Win32Failure.h"

#include <cstring>

namespace {

// Room for any text that a wide text of MAX_PATH characters becomes in a
// multi-byte code page.
const int textSize = 4 * MAX_PATH;

const char classKeyPrefix[] = "CLSID\\";

HRESULT ClassKeyPath(REFCLSID clsid, char (&path)[sizeof classKeyPrefix + classIdTextSize])
{
    std::memcpy(path, classKeyPrefix, sizeof classKeyPrefix);
    char text[classIdTextSize];
    RETURN_IF_FAILED(ClassIdText(clsid, text));
    std::memcpy(path + sizeof classKeyPrefix - 1, text, sizeof text);
    return S_OK;
}

// The module's own file, as the registry names its server.
HRESULT ModulePath(WCHAR (&path)[MAX_PATH])
{
    char narrow[MAX_PATH];
    DWORD length = GetModuleFileNameA(ModuleInstance, narrow, MAX_PATH);
    if (length == 0)
        return LastErrorFailure();
    // A path cut to fit the buffer would register a server that is not there.
    if (length >= MAX_PATH)
        return Win32Failure(ERROR_INSUFFICIENT_BUFFER);
    return CopyWide(narrow, path, MAX_PATH);
}

// Each row's filter entry through the newer filter mapper, or the older one
// where only that exists; stops at the first failure.
HRESULT RegisterFilters(BOOL doRegister)
{
    ComPtr<IFilterMapper2> mapper2;
    ComPtr<IFilterMapper> mapper;
    HRESULT result =
        CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2, mapper2.PutVoid());
    if (FAILED(result))
        result =
            CoCreateInstance(CLSID_FilterMapper, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper, mapper.PutVoid());
    for (int i = 0; i < FactoryTemplateCount && SUCCEEDED(result); ++i) {
        const FilterSetupRecord* setup = FactoryTemplateTable[i].filterSetup;
        if (setup)
            result = mapper2 ? RegisterFilterWithMapper2(setup, mapper2.Get(), doRegister)
                             : RegisterFilterWithMapper(setup, mapper.Get(), doRegister);
    }
    return result;
}

} // namespace

HRESULT ClassIdText(REFCLSID clsid, char (&text)[classIdTextSize])
{
    WCHAR wide[classIdTextSize];
    if (StringFromGUID2(clsid, wide, classIdTextSize) == 0)
        return E_UNEXPECTED;
    return CopyNarrow(wide, text, classIdTextSize);
}

HRESULT RegisterAll(BOOL doRegister)
{
    WCHAR path[MAX_PATH];
    RETURN_IF_FAILED(ModulePath(path));
    if (doRegister)
        for (int i = 0; i < FactoryTemplateCount; ++i)
            RETURN_IF_FAILED(RegisterServerKeys(*FactoryTemplateTable[i].clsid, FactoryTemplateTable[i].name, path,
                                                L"Both", L"InprocServer32"));

    // A caller whose thread is already in another apartment keeps it: only an
    // initialisation made here is undone here.
    HRESULT com = CoInitialize(nullptr);
    HRESULT result = RegisterFilters(doRegister);
    CoFreeUnusedLibraries();
    if (SUCCEEDED(com))
        CoUninitialize();
    // Unregistering leaves the server keys while the filter entry may still
    // name them.
    if (FAILED(result) || doRegister)
        return result;
    for (int i = 0; i < FactoryTemplateCount; ++i)
        RETURN_IF_FAILED(UnregisterServerKeys(*FactoryTemplateTable[i].clsid));
    return S_OK;
}

HRESULT RegisterServerKeys(REFCLSID clsid, const WCHAR* name, const WCHAR* path, const WCHAR* threadingModel,
                           const WCHAR* serverKind)
{
    char keyPath[sizeof classKeyPrefix + classIdTextSize];
    RETURN_IF_FAILED(ClassKeyPath(clsid, keyPath));
    char narrowName[textSize], narrowPath[textSize], narrowModel[textSize], narrowKind[textSize];
    RETURN_IF_FAILED(CopyNarrow(name, narrowName, textSize));
    RETURN_IF_FAILED(CopyNarrow(path, narrowPath, textSize));
    RETURN_IF_FAILED(CopyNarrow(threadingModel, narrowModel, textSize));
    RETURN_IF_FAILED(CopyNarrow(serverKind, narrowKind, textSize));

    HKEY classKey = nullptr;
    LONG error = RegCreateKeyA(HKEY_CLASSES_ROOT, keyPath, &classKey);
    if (error != ERROR_SUCCESS)
        return Win32Failure(DWORD(error));
    HKEY serverKey = nullptr;
    error = RegSetValueA(classKey, nullptr, REG_SZ, narrowName, DWORD(std::strlen(narrowName)));
    if (error == ERROR_SUCCESS)
        error = RegCreateKeyA(classKey, narrowKind, &serverKey);
    if (error == ERROR_SUCCESS)
        error = RegSetValueA(serverKey, nullptr, REG_SZ, narrowPath, DWORD(std::strlen(narrowPath)));
    if (error == ERROR_SUCCESS)
        error = RegSetValueExA(serverKey, "ThreadingModel", 0, REG_SZ, reinterpret_cast<const BYTE*>(narrowModel),
                               DWORD(std::strlen(narrowModel) + 1));
    if (serverKey)
        RegCloseKey(serverKey);
    RegCloseKey(classKey);
    return error == ERROR_SUCCESS ? S_OK : Win32Failure(DWORD(error));
}

HRESULT UnregisterServerKeys(REFCLSID clsid)
{
    char keyPath[sizeof classKeyPrefix + classIdTextSize];
    RETURN_IF_FAILED(ClassKeyPath(clsid, keyPath));
    return DeleteKeyTree(HKEY_CLASSES_ROOT, keyPath);
}

HRESULT DeleteKeyTree(HKEY parent, const char* name)
{
    if (!name || !*name)
        return E_FAIL;
    HKEY key = nullptr;
    LONG error = RegOpenKeyExA(parent, name, 0, MAXIMUM_ALLOWED, &key);
    if (error == ERROR_FILE_NOT_FOUND)
        return S_OK;
    if (error != ERROR_SUCCESS)
        return Win32Failure(DWORD(error));
    // Each pass removes the subkey found at index kept. One that is still
    // found there afterwards cannot be removed: the walk steps past it rather
    // than find it again for ever.
    DWORD kept = 0;
    char attempted[MAX_PATH] = "";
    for (;;) {
        char child[MAX_PATH];
        DWORD length = MAX_PATH;
        if (RegEnumKeyExA(key, kept, child, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        if (std::strcmp(child, attempted) == 0) {
            ++kept;
            continue;
        }
        std::memcpy(attempted, child, length + 1);
        DeleteKeyTree(key, child);
    }
    RegCloseKey(key);
    error = RegDeleteKeyA(parent, name);
    return error == ERROR_SUCCESS ? S_OK : Win32Failure(DWORD(error));
}
