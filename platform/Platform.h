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
