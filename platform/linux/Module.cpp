// Modules and their resources: handles are load addresses, as on Windows, and
// each module's resources come from the resource script that the build
// embedded in it.
#include "ResourceScript.h"

#include <dlfcn.h>
#include <sys/auxv.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>

namespace {

struct ModuleResources {
    const PlatformResourceFile* files = nullptr;
    int fileCount = 0;
    std::unique_ptr<ResourceSet> parsed;
    bool unreadable = false;
};

std::mutex& ResourceLock()
{
    static std::mutex lock;
    return lock;
}

std::map<HMODULE, ModuleResources>& Registered()
{
    static std::map<HMODULE, ModuleResources> registered;
    return registered;
}

HMODULE MainModule()
{
    return PlatformModuleOfAddress(reinterpret_cast<const void*>(getauxval(AT_ENTRY)));
}

// The module's file, or an empty text when the handle names no loaded module.
std::string ModulePath(HMODULE module)
{
    if (!module || module == MainModule()) {
        char path[PATH_MAX];
        ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
        return length > 0 ? std::string(path, size_t(length)) : std::string();
    }
    Dl_info info;
    if (!dladdr(module, &info) || info.dli_fbase != module || !info.dli_fname)
        return std::string();
    char resolved[PATH_MAX];
    return realpath(info.dli_fname, resolved) ? std::string(resolved) : std::string(info.dli_fname);
}

// Copies the resource text to the caller's buffer: at most bufferMax - 1
// characters and a terminator. The answer is the number of characters copied.
template <typename Char> int CopyTruncated(const Char* text, int length, Char* buffer, int bufferMax)
{
    int count = length < bufferMax - 1 ? length : bufferMax - 1;
    for (int i = 0; i < count; ++i)
        buffer[i] = text[i];
    buffer[count] = 0;
    return count;
}

const std::wstring* FindString(HINSTANCE instance, UINT id)
{
    DWORD error = 0;
    const ResourceSet* resources = FindModuleResources(instance, &error);
    if (!resources) {
        SetLastError(error);
        return nullptr;
    }
    auto found = resources->strings.find(id);
    if (found == resources->strings.end()) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    return &found->second;
}

} // namespace

HMODULE PlatformModuleOfAddress(const void* address)
{
    Dl_info info;
    if (!address || !dladdr(address, &info))
        return nullptr;
    return static_cast<HMODULE>(info.dli_fbase);
}

void PlatformRegisterResources(HMODULE module, const PlatformResourceFile* files, int fileCount)
{
    std::lock_guard<std::mutex> lock(ResourceLock());
    ModuleResources& entry = Registered()[module];
    entry = ModuleResources();
    entry.files = files;
    entry.fileCount = fileCount;
}

void PlatformUnregisterResources(HMODULE module)
{
    std::lock_guard<std::mutex> lock(ResourceLock());
    Registered().erase(module);
}

const ResourceSet* FindModuleResources(HMODULE module, DWORD* error)
{
    if (!module)
        module = MainModule();
    std::lock_guard<std::mutex> lock(ResourceLock());
    auto found = Registered().find(module);
    if (found == Registered().end()) {
        *error = ERROR_RESOURCE_DATA_NOT_FOUND;
        return nullptr;
    }
    ModuleResources& entry = found->second;
    if (!entry.parsed && !entry.unreadable) {
        auto parsed = std::make_unique<ResourceSet>();
        std::string message;
        if (ParseResourceScript(entry.files, entry.fileCount, parsed.get(), &message))
            entry.parsed = std::move(parsed);
        else {
            // A script that windres takes but this reader does not is the
            // layer's fault: say where, once, rather than fail silently.
            std::fprintf(stderr, "platform: resource script not understood: %s\n", message.c_str());
            entry.unreadable = true;
        }
    }
    if (!entry.parsed)
        *error = ERROR_RESOURCE_DATA_NOT_FOUND;
    return entry.parsed.get();
}

int LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int bufferMax)
{
    if (!buffer || bufferMax <= 0)
        return 0;
    buffer[0] = 0;
    const std::wstring* text = FindString(instance, id);
    if (!text)
        return 0;
    std::string narrow(text->size() * 4 + 1, '\0');
    int length = text->empty() ? 0
                               : WideCharToMultiByte(CP_ACP, 0, text->data(), int(text->size()), &narrow[0],
                                                     int(narrow.size()), nullptr, nullptr);
    return CopyTruncated(narrow.data(), length, buffer, bufferMax);
}

int LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int bufferMax)
{
    if (!buffer)
        return 0;
    const std::wstring* text = FindString(instance, id);
    if (bufferMax == 0) {
        *reinterpret_cast<const WCHAR**>(buffer) = text ? text->data() : nullptr;
        return text ? int(text->size()) : 0;
    }
    if (bufferMax < 0)
        return 0;
    buffer[0] = 0;
    return text ? CopyTruncated(text->data(), int(text->size()), buffer, bufferMax) : 0;
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size)
{
    std::string path = ModulePath(module);
    if (path.empty()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    if (!fileName || size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (path.size() >= size) {
        // Truncated and terminated, the answer the whole buffer, as the system does.
        CopyTruncated(path.data(), int(path.size()), fileName, int(size));
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    return DWORD(CopyTruncated(path.data(), int(path.size()), fileName, int(size)));
}

BOOL GetVersionExA(LPOSVERSIONINFOA info)
{
    if (!info || info->dwOSVersionInfoSize < sizeof(OSVERSIONINFOA)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    // What the system reports to a program without a compatibility manifest.
    info->dwMajorVersion = 6;
    info->dwMinorVersion = 2;
    info->dwBuildNumber = 9200;
    info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    info->szCSDVersion[0] = 0;
    return TRUE;
}

BOOL DisableThreadLibraryCalls(HMODULE module)
{
    // Only a library gets thread notifications to turn off.
    if (!module || module == MainModule() || ModulePath(module).empty()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}
