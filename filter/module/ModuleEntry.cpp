// The module's five exported entry points.
#include "filter/ModuleGlobals.h"
#include "filter/module/ClassFactory.h"
#include "filter/module/ExtensionKeys.h"
#include "filter/module/ServerRegistration.h"
#include "framework/ComPtr.h"
#include "framework/UnknownBase.h"

#include <new>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
        PlatformId = 1;
        OSVERSIONINFOA version = {};
        version.dwOSVersionInfoSize = sizeof version;
        if (GetVersionExA(&version))
            PlatformId = version.dwPlatformId;
        ModuleInstance = instance;
        RunInitRoutines(TRUE);
    } else if (reason == DLL_PROCESS_DETACH) {
        RunInitRoutines(FALSE);
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!IsEqualGUID(iid, IID_IUnknown) && !IsEqualGUID(iid, IID_IClassFactory))
        return E_NOINTERFACE;
    const FactoryTemplate* row = FindFactoryTemplate(clsid);
    if (!row)
        return CLASS_E_CLASSNOTAVAILABLE;
    ClassFactory* factory = new (std::nothrow) ClassFactory(row);
    if (!factory)
        return E_OUTOFMEMORY;
    factory->AddRef();
    *out = factory;
    return S_OK;
}

STDAPI DllCanUnloadNow()
{
    return ServerLockCount > 0 || LiveObjectCount != 0 ? S_FALSE : S_OK;
}

STDAPI DllRegisterServer()
{
    RegisterExtensionKeys();
    return RegisterAll(TRUE);
}

STDAPI DllUnregisterServer()
{
    HRESULT extensions = UnregisterExtensionKeys();
    RETURN_IF_FAILED(RegisterAll(FALSE));
    return extensions;
}
