// Failure injection that only the Linux layer offers; on Windows the system's
// allocators cannot be made to fail, and the hooks say so.
#pragma once

#include "platform/Platform.h"

#ifndef _WIN32
void PlatformFailNextTaskAllocation();
bool PlatformDenyRegistryKeyAccess(HKEY key, LPCSTR subKey, REGSAM denied);
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
