#include "framework/WorkerThread.h"

namespace {

typedef HRESULT(WINAPI* CoInitializeExRoutine)(LPVOID reserved, DWORD flags);

// The thread joins the multithreaded apartment, but only through a COM run
// time that the process has already loaded: the module never pulls it in.
HRESULT InitialiseThreadCom()
{
    HMODULE ole32 = GetModuleHandleA("ole32.dll");
    if (!ole32)
        return E_FAIL;
    FARPROC entry = GetProcAddress(ole32, "CoInitializeEx");
    if (!entry)
        return E_FAIL;
    // Through void* because the platform's generic procedure type does not
    // match the routine's signature.
    auto coInitializeEx = reinterpret_cast<CoInitializeExRoutine>(reinterpret_cast<void*>(entry));
    return coInitializeEx(nullptr, COINIT_MULTITHREADED | COINIT_DISABLE_OLE1DDE);
}

} // namespace

WorkerThread::WorkerThread()
    : requestEvent(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      replyEvent(CreateEventA(nullptr, FALSE, FALSE, nullptr)), command(0), reply(S_OK), threadHandle(nullptr),
      threadEnded(false)
{
}

WorkerThread::~WorkerThread()
{
    JoinThread();
    if (requestEvent)
        CloseHandle(requestEvent);
    if (replyEvent)
        CloseHandle(replyEvent);
}

bool WorkerThread::StartThread()
{
    AutoLock exchange(&callerLock);
    if (ThreadExists())
        return false;
    {
        AutoLock post(&postLock);
        threadEnded = false;
    }
    DWORD threadId = 0;
    HANDLE thread = CreateThread(nullptr, 0, &WorkerThread::ThreadEntry, this, 0, &threadId);
    threadHandle.store(thread);
    return thread != nullptr;
}

HRESULT WorkerThread::SendCommand(LONG newCommand)
{
    AutoLock exchange(&callerLock);
    if (!ThreadExists())
        return E_FAIL;
    {
        AutoLock post(&postLock);
        if (threadEnded)
            return E_FAIL;
        command = newCommand;
        SetEvent(requestEvent);
    }
    WaitForSingleObject(replyEvent, INFINITE);
    return reply;
}

void WorkerThread::EndThread()
{
    {
        // STOP and EXIT form one exchange: a command from another caller
        // between them (a RUN that restarts streaming after a seek) would
        // have the EXIT refused by a streaming thread, and the join below
        // would wait for ever.
        AutoLock exchange(&callerLock);
        if (!ThreadExists())
            return;
        // The replies do not matter: a thread that has ended answers E_FAIL
        // at once, and one in its command loop leaves it on EXIT.
        SendCommand(CommandStop);
        SendCommand(CommandExit);
    }
    JoinThread();
}

void WorkerThread::JoinThread()
{
    HANDLE thread = threadHandle.exchange(nullptr);
    if (!thread)
        return;
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
}

LONG WorkerThread::WaitCommand()
{
    WaitForSingleObject(requestEvent, INFINITE);
    return command;
}

bool WorkerThread::PeekCommand(LONG* pending)
{
    if (WaitForSingleObject(requestEvent, 0) != WAIT_OBJECT_0)
        return false;
    if (pending)
        *pending = command;
    return true;
}

void WorkerThread::ReplyCommand(HRESULT value)
{
    reply = value;
    ResetEvent(requestEvent);
    SetEvent(replyEvent);
}

void WorkerThread::MarkEnded()
{
    AutoLock post(&postLock);
    threadEnded = true;
    // A command posted while ThreadMain was returning would otherwise keep
    // its caller waiting for ever.
    if (PeekCommand(nullptr))
        ReplyCommand(E_FAIL);
}

DWORD WINAPI WorkerThread::ThreadEntry(LPVOID parameter)
{
    auto* worker = static_cast<WorkerThread*>(parameter);
    HRESULT com = InitialiseThreadCom();
    DWORD exitCode = worker->ThreadMain();
    worker->MarkEnded();
    // S_FALSE (already initialised) also took a reference that must be given back.
    if (SUCCEEDED(com))
        CoUninitialize();
    return exitCode;
}
