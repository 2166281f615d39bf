// Kernel objects of the layer: critical sections, events, threads, modules.
#include "HandleObject.h"
#include "Libraries.h"
#include "WinApi.h"
#include "Window.h"

#include <unistd.h>
#include <sys/auxv.h>

#include <chrono>
#include <condition_variable>
#include <ctime>
#include <memory>
#include <mutex>
#include <thread>

namespace {

thread_local DWORD lastError = 0;

template <typename Predicate>
bool WaitFor(std::condition_variable& condition, std::unique_lock<std::mutex>& lock, DWORD milliseconds,
             Predicate ready)
{
    if (milliseconds == INFINITE) {
        condition.wait(lock, ready);
        return true;
    }
    // A poll never enters the timed wait: the system parks a thread even for a
    // deadline already past, which costs a context switch on every poll.
    if (milliseconds == 0)
        return ready();
    return condition.wait_for(lock, std::chrono::milliseconds(milliseconds), ready);
}

struct EventObject : HandleObject {
    std::mutex mutex;
    std::condition_variable condition;
    bool manualReset = false;
    bool signalled = false;

    bool Wait(DWORD milliseconds) override
    {
        std::unique_lock<std::mutex> lock(mutex);
        if (!WaitFor(condition, lock, milliseconds, [this] { return signalled; }))
            return false;
        if (!manualReset)
            signalled = false;
        return true;
    }
};

// Shared between the handle and the running thread, so either may go first.
struct ThreadState {
    std::mutex mutex;
    std::condition_variable condition;
    bool finished = false;
    DWORD exitCode = STILL_ACTIVE;
};

struct ThreadObject : HandleObject {
    std::shared_ptr<ThreadState> state;

    bool Wait(DWORD milliseconds) override
    {
        std::unique_lock<std::mutex> lock(state->mutex);
        return WaitFor(state->condition, lock, milliseconds, [this] { return state->finished; });
    }
};

// The one module the layer answers for by name: COM's run time.
struct ModuleObject {
    const char* name;
};
ModuleObject ole32Module = {"ole32.dll"};

bool EqualsIgnoringCase(const char* a, const char* b)
{
    for (; *a && *b; ++a, ++b) {
        char x = (*a >= 'A' && *a <= 'Z') ? char(*a - 'A' + 'a') : *a;
        char y = (*b >= 'A' && *b <= 'Z') ? char(*b - 'A' + 'a') : *b;
        if (x != y)
            return false;
    }
    return *a == *b;
}

} // namespace

void InitializeCriticalSection(LPCRITICAL_SECTION section)
{
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&section->mutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
}

void DeleteCriticalSection(LPCRITICAL_SECTION section) { pthread_mutex_destroy(&section->mutex); }
void EnterCriticalSection(LPCRITICAL_SECTION section) { pthread_mutex_lock(&section->mutex); }
void LeaveCriticalSection(LPCRITICAL_SECTION section) { pthread_mutex_unlock(&section->mutex); }
BOOL TryEnterCriticalSection(LPCRITICAL_SECTION section) { return pthread_mutex_trylock(&section->mutex) == 0; }

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCSTR)
{
    auto* event = new (std::nothrow) EventObject;
    if (!event) {
        lastError = ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
    }
    event->manualReset = manualReset != FALSE;
    event->signalled = initialState != FALSE;
    return static_cast<HandleObject*>(event);
}

static EventObject* AsEvent(HANDLE handle)
{
    return dynamic_cast<EventObject*>(ObjectOfHandle(handle));
}

BOOL SetEvent(HANDLE handle)
{
    EventObject* event = AsEvent(handle);
    if (!event) {
        lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    std::lock_guard<std::mutex> lock(event->mutex);
    event->signalled = true;
    if (event->manualReset)
        event->condition.notify_all();
    else
        event->condition.notify_one();
    return TRUE;
}

BOOL ResetEvent(HANDLE handle)
{
    EventObject* event = AsEvent(handle);
    if (!event) {
        lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    std::lock_guard<std::mutex> lock(event->mutex);
    event->signalled = false;
    return TRUE;
}

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD,
                    LPDWORD threadId)
{
    auto* thread = new (std::nothrow) ThreadObject;
    if (!thread) {
        lastError = ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
    }
    try {
        thread->state = std::make_shared<ThreadState>();
        std::shared_ptr<ThreadState> state = thread->state;
        std::thread([state, start, parameter] {
            DWORD code = start(parameter);
            std::lock_guard<std::mutex> lock(state->mutex);
            state->exitCode = code;
            state->finished = true;
            state->condition.notify_all();
        }).detach();
    } catch (...) {
        delete thread;
        lastError = ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
    }
    if (threadId)
        *threadId = 0;
    return static_cast<HandleObject*>(thread);
}

BOOL GetExitCodeThread(HANDLE handle, LPDWORD exitCode)
{
    auto* thread = dynamic_cast<ThreadObject*>(ObjectOfHandle(handle));
    if (!thread || !exitCode) {
        lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    std::lock_guard<std::mutex> lock(thread->state->mutex);
    *exitCode = thread->state->exitCode;
    return TRUE;
}

DWORD GetCurrentThreadId() { return static_cast<DWORD>(std::hash<std::thread::id>()(std::this_thread::get_id())); }

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds)
{
    HandleObject* object = ObjectOfHandle(handle);
    if (!object) {
        lastError = ERROR_INVALID_HANDLE;
        return WAIT_FAILED;
    }
    return object->Wait(milliseconds) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

// A descriptor's handle belongs to the C run time, which closes it with its
// stream: closing it here would leave the stream reading a stranger's file.
BOOL CloseHandle(HANDLE handle)
{
    HandleObject* object = ObjectOfHandle(handle);
    if (!object) {
        lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    delete object;
    return TRUE;
}

void Sleep(DWORD milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

DWORD GetTickCount()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<DWORD>(now.tv_sec * 1000ull + now.tv_nsec / 1000000ull);
}

DWORD GetLastError() { return lastError; }
void SetLastError(DWORD error) { lastError = error; }

HMODULE GetModuleHandleA(LPCSTR moduleName)
{
    // The program itself, named by its load address as the system does.
    if (!moduleName)
        return PlatformModuleOfAddress(reinterpret_cast<const void*>(getauxval(AT_ENTRY)));
    if (moduleName && EqualsIgnoringCase(moduleName, ole32Module.name))
        return reinterpret_cast<HMODULE>(&ole32Module);
    lastError = ERROR_FILE_NOT_FOUND;
    return nullptr;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR procName)
{
    if (module == reinterpret_cast<HMODULE>(&ole32Module) && procName) {
        if (std::strcmp(procName, "CoInitializeEx") == 0)
            return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&CoInitializeEx));
        if (std::strcmp(procName, "CoUninitialize") == 0)
            return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&CoUninitialize));
    }
    if (FARPROC procedure = LibraryProcedure(module, procName))
        return procedure;
    lastError = ERROR_PROC_NOT_FOUND;
    return nullptr;
}
