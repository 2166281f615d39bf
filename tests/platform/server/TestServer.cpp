// A small in-process server that the platform tests load the way a COM host
// does: through the registry's InprocServer32 path and DllGetClassObject. Its
// one class answers IPersist with its own class id.
#include "platform/Platform.h"

#include <atomic>

// {2F6B7C41-8D3E-4A15-9B07-5C1E6D2A8F90}
const CLSID CLSID_TestServerObject = {0x2f6b7c41, 0x8d3e, 0x4a15, {0x9b, 0x07, 0x5c, 0x1e, 0x6d, 0x2a, 0x8f, 0x90}};

namespace {

std::atomic<long> liveObjects{0};

class TestObject : public IPersist {
public:
    TestObject() { ++liveObjects; }
    virtual ~TestObject() { --liveObjects; }
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        if (!IsEqualGUID(iid, IID_IUnknown) && !IsEqualGUID(iid, IID_IPersist)) {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        *out = static_cast<IPersist*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++references; }
    STDMETHODIMP_(ULONG) Release() override
    {
        ULONG left = --references;
        if (left == 0)
            delete this;
        return left;
    }
    STDMETHODIMP GetClassID(CLSID* clsid) override
    {
        if (!clsid)
            return E_POINTER;
        *clsid = CLSID_TestServerObject;
        return S_OK;
    }

private:
    std::atomic<ULONG> references{1};
};

class Factory : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        if (!IsEqualGUID(iid, IID_IUnknown) && !IsEqualGUID(iid, IID_IClassFactory)) {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        *out = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    // One static factory: its count does not matter.
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        TestObject* object = new TestObject();
        HRESULT result = object->QueryInterface(iid, out);
        object->Release();
        return result;
    }
    STDMETHODIMP LockServer(WINBOOL) override { return S_OK; }
};

Factory factory;

// Leaves a mark in the registry, so that the host can tell that the server
// and the host share one registry, as every module shares the system's.
void MarkLoaded()
{
    HKEY key = nullptr;
    if (RegCreateKeyA(HKEY_CLASSES_ROOT, "CLSID\\{2F6B7C41-8D3E-4A15-9B07-5C1E6D2A8F90}", &key) != ERROR_SUCCESS)
        return;
    const char mark[] = "yes";
    RegSetValueExA(key, "ServerLoaded", 0, REG_SZ, reinterpret_cast<const BYTE*>(mark), sizeof mark);
    RegCloseKey(key);
}

} // namespace

// What the loader told the server: how often the process attached, and the
// instance handle it was given.
LONG attachCount = 0;
HINSTANCE attachedInstance = nullptr;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        ++attachCount;
        attachedInstance = instance;
    }
    return TRUE;
}

STDAPI TestServerAttachments(LONG* count, HINSTANCE* instance)
{
    *count = attachCount;
    *instance = attachedInstance;
    return S_OK;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!IsEqualGUID(clsid, CLSID_TestServerObject))
        return CLASS_E_CLASSNOTAVAILABLE;
    MarkLoaded();
    return factory.QueryInterface(iid, out);
}

STDAPI DllCanUnloadNow()
{
    return liveObjects == 0 ? S_OK : S_FALSE;
}
