// The Win32 kernel and COM run-time calls that the system makes, for the Linux
// build. Behaviour follows the platform where the system relies on it.
#pragma once

#include "DShowTypes.h"

#include <cstdio>
#include <pthread.h>
#include <sys/types.h>

// ---- 64-bit stream positions -------------------------------------------------
// The C run time's fseek and ftell take a long, 32 bits on Windows; movies
// pass 4 GiB, so every position goes through these.
static_assert(sizeof(off_t) == 8, "file positions are 64-bit");
inline int _fseeki64(FILE* file, int64_t offset, int origin)
{
    return fseeko(file, off_t(offset), origin);
}
inline int64_t _ftelli64(FILE* file)
{
    return int64_t(ftello(file));
}

// ---- Positioned file reads -----------------------------------------------------
// The system handle under a C stream's descriptor, read at an offset without
// the stream's buffer or its position: one system call a read. The handle
// belongs to the run time; it is never closed by itself.
int _fileno(FILE* file);
int64_t _lseeki64(int descriptor, int64_t offset, int origin);
intptr_t _get_osfhandle(int descriptor);
struct OVERLAPPED {
    ULONG_PTR Internal;
    ULONG_PTR InternalHigh;
    DWORD Offset; // where a read on a handle starts
    DWORD OffsetHigh;
    HANDLE hEvent;
};
typedef OVERLAPPED* LPOVERLAPPED;
// With an OVERLAPPED, reads at its offset; a read at or past the end of the
// file fails with ERROR_HANDLE_EOF, as on a synchronous Windows handle. On a
// handle from ReOpenFile the read is overlapped (an OVERLAPPED is required):
// it fails with ERROR_IO_PENDING while under way, or completes at once.
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD count, LPDWORD read, LPOVERLAPPED overlapped);

// ---- Overlapped reads ----------------------------------------------------------
// Many small reads at known offsets cost one system call for a batch instead
// of one each: overlapped reads are queued and handed to the kernel together
// when GetOverlappedResult first waits for one of them (or the queue fills).
// Waiting on a read's event alone does not hand it over.
#define GENERIC_READ 0x80000000u
#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define FILE_SHARE_DELETE 0x00000004u
#define FILE_FLAG_OVERLAPPED 0x40000000u
// A handle of its own for overlapped reads of a descriptor's file; only
// reading with FILE_FLAG_OVERLAPPED is offered. CloseHandle waits for the
// reads under way; those never handed to the kernel end as cancelled.
HANDLE ReOpenFile(HANDLE original, DWORD access, DWORD shareMode, DWORD flags);
// A short read near the end of the file succeeds with the bytes there; a read
// at or past the end fails with ERROR_HANDLE_EOF.
BOOL GetOverlappedResult(HANDLE file, LPOVERLAPPED overlapped, LPDWORD transferred, BOOL wait);

// ---- Interlocked operations ------------------------------------------------
inline LONG InterlockedIncrement(LONG volatile* value) { return __atomic_add_fetch(value, 1, __ATOMIC_SEQ_CST); }
inline LONG InterlockedDecrement(LONG volatile* value) { return __atomic_sub_fetch(value, 1, __ATOMIC_SEQ_CST); }
inline LONG InterlockedExchange(LONG volatile* target, LONG value)
{
    return __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
}
inline PVOID InterlockedExchangePointer(PVOID volatile* target, PVOID value)
{
    return __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
}
inline LONG InterlockedCompareExchange(LONG volatile* target, LONG exchange, LONG comparand)
{
    __atomic_compare_exchange_n(target, &comparand, exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
    return comparand;
}

// ---- Critical sections (re-entrant) -----------------------------------------
struct CRITICAL_SECTION {
    pthread_mutex_t mutex;
};
typedef CRITICAL_SECTION* LPCRITICAL_SECTION;
void InitializeCriticalSection(LPCRITICAL_SECTION section);
void DeleteCriticalSection(LPCRITICAL_SECTION section);
void EnterCriticalSection(LPCRITICAL_SECTION section);
void LeaveCriticalSection(LPCRITICAL_SECTION section);
BOOL TryEnterCriticalSection(LPCRITICAL_SECTION section);

// ---- Handles, events, threads ---------------------------------------------
struct SECURITY_ATTRIBUTES;
typedef SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;
typedef DWORD(WINAPI* LPTHREAD_START_ROUTINE)(LPVOID parameter);

#define WAIT_OBJECT_0 0x00000000u
#define WAIT_TIMEOUT 0x00000102u
#define WAIT_FAILED 0xFFFFFFFFu
#define STILL_ACTIVE 259u

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL initialState, LPCSTR name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);
HANDLE CreateThread(LPSECURITY_ATTRIBUTES attributes, SIZE_T stackSize, LPTHREAD_START_ROUTINE start,
                    LPVOID parameter, DWORD flags, LPDWORD threadId);
BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode);
DWORD GetCurrentThreadId();
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
BOOL CloseHandle(HANDLE handle);
void Sleep(DWORD milliseconds);
DWORD GetTickCount();

DWORD GetLastError();
void SetLastError(DWORD error);

// ---- Modules ------------------------------------------------------------------
#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

HMODULE GetModuleHandleA(LPCSTR moduleName);
FARPROC GetProcAddress(HMODULE module, LPCSTR procName);
// Loads a shared library by path and calls its DllMain, if it exports one,
// with DLL_PROCESS_ATTACH after its first load (DLL_PROCESS_DETACH before its
// last FreeLibrary). A DllMain that answers FALSE fails the load.
HMODULE LoadLibraryA(LPCSTR fileName);
BOOL FreeLibrary(HMODULE module);

// What an in-process server exports, as the system headers declare it.
STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out);
STDAPI DllCanUnloadNow();
STDAPI DllRegisterServer();
STDAPI DllUnregisterServer();

// ---- Code pages (the ANSI code page of this platform is UTF-8) --------------
#define CP_ACP 0
#define CP_UTF8 65001
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCCH multiByte, int multiByteCount, LPWSTR wide,
                        int wideCount);
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWCH wide, int wideCount, LPSTR multiByte,
                        int multiByteCount, LPCCH defaultChar, LPBOOL usedDefaultChar);

// ---- COM run time -------------------------------------------------------------
#define CLSCTX_INPROC_SERVER 0x1
#define CLSCTX_INPROC_HANDLER 0x2
#define CLSCTX_LOCAL_SERVER 0x4
#define CLSCTX_INPROC (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER)
#define CLSCTX_ALL (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER)
#define COINIT_APARTMENTTHREADED 0x2
#define COINIT_MULTITHREADED 0x0
#define COINIT_DISABLE_OLE1DDE 0x4

LPVOID CoTaskMemAlloc(SIZE_T size);
LPVOID CoTaskMemRealloc(LPVOID memory, SIZE_T size);
void CoTaskMemFree(LPVOID memory);
HRESULT CoInitialize(LPVOID reserved);
HRESULT CoInitializeEx(LPVOID reserved, DWORD flags);
void CoUninitialize();
void CoFreeUnusedLibraries();
HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* out);
HRESULT StringFromCLSID(REFCLSID clsid, LPOLESTR* out);
int StringFromGUID2(REFGUID guid, LPOLESTR text, int maxChars);
HRESULT CLSIDFromString(LPCOLESTR text, LPCLSID clsid);

// The layer's table of classes that CoCreateInstance serves in process, in
// place of the system's class registry for the platform's own classes.
typedef HRESULT (*PlatformClassCreator)(IUnknown* outer, REFIID iid, void** out);
void PlatformRegisterClass(REFCLSID clsid, PlatformClassCreator creator);
// Makes the next task memory allocation fail, for tests of failure paths.
void PlatformFailNextTaskAllocation();
