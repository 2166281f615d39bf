// Libraries loaded by path, as the system's loader loads them: a library is
// mapped once however often it is loaded, its DllMain hears of the process
// attaching after the first load and of it detaching before the last free,
// and its handle is its load address, the same handle that the library
// finds for any of its own addresses.
#include "Libraries.h"

#include "Window.h"

#include <dlfcn.h>
#include <link.h>

#include <map>
#include <mutex>

namespace {

typedef BOOL(WINAPI* EntryPoint)(HINSTANCE instance, DWORD reason, LPVOID reserved);

struct LoadedLibrary {
    void* handle = nullptr;
    int loads = 0;
};

// Held while a DllMain runs, as the system's loader lock is; a DllMain that
// loads another library takes it again on the same thread.
std::recursive_mutex& LoaderLock()
{
    static std::recursive_mutex lock;
    return lock;
}

std::map<HMODULE, LoadedLibrary>& Loaded()
{
    static std::map<HMODULE, LoadedLibrary> loaded;
    return loaded;
}

HMODULE BaseOf(void* handle)
{
    link_map* map = nullptr;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || !map)
        return nullptr;
    return PlatformModuleOfAddress(map->l_ld);
}

// The library's own export: dlsym also searches what the library depends on.
void* OwnSymbol(HMODULE module, void* handle, const char* name)
{
    void* symbol = dlsym(handle, name);
    return symbol && PlatformModuleOfAddress(symbol) == module ? symbol : nullptr;
}

// Tells the library's DllMain, if it has one; false when it refused.
bool Notify(HMODULE module, void* handle, DWORD reason)
{
    auto entry = reinterpret_cast<EntryPoint>(OwnSymbol(module, handle, "DllMain"));
    return !entry || entry(module, reason, nullptr);
}

} // namespace

HMODULE LoadLibraryA(LPCSTR fileName)
{
    if (!fileName || !*fileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::lock_guard<std::recursive_mutex> guard(LoaderLock());
    void* handle = dlopen(fileName, RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    HMODULE module = BaseOf(handle);
    if (!module) {
        dlclose(handle);
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    LoadedLibrary& library = Loaded()[module];
    library.handle = handle;
    // Every load holds one reference of the dynamic loader; FreeLibrary gives it back.
    if (library.loads++ > 0)
        return module;
    if (!Notify(module, handle, DLL_PROCESS_ATTACH)) {
        Loaded().erase(module);
        dlclose(handle);
        SetLastError(ERROR_DLL_INIT_FAILED);
        return nullptr;
    }
    return module;
}

BOOL FreeLibrary(HMODULE module)
{
    std::lock_guard<std::recursive_mutex> guard(LoaderLock());
    auto found = Loaded().find(module);
    if (found == Loaded().end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    void* handle = found->second.handle;
    if (--found->second.loads == 0) {
        Notify(module, handle, DLL_PROCESS_DETACH);
        Loaded().erase(found);
    }
    dlclose(handle);
    return TRUE;
}

FARPROC LibraryProcedure(HMODULE module, LPCSTR procName)
{
    std::lock_guard<std::recursive_mutex> guard(LoaderLock());
    auto found = Loaded().find(module);
    if (found == Loaded().end() || !procName)
        return nullptr;
    return reinterpret_cast<FARPROC>(OwnSymbol(module, found->second.handle, procName));
}
