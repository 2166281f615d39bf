// What a HANDLE of the layer is, shared by the kernel objects of Kernel.cpp
// and the files of File.cpp.
#pragma once

#include "WinApi.h"

// Every HANDLE of the layer that is no descriptor points at one of these;
// CloseHandle deletes it.
struct HandleObject {
    virtual ~HandleObject() = default;
    // True when the object became signalled within the time given.
    virtual bool Wait(DWORD milliseconds) = 0;
};

// A descriptor's handle is the descriptor tagged in its low bit, which no
// handle object's address has: it is never taken for one.
inline HANDLE HandleOfDescriptor(int descriptor)
{
    return reinterpret_cast<HANDLE>(descriptor < 0 ? intptr_t(-1) : intptr_t(descriptor) << 1 | 1);
}

// The descriptor a handle tags, or -1 when it tags none.
inline int DescriptorOfHandle(HANDLE handle)
{
    const intptr_t tagged = reinterpret_cast<intptr_t>(handle);
    return tagged < 0 || (tagged & 1) == 0 ? -1 : int(tagged >> 1);
}

// The handle object a handle points at, or null for a descriptor's handle.
inline HandleObject* ObjectOfHandle(HANDLE handle)
{
    return handle && DescriptorOfHandle(handle) < 0 && handle != INVALID_HANDLE_VALUE
               ? static_cast<HandleObject*>(handle)
               : nullptr;
}
