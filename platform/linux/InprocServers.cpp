// In-process servers found through the registry, as a COM host finds them:
// HKCR\CLSID\{clsid}\InprocServer32 names a shared library whose exported
// DllGetClassObject hands out the class factory.
#include "DShowInterfaces.h"
#include "PlatformClasses.h"
#include "Registry.h"

#include <map>
#include <mutex>
#include <string>

namespace {

typedef HRESULT(STDAPICALLTYPE* GetClassObjectFunction)(REFCLSID clsid, REFIID iid, void** out);

// The registered path of the class's server, or an empty string.
std::string ServerPath(REFCLSID clsid)
{
    OLECHAR wide[39];
    StringFromGUID2(clsid, wide, 39);
    std::string path = "CLSID\\";
    for (int i = 0; i < 38; ++i)
        path += char(wide[i]);
    path += "\\InprocServer32";
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return std::string();
    char value[MAX_PATH + 1] = {};
    DWORD size = MAX_PATH;
    DWORD type = 0;
    LONG error = RegQueryValueExA(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    if (error != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
        return std::string();
    return value;
}

// Loaded servers stay loaded until the process ends: a server's code may
// still run on another thread after it last answered DllCanUnloadNow, and the
// platform itself only promises to unload some time later.
GetClassObjectFunction LoadServer(const std::string& path, HRESULT* failure)
{
    static std::mutex lock;
    static std::map<std::string, GetClassObjectFunction> loaded;
    std::lock_guard<std::mutex> guard(lock);
    auto known = loaded.find(path);
    if (known != loaded.end())
        return known->second;
    // Through the loader, so that the server's DllMain hears of the process
    // attaching before its class factory is asked for anything.
    HMODULE library = LoadLibraryA(path.c_str());
    if (!library) {
        *failure = HRESULT_FROM_WIN32(GetLastError());
        return nullptr;
    }
    auto entry =
        reinterpret_cast<GetClassObjectFunction>(reinterpret_cast<void*>(GetProcAddress(library, "DllGetClassObject")));
    if (!entry) {
        FreeLibrary(library);
        *failure = CO_E_ERRORINDLL;
        return nullptr;
    }
    loaded[path] = entry;
    return entry;
}

} // namespace

HRESULT CreateFromInprocServer(REFCLSID clsid, IUnknown* outer, REFIID iid, void** out)
{
    std::string path = ServerPath(clsid);
    if (path.empty())
        return REGDB_E_CLASSNOTREG;
    HRESULT result = S_OK;
    GetClassObjectFunction getClassObject = LoadServer(path, &result);
    if (!getClassObject)
        return result;
    IClassFactory* factory = nullptr;
    result = getClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(result))
        return result;
    if (!factory)
        return E_UNEXPECTED;
    result = factory->CreateInstance(outer, iid, out);
    factory->Release();
    return result;
}
