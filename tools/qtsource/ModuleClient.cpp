#include "tools/qtsource/ModuleClient.h"

#include "filter/ISourceInfo.h"
#include "framework/ComPtr.h"
#include "framework/Win32Failure.h"

namespace {

const char ModuleFileName[] = "QuarnexQTSource.ax";

typedef HRESULT(STDAPICALLTYPE* GetClassObjectEntry)(REFCLSID clsid, REFIID iid, LPVOID* out);

} // namespace

std::string ModulePathBesideProgram()
{
    char program[1024] = {};
    DWORD length = GetModuleFileNameA(nullptr, program, sizeof program);
    std::string path(program, length < sizeof program ? length : 0);
    size_t slash = path.find_last_of("/\\");
    return (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + ModuleFileName;
}

ModuleClient::~ModuleClient()
{
    // Every object of the module is gone by now: the host releases all it
    // made before it ends, so the module may go.
    if (module)
        FreeLibrary(module);
}

HRESULT ModuleClient::LoadModule(std::string* where)
{
    if (module)
        return S_OK;
    std::string path = ModulePathBesideProgram();
    *where = path;
    module = LoadLibraryA(path.c_str());
    return module ? S_OK : LastErrorFailure();
}

HRESULT ModuleClient::CreateFilter(IBaseFilter** out, std::string* where)
{
    *out = nullptr;
    HRESULT created = CoCreateInstance(CLSID_MovieSourceFilter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                       reinterpret_cast<void**>(out));
    if (SUCCEEDED(created))
        return created;

    // Not registered: the module beside the program serves the class.
    RETURN_IF_FAILED(LoadModule(where));
    auto getClassObject =
        reinterpret_cast<GetClassObjectEntry>(reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    if (!getClassObject)
        return LastErrorFailure();
    ComPtr<IClassFactory> factory;
    RETURN_IF_FAILED(getClassObject(CLSID_MovieSourceFilter, IID_IClassFactory, factory.PutVoid()));
    return factory->CreateInstance(nullptr, IID_IBaseFilter, reinterpret_cast<void**>(out));
}
