// The module as a COM host sees it: loaded by path, its entry points found
// by their exported names, and what registering it must leave in the
// registry. Natively the layer loads the shared library; under Wine the
// system loads the DLL.
#pragma once

#include "platform/Platform.h"

#include <string>

class ModuleHost {
public:
    // The one loaded module of this program; it stays loaded, as COM keeps it.
    static ModuleHost& Get();

    bool Loaded() const { return module != nullptr; }
    // The module's file, as this program names it and as registration must write it.
    const std::string& Path() const { return path; }
    HMODULE Handle() const { return module; }

    HRESULT(STDAPICALLTYPE* getClassObject)(REFCLSID clsid, REFIID iid, LPVOID* out) = nullptr;
    HRESULT(STDAPICALLTYPE* canUnloadNow)() = nullptr;
    HRESULT(STDAPICALLTYPE* registerServer)() = nullptr;
    HRESULT(STDAPICALLTYPE* unregisterServer)() = nullptr;

private:
    ModuleHost();
    std::string path;
    HMODULE module = nullptr;
};

// The registry paths and texts that registration writes.
extern const std::string filterClassText;
extern const std::string pageClassText;
extern const std::string filterClassKey;
extern const std::string pageClassKey;
extern const std::string filterInstanceKey;
extern const std::string extensionsKey;

// Everything that registering the module at modulePath writes.
void ExpectRegistered(const std::string& modulePath);
// The same but the extension keys: both classes and the filter's entry.
void ExpectClassesRegistered(const std::string& modulePath);
// Nothing of the module left in the registry.
void ExpectUnregistered();
// CoCreateInstance finds the filter through the registry, and it loads a movie.
void ExpectFilterCreatedAndLoads();
