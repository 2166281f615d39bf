// How the host reaches the filter: as a host of the platform does, through
// CoCreateInstance when the module is registered, else by loading the module
// from the program's own folder and asking its class factory.
#pragma once

#include "platform/Platform.h"

#include <string>

class ModuleClient {
public:
    ModuleClient() = default;
    ~ModuleClient();
    ModuleClient(const ModuleClient&) = delete;
    ModuleClient& operator=(const ModuleClient&) = delete;

    // A new source filter with one reference for the caller. On failure
    // *where names what failed (the module's path, or the class).
    HRESULT CreateFilter(IBaseFilter** out, std::string* where);

private:
    HRESULT LoadModule(std::string* where);

    HMODULE module = nullptr;
};

// The module's expected path: QuarnexQTSource.ax beside this program.
std::string ModulePathBesideProgram();
