#include "framework/WorkerThread.h"
#include "tests/support/Watchdog.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

// Commands of the test loop's own, beside the framework's numbers.
const LONG CommandSpin = 100;         // answer, then peek until something else is posted
const LONG CommandQuitSilently = 101; // leave ThreadMain without answering
const DWORD ExitCode = 0xC0DE;

// A small command loop: most commands are answered with their number plus
// one, so a reply shows which command it belongs to.
class ScriptedThread : public WorkerThread {
public:
    ~ScriptedThread() override { EndThread(); }

    // Written by the thread; read by the test only after the join.
    std::vector<LONG> seen;
    LONG peeked = -1;
    HRESULT comOnThread = E_UNEXPECTED;
    std::atomic<int> spins{0};

protected:
    DWORD ThreadMain() override
    {
        // The entry routine has put the thread in the multithreaded
        // apartment already, so joining it again only adds a reference.
        comOnThread = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        if (SUCCEEDED(comOnThread))
            CoUninitialize();
        for (;;) {
            LONG command = WaitCommand();
            seen.push_back(command);
            switch (command) {
            case CommandExit:
                ReplyCommand(S_OK);
                return ExitCode;
            case CommandQuitSilently:
                return 1;
            case CommandSpin:
                ReplyCommand(S_OK);
                // The posted command stays posted, so WaitCommand sees it next.
                while (!PeekCommand(&peeked))
                    spins.fetch_add(1);
                break;
            default:
                ReplyCommand(HRESULT(command + 1));
            }
        }
    }
};

// Runs its body once on the calling thread through the entry routine.
class OneShot : public WorkerThread {
public:
    using WorkerThread::ThreadEntry;
    DWORD code = 0;
    HRESULT comInside = E_UNEXPECTED;

protected:
    DWORD ThreadMain() override
    {
        comInside = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        if (SUCCEEDED(comInside))
            CoUninitialize();
        return code;
    }
};

template <typename Predicate>
bool WaitUntil(Predicate ready)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!ready()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

TEST(WorkerThread, AnswersCommandsInOrderAndJoinsOnce)
{
    Watchdog watchdog("command exchange", 60);
    ScriptedThread worker;
    EXPECT_FALSE(worker.ThreadExists());
    ASSERT_TRUE(worker.StartThread());
    EXPECT_TRUE(worker.ThreadExists());
    EXPECT_FALSE(worker.StartThread());

    EXPECT_EQ(HRESULT(11), worker.SendCommand(10));
    EXPECT_EQ(HRESULT(-4), worker.SendCommand(-5));
    EXPECT_EQ(HRESULT(CommandStop + 1), worker.SendCommand(CommandStop));
    EXPECT_EQ(S_OK, worker.SendCommand(CommandExit));
    worker.JoinThread();
    EXPECT_FALSE(worker.ThreadExists());
    worker.JoinThread();
    EXPECT_EQ((std::vector<LONG>{10, -5, CommandStop, CommandExit}), worker.seen);
    EXPECT_EQ(S_FALSE, worker.comOnThread);

    // Once joined, the object takes a new thread.
    EXPECT_EQ(E_FAIL, worker.SendCommand(10));
    ASSERT_TRUE(worker.StartThread());
    EXPECT_EQ(HRESULT(8), worker.SendCommand(7));
}

TEST(WorkerThread, SendingWithNoThreadFailsAndPostsNothing)
{
    Watchdog watchdog("command exchange", 60);
    ScriptedThread worker;
    EXPECT_EQ(E_FAIL, worker.SendCommand(10));
    ASSERT_TRUE(worker.StartThread());
    EXPECT_EQ(HRESULT(21), worker.SendCommand(20));
    EXPECT_EQ(S_OK, worker.SendCommand(CommandExit));
    worker.JoinThread();
    EXPECT_EQ((std::vector<LONG>{20, CommandExit}), worker.seen);
}

TEST(WorkerThread, PeekingNeitherWaitsNorConsumesTheCommand)
{
    Watchdog watchdog("peek", 60);
    ScriptedThread worker;
    ASSERT_TRUE(worker.StartThread());
    EXPECT_EQ(S_OK, worker.SendCommand(CommandSpin));
    // Peeking with nothing posted returns at once, again and again.
    EXPECT_TRUE(WaitUntil([&] { return worker.spins.load() > 100; }));
    EXPECT_EQ(HRESULT(31), worker.SendCommand(30));
    worker.EndThread();
    EXPECT_FALSE(worker.ThreadExists());
    EXPECT_EQ(30, worker.peeked);
    // 30 was peeked in the loop and then taken by WaitCommand and answered.
    EXPECT_EQ((std::vector<LONG>{CommandSpin, 30, CommandStop, CommandExit}), worker.seen);
}

