// A thread that a controlling thread drives with numbered commands, each
// answered by a reply value.
#pragma once

#include "framework/CritSection.h"
#include "platform/Platform.h"

#include <atomic>

// The command numbers of the streaming protocol. Any other 32-bit value may be
// posted too; the thread's command loop decides what it answers.
enum ThreadCommand : LONG {
    CommandInit = 0,
    CommandPause = 1,
    CommandRun = 2,
    CommandStop = 3,
    CommandExit = 4,
};

// Lifetime contract. ThreadMain runs code of the deriving class, so the
// deriving class must end the thread before its own parts are destroyed:
// its destructor calls EndThread (STOP, EXIT, join) or otherwise makes the
// thread return. This destructor only joins a thread that is still present;
// at that point the deriving parts are gone, so no command can be posted any
// more, and a thread still waiting for commands would be waited for for ever.
//
// A command posted to a thread that has already returned from ThreadMain (it
// ended after a failed INIT, or after EXIT but before the join) is answered
// E_FAIL at once instead of waiting for a reply that would never come.
class WorkerThread {
public:
    WorkerThread();
    virtual ~WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Starts the thread; false when one is already present or creation failed.
    bool StartThread();
    // One whole exchange: posts the command and waits for its reply. E_FAIL
    // with no thread, or when the thread has ended.
    HRESULT SendCommand(LONG command);
    // Ends a thread whose command loop answers STOP and EXIT (or that has
    // already ended), then joins it. No other caller's command comes between
    // the two. Nothing happens when no thread exists.
    void EndThread();
    // Waits for the thread to end and releases it; safe to call twice, and
    // from two threads at once.
    void JoinThread();
    bool ThreadExists() const { return threadHandle.load() != nullptr; }

protected:
    // The thread side. WaitCommand waits for a posted command and returns it
    // without consuming it: the same command is seen until it is answered.
    LONG WaitCommand();
    // Looks for a posted command without waiting; the command is written to
    // *command when one is pending and the pointer is not null.
    bool PeekCommand(LONG* command);
    // Answers the posted command and frees the caller.
    void ReplyCommand(HRESULT value);

    // The thread's body; its result is the thread's exit code.
    virtual DWORD ThreadMain() = 0;

    // The entry routine handed to the platform: COM for the thread, then
    // ThreadMain. Reachable here so that the routine itself can be exercised.
    static DWORD WINAPI ThreadEntry(LPVOID worker);

    // Free for deriving classes; the framework never takes it.
    CritSection workerLock;

private:
    // Called on the thread once ThreadMain has returned.
    void MarkEnded();

    HANDLE requestEvent; // manual reset: set while a command waits for its answer
    HANDLE replyEvent;   // auto reset: one signal per answer
    LONG command;
    HRESULT reply;
    std::atomic<HANDLE> threadHandle;
    CritSection callerLock; // one exchange at a time, and StartThread
    // Guards the hand-over between posting a command and the thread ending.
    CritSection postLock;
    bool threadEnded;
};
