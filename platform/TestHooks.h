// Failure injection that only the Linux layer offers; on Windows the system's
// allocators cannot be made to fail, and the hooks say so. Also the few
// conditions that each system provokes in its own way.
#pragma once

#include "platform/Platform.h"

#include <cstdio>
#include <string>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#ifndef _WIN32
void PlatformFailNextTaskAllocation();
bool PlatformDenyRegistryKeyAccess(HKEY key, LPCSTR subKey, REGSAM denied);
void PlatformRefuseIoRings(bool refuse);
#endif

// Makes the next CoTaskMemAlloc on any thread fail; false where impossible.
inline bool FailNextTaskAllocation()
{
#ifdef _WIN32
    return false;
#else
    PlatformFailNextTaskAllocation();
    return true;
#endif
}

// Makes the files reopened for overlapped reads from now on read as where the
// kernel offers no io_uring: every read completes within ReadFile (with false:
// batched again). False where the system decides.
inline bool CompleteOverlappedReadsAtOnce(bool atOnce)
{
#ifdef _WIN32
    (void)atOnce;
    return false;
#else
    PlatformRefuseIoRings(atOnce);
    return true;
#endif
}

// Makes an existing registry key refuse the rights denied to everyone (DELETE:
// its deletion; KEY_SET_VALUE: being opened to write its values), or with 0
// grant them all again; false when the key is missing or its security cannot
// be set. On Windows the key's access list denies them to everyone.
inline bool DenyRegistryKeyAccess(HKEY parent, const char* path, REGSAM denied)
{
#ifdef _WIN32
    HKEY key = nullptr;
    if (RegOpenKeyExA(parent, path, 0, READ_CONTROL | WRITE_DAC, &key) != ERROR_SUCCESS)
        return false;
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    bool done = false;
    if (AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone)) {
        alignas(DWORD) BYTE buffer[256];
        ACL* acl = reinterpret_cast<ACL*>(buffer);
        SECURITY_DESCRIPTOR descriptor;
        done = InitializeAcl(acl, sizeof buffer, ACL_REVISION) &&
               (!denied || AddAccessDeniedAce(acl, ACL_REVISION, denied, everyone)) &&
               AddAccessAllowedAce(acl, ACL_REVISION, KEY_ALL_ACCESS, everyone) &&
               InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
               SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE) &&
               RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &descriptor) == ERROR_SUCCESS;
        FreeSid(everyone);
    }
    RegCloseKey(key);
    return done;
#else
    return PlatformDenyRegistryKeyAccess(parent, path, denied);
#endif
}

// Keeps every opener from reading a file while it lives: on Windows by
// holding the file open without sharing it, elsewhere by taking away every
// permission, which the superuser does not need. Refused() says whether a
// reader is refused now.
class UnreadableFile {
public:
    explicit UnreadableFile(const std::string& path) : path(path)
    {
#ifdef _WIN32
        held = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
#else
        chmod(path.c_str(), 0);
#endif
    }
    ~UnreadableFile()
    {
#ifdef _WIN32
        if (held != INVALID_HANDLE_VALUE)
            CloseHandle(held);
#else
        chmod(path.c_str(), S_IRUSR | S_IWUSR);
#endif
    }
    UnreadableFile(const UnreadableFile&) = delete;
    UnreadableFile& operator=(const UnreadableFile&) = delete;

    bool Refused() const
    {
        FILE* file = std::fopen(path.c_str(), "rb");
        if (file)
            std::fclose(file);
        return !file;
    }

private:
    std::string path;
#ifdef _WIN32
    HANDLE held;
#endif
};
