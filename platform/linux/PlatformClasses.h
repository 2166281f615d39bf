// The creation routines of the platform classes that the layer serves itself.
// CoCreateInstance's built-in table names each one, which also makes the
// linker bring in their object files from the static library.
#pragma once

#include "WinApi.h"

HRESULT CreateMemoryAllocator(IUnknown* outer, REFIID iid, void** out);
HRESULT CreateSystemClock(IUnknown* outer, REFIID iid, void** out);
// Both filter mapper classes.
HRESULT CreateFilterMapper(IUnknown* outer, REFIID iid, void** out);

// Creates the class from the in-process server that the registry names for it.
HRESULT CreateFromInprocServer(REFCLSID clsid, IUnknown* outer, REFIID iid, void** out);