TEST(WorkerThread, CommandsToAThreadThatHasEndedAreRefusedAtOnce)
{
    Watchdog watchdog("ended thread", 60);
    ScriptedThread worker;
    ASSERT_TRUE(worker.StartThread());
    // The loop returns without answering: the caller is not left waiting.
    EXPECT_EQ(E_FAIL, worker.SendCommand(CommandQuitSilently));
    EXPECT_EQ(E_FAIL, worker.SendCommand(10));
    // Ended but not joined: the handle is still held.
    EXPECT_TRUE(worker.ThreadExists());
    EXPECT_FALSE(worker.StartThread());
    worker.EndThread();
    EXPECT_FALSE(worker.ThreadExists());
    EXPECT_EQ((std::vector<LONG>{CommandQuitSilently}), worker.seen);

    ASSERT_TRUE(worker.StartThread());
    EXPECT_EQ(HRESULT(11), worker.SendCommand(10));
    EXPECT_EQ(S_OK, worker.SendCommand(CommandExit));
    // After EXIT the thread is gone; ending it again must not wait for a reply.
    worker.EndThread();
    EXPECT_FALSE(worker.ThreadExists());
    worker.EndThread();
}

TEST(WorkerThread, DestroyingEndsAThreadLeftRunning)
{
    Watchdog watchdog("destruction", 60);
    {
        ScriptedThread worker;
        ASSERT_TRUE(worker.StartThread());
        EXPECT_EQ(S_OK, worker.SendCommand(CommandSpin));
    }
    {
        ScriptedThread ended;
        ASSERT_TRUE(ended.StartThread());
        EXPECT_EQ(S_OK, ended.SendCommand(CommandExit));
    }
}

TEST(WorkerThread, TwoCallersNeverGetEachOthersReplies)
{
    Watchdog watchdog("two callers", 120);
    const int exchanges = 2000;
    ScriptedThread worker;
    ASSERT_TRUE(worker.StartThread());
    std::atomic<int> wrongReplies{0};
    auto caller = [&](LONG base) {
        for (LONG i = 0; i < exchanges; ++i)
            if (worker.SendCommand(base + i) != HRESULT(base + i + 1))
                wrongReplies.fetch_add(1);
    };
    std::thread first(caller, 1000000);
    std::thread second(caller, 2000000);
    first.join();
    second.join();
    EXPECT_EQ(0, wrongReplies.load());
    EXPECT_EQ(S_OK, worker.SendCommand(CommandExit));
    worker.JoinThread();

    // Every command reached the thread once, each caller's in its own order.
    ASSERT_EQ(size_t(2 * exchanges + 1), worker.seen.size());
    LONG next[2] = {1000000, 2000000};
    for (size_t i = 0; i + 1 < worker.seen.size(); ++i) {
        LONG command = worker.seen[i];
        int which = command >= 2000000 ? 1 : 0;
        ASSERT_EQ(next[which], command) << "at " << i;
        ++next[which];
    }
}

TEST(WorkerThread, EntryRoutineWrapsThreadMainInTheMultithreadedApartment)
{
    OneShot shot;
    shot.code = 0xFEED;
    EXPECT_EQ(DWORD(0xFEED), OneShot::ThreadEntry(&shot));
    EXPECT_EQ(S_FALSE, shot.comInside);
    // The routine gave back what it took: this thread has no apartment now.
    HRESULT after = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    EXPECT_EQ(S_OK, after);
    if (SUCCEEDED(after))
        CoUninitialize();
}

TEST(WorkerThread, EntryRoutineLeavesAnApartmentItCouldNotJoin)
{
    // The thread is in a single-threaded apartment already: joining the
    // multithreaded one fails, and the routine must not uninitialise then.
    ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    OneShot shot;
    shot.code = 3;
    EXPECT_EQ(DWORD(3), OneShot::ThreadEntry(&shot));
    EXPECT_EQ(RPC_E_CHANGED_MODE, shot.comInside);
    HRESULT still = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    EXPECT_EQ(S_FALSE, still);
    if (SUCCEEDED(still))
        CoUninitialize();
    CoUninitialize();
}

} // namespace
