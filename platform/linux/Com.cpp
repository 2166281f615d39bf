// COM run time of the layer: task memory, apartments, GUID text and the class
// table behind CoCreateInstance.
#include "WinApi.h"

#include "PlatformClasses.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace {

thread_local int apartmentCount = 0;
// The concurrency model the thread joined first: COINIT_APARTMENTTHREADED or not.
thread_local DWORD apartmentModel = 0;

struct ClassEntry {
    CLSID clsid;
    PlatformClassCreator creator;
};

std::mutex& ClassTableLock()
{
    static std::mutex lock;
    return lock;
}

std::vector<ClassEntry>& ClassTable()
{
    static std::vector<ClassEntry> table;
    return table;
}

// The platform's own classes, always present; named here so that the linker
// keeps them however the static library is linked.
const ClassEntry builtInClasses[] = {
    {CLSID_MemoryAllocator, CreateMemoryAllocator},
    {CLSID_FilterMapper2, CreateFilterMapper},
    {CLSID_FilterMapper, CreateFilterMapper},
    {CLSID_SystemClock, CreateSystemClock},
};

std::atomic<int> failingAllocations{0};

} // namespace

void PlatformFailNextTaskAllocation() { failingAllocations.fetch_add(1); }

LPVOID CoTaskMemAlloc(SIZE_T size)
{
    int pending = failingAllocations.load();
    while (pending > 0)
        if (failingAllocations.compare_exchange_weak(pending, pending - 1))
            return nullptr;
    return std::malloc(size ? size : 1);
}
LPVOID CoTaskMemRealloc(LPVOID memory, SIZE_T size) { return std::realloc(memory, size ? size : 1); }
void CoTaskMemFree(LPVOID memory) { std::free(memory); }

HRESULT CoInitialize(LPVOID reserved) { return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED); }

HRESULT CoInitializeEx(LPVOID, DWORD flags)
{
    DWORD model = flags & COINIT_APARTMENTTHREADED;
    if (apartmentCount == 0) {
        apartmentModel = model;
        apartmentCount = 1;
        return S_OK;
    }
    // As on the platform: a thread cannot change apartments, and the refusal takes no reference.
    if (model != apartmentModel)
        return RPC_E_CHANGED_MODE;
    ++apartmentCount;
    return S_FALSE;
}

void CoUninitialize()
{
    if (apartmentCount > 0)
        --apartmentCount;
}

// In-process servers stay loaded for the life of the process (see
// InprocServers.cpp), so there is nothing to free.
void CoFreeUnusedLibraries() {}

void PlatformRegisterClass(REFCLSID clsid, PlatformClassCreator creator)
{
    std::lock_guard<std::mutex> lock(ClassTableLock());
    for (ClassEntry& entry : ClassTable()) {
        if (entry.clsid == clsid) {
            entry.creator = creator;
            return;
        }
    }
    ClassTable().push_back({clsid, creator});
}

HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!(context & CLSCTX_INPROC_SERVER))
        return REGDB_E_CLASSNOTREG;
    PlatformClassCreator creator = nullptr;
    {
        std::lock_guard<std::mutex> lock(ClassTableLock());
        for (const ClassEntry& entry : ClassTable())
            if (entry.clsid == clsid)
                creator = entry.creator;
    }
    for (const ClassEntry& entry : builtInClasses)
        if (!creator && entry.clsid == clsid)
            creator = entry.creator;
    if (!creator)
        return CreateFromInprocServer(clsid, outer, iid, out);
    return creator(outer, iid, out);
}

int StringFromGUID2(REFGUID guid, LPOLESTR text, int maxChars)
{
    const int needed = 39; // 38 characters and the terminator
    if (!text || maxChars < needed)
        return 0;
    char narrow[needed];
    std::snprintf(narrow, sizeof narrow, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", unsigned(guid.Data1),
                  unsigned(guid.Data2), unsigned(guid.Data3), guid.Data4[0], guid.Data4[1], guid.Data4[2],
                  guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    for (int i = 0; i < needed; ++i)
        text[i] = OLECHAR(narrow[i]);
    return needed;
}

HRESULT StringFromCLSID(REFCLSID clsid, LPOLESTR* out)
{
    if (!out)
        return E_INVALIDARG;
    *out = static_cast<LPOLESTR>(CoTaskMemAlloc(39 * sizeof(OLECHAR)));
    if (!*out)
        return E_OUTOFMEMORY;
    StringFromGUID2(clsid, *out, 39);
    return S_OK;
}

HRESULT CLSIDFromString(LPCOLESTR text, LPCLSID clsid)
{
    if (!text || !clsid)
        return E_INVALIDARG;
    char narrow[40] = {};
    for (int i = 0; i < 38; ++i) {
        if (!text[i] || text[i] > 0x7F)
            return E_INVALIDARG; // CO_E_CLASSSTRING on the platform
        narrow[i] = char(text[i]);
    }
    if (text[38] != 0)
        return E_INVALIDARG;
    unsigned data1, data2, data3, bytes[8];
    int n = std::sscanf(narrow, "{%8x-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x}", &data1, &data2, &data3, &bytes[0],
                        &bytes[1], &bytes[2], &bytes[3], &bytes[4], &bytes[5], &bytes[6], &bytes[7]);
    if (n != 11)
        return E_INVALIDARG;
    clsid->Data1 = data1;
    clsid->Data2 = uint16_t(data2);
    clsid->Data3 = uint16_t(data3);
    for (int i = 0; i < 8; ++i)
        clsid->Data4[i] = uint8_t(bytes[i]);
    return S_OK;
}
