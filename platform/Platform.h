// The one header that brings in the platform: the real Windows SDK headers on
// Windows, the Linux layer elsewhere. Nothing outside platform/ needs #ifdef.
#pragma once

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <io.h>
#include <ole2.h>
#include <olectl.h>
#include <ocidl.h>
#include <strmif.h>
#include <amvideo.h>
#include <control.h>
#include <uuids.h>
#include <mmreg.h>
#include <dvdmedia.h>
#include <vfwmsgs.h>
#include <evcode.h>
#else
#include "linux/WinApi.h"
#include "linux/DShowInterfaces.h"
#include "linux/Registry.h"
#include "linux/Window.h"
#endif

// Whether overlapped reads queued together reach the system together: the
// Linux layer hands them to the kernel in one call. Windows serves each on
// its own (and Wine through its server, at many times a plain read's cost),
// so there a reader that knows many places reads them one by one.
#ifdef _WIN32
constexpr bool kOverlappedReadsBatch = false;
#else
constexpr bool kOverlappedReadsBatch = true;
#endif
