// The layer's primitives, checked against what the system does: the same
// source runs natively against the layer and under Wine against the system.
#include "framework/CritSection.h"
#include "platform/TestHooks.h"
#include "tests/support/Fixtures.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

TEST(Events, ManualResetStaysSignalledUntilReset)
{
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(nullptr, event);
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(event, 0));
    ASSERT_TRUE(SetEvent(event));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, 0));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, 0));
    ASSERT_TRUE(ResetEvent(event));
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(event, 10));
    CloseHandle(event);
}

TEST(Events, AutoResetReleasesOneWaitAndClears)
{
    HANDLE event = CreateEventA(nullptr, FALSE, TRUE, nullptr);
    ASSERT_NE(nullptr, event);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, 0));
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(event, 0));
    SetEvent(event);
    SetEvent(event); // signalling twice does not count twice
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, 0));
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(event, 0));
    CloseHandle(event);
}

struct Handshake {
    HANDLE request;
    HANDLE reply;
    std::atomic<int> seen{0};
};

DWORD WINAPI AnswerOnce(LPVOID parameter)
{
    auto* shake = static_cast<Handshake*>(parameter);
    WaitForSingleObject(shake->request, INFINITE);
    shake->seen = 1;
    SetEvent(shake->reply);
    return 7;
}

TEST(Threads, EventsCarryAHandshakeAndTheThreadCanBeJoined)
{
    Handshake shake;
    shake.request = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    shake.reply = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE thread = CreateThread(nullptr, 0, AnswerOnce, &shake, 0, nullptr);
    ASSERT_NE(nullptr, thread);
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(thread, 20)) << "the thread waits for the request";
    SetEvent(shake.request);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(shake.reply, INFINITE));
    EXPECT_EQ(1, shake.seen.load());
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, INFINITE));
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(7u, code);
    CloseHandle(thread);
    CloseHandle(shake.request);
    CloseHandle(shake.reply);
}

struct LockedCounter {
    CritSection lock;
    HANDLE holding;
    HANDLE tryNow;
    std::atomic<bool> enteredWhileHeld{false};
    int counter = 0;
};

DWORD WINAPI ContendForLock(LPVOID parameter)
{
    auto* shared = static_cast<LockedCounter*>(parameter);
    WaitForSingleObject(shared->holding, INFINITE);
    SetEvent(shared->tryNow);
    AutoLock guard(&shared->lock); // blocks until the owner has left twice
    shared->counter += 1;
    return 0;
}

TEST(CritSection, IsReentrantForItsOwnerAndExcludesOthers)
{
    LockedCounter shared;
    shared.holding = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    shared.tryNow = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = CreateThread(nullptr, 0, ContendForLock, &shared, 0, nullptr);
    ASSERT_NE(nullptr, thread);
    {
        AutoLock outer(&shared.lock);
        AutoLock inner(&shared.lock); // same thread again: no deadlock
        SetEvent(shared.holding);
        WaitForSingleObject(shared.tryNow, INFINITE);
        Sleep(30);
        EXPECT_EQ(0, shared.counter) << "the other thread must wait for both levels";
        shared.counter = 10;
    }
    WaitForSingleObject(thread, INFINITE);
    EXPECT_EQ(11, shared.counter);
    CloseHandle(thread);
    CloseHandle(shared.holding);
    CloseHandle(shared.tryNow);
}

TEST(Interlocked, ReturnsTheNewValueAndExchangeTheOld)
{
    LONG volatile value = 5;
    EXPECT_EQ(6, InterlockedIncrement(&value));
    EXPECT_EQ(5, InterlockedDecrement(&value));
    EXPECT_EQ(5, InterlockedExchange(&value, 9));
    EXPECT_EQ(9, value);
}

TEST(Guids, StringFromClsidIsBracedUpperCaseAndThirtyEightCharacters)
{
    LPOLESTR text = nullptr;
    ASSERT_EQ(S_OK, StringFromCLSID(CLSID_MemoryAllocator, &text));
    EXPECT_STREQ(L"{1E651CC0-B199-11D0-8212-00C04FC32C45}", text);
    EXPECT_EQ(38u, wcslen(text));
    CoTaskMemFree(text);

    OLECHAR buffer[39];
    EXPECT_EQ(39, StringFromGUID2(IID_IMediaSeeking, buffer, 39));
    EXPECT_STREQ(L"{36B73880-C2C8-11CF-8B46-00805F6CEF60}", buffer);
    EXPECT_EQ(0, StringFromGUID2(IID_IMediaSeeking, buffer, 38)) << "one character short";
}

TEST(Guids, ComparisonIsByteWise)
{
    GUID copy = IID_IPin;
    EXPECT_TRUE(IsEqualGUID(copy, IID_IPin));
    copy.Data4[7] ^= 1;
    EXPECT_FALSE(IsEqualGUID(copy, IID_IPin));
    EXPECT_TRUE(copy != IID_IPin);
}

TEST(CodePage, NonAsciiNameSurvivesTheRoundTrip)
{
    // "Vidéo" with a Latin-1 character, the kind of name a user's movie has.
    const wchar_t* wide = L"Vid\u00e9o.mp4";
    int needed = WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    ASSERT_GT(needed, 0);
    char narrow[64] = {};
    ASSERT_EQ(needed, WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow, sizeof narrow, nullptr, nullptr));
    EXPECT_EQ('\0', narrow[needed - 1]);
    wchar_t back[64] = {};
    int count = MultiByteToWideChar(CP_ACP, 0, narrow, -1, back, 64);
    EXPECT_EQ(int(wcslen(wide)) + 1, count);
    EXPECT_STREQ(wide, back);
}

TEST(CodePage, AsciiConvertsOneForOneAndShortBuffersFail)
{
    wchar_t wide[8] = {};
    EXPECT_EQ(6, MultiByteToWideChar(CP_ACP, 0, "Movie", -1, wide, 8));
    EXPECT_STREQ(L"Movie", wide);
    EXPECT_EQ(6, MultiByteToWideChar(CP_ACP, 0, "Movie", -1, nullptr, 0)) << "size query";
    EXPECT_EQ(0, MultiByteToWideChar(CP_ACP, 0, "Movie", -1, wide, 3));
    EXPECT_EQ(DWORD(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    char narrow[4];
    EXPECT_EQ(0, WideCharToMultiByte(CP_ACP, 0, L"Movie", -1, narrow, sizeof narrow, nullptr, nullptr));
    EXPECT_EQ(DWORD(ERROR_INSUFFICIENT_BUFFER), GetLastError());
}

// More reads under way at once than the kernel's queues hold, each at its own
// offset; then the end of the file, and a close with reads still out. Batched,
// and (where the layer can be made to) completed within ReadFile.
TEST(OverlappedReads, EachGetsItsBytesAndTheEndOfTheFileIsReported)
{
    std::vector<unsigned char> content(65636);
    for (size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<unsigned char>(i * 131 + (i >> 8));
    const std::string path = TempPath("overlapped-reads.bin");
    FILE* out = std::fopen(path.c_str(), "wb");
    ASSERT_NE(nullptr, out);
    ASSERT_EQ(content.size(), std::fwrite(content.data(), 1, content.size(), out));
    std::fclose(out);

    struct Read {
        DWORD offset, count, expected, error;
        OVERLAPPED overlapped;
        unsigned char buffer[1000];
        DWORD failure; // when ReadFile itself failed, or 0
    };
    for (bool atOnce : {false, true}) {
        if (atOnce && !CompleteOverlappedReadsAtOnce(true))
            continue;
        SCOPED_TRACE(atOnce ? "completed at once" : "batched");
        FILE* file = std::fopen(path.c_str(), "rb");
        ASSERT_NE(nullptr, file);
        HANDLE handle = ReOpenFile(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file))), GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_FLAG_OVERLAPPED);
        CompleteOverlappedReadsAtOnce(false);
        ASSERT_NE(INVALID_HANDLE_VALUE, handle);

        std::vector<Read> reads;
        for (DWORD i = 0; i < 80; ++i)
            reads.push_back({i * 797, 1000, 1000, 0, {}, {}, 0});
        reads.push_back({DWORD(content.size()) - 300, 1000, 300, 0, {}, {}, 0}); // straddles the end
        reads.push_back({DWORD(content.size()) + 10, 1000, 0, ERROR_HANDLE_EOF, {}, {}, 0});
        reads.push_back({0, 0, 0, 0, {}, {}, 0});
        for (DWORD i = 0; i < 3; ++i) // still out when the handle closes
            reads.push_back({i * 4000, 1000, 1000, 0, {}, {}, 0});
        auto start = [&](Read& read) {
            read.overlapped.Offset = read.offset;
            read.overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
            const BOOL done = ReadFile(handle, read.buffer, read.count, nullptr, &read.overlapped);
            read.failure = done || GetLastError() == ERROR_IO_PENDING ? 0 : GetLastError();
            EXPECT_TRUE(done || !atOnce || read.error || !read.count) << "read at " << read.offset;
        };
        for (size_t i = 0; i < reads.size() - 3; ++i)
            start(reads[i]);
        for (size_t i = 0; i < reads.size() - 3; ++i) {
            Read& read = reads[i];
            DWORD got = 12345;
            DWORD error = read.failure;
            if (!error && !GetOverlappedResult(handle, &read.overlapped, &got, TRUE))
                error = GetLastError();
            EXPECT_EQ(read.error, error) << "read at " << read.offset;
            if (error)
                continue;
            EXPECT_EQ(read.expected, got) << "read at " << read.offset;
            EXPECT_EQ(0, std::memcmp(read.buffer, &content[read.offset], read.expected)) << "read at " << read.offset;
            EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(read.overlapped.hEvent, 0)) << "read at " << read.offset;
        }
        for (size_t i = reads.size() - 3; i < reads.size(); ++i)
            start(reads[i]);
        EXPECT_TRUE(CloseHandle(handle));
        for (Read& read : reads) {
            if (!read.failure) {
                EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(read.overlapped.hEvent, 5000)) << "every read ends";
            }
            CloseHandle(read.overlapped.hEvent);
        }
        std::fclose(file);
    }
    std::remove(path.c_str());
}

TEST(TaskMemory, AllocatesAndFrees)
{
    void* block = CoTaskMemAlloc(100);
    ASSERT_NE(nullptr, block);
    std::memset(block, 0xAB, 100);
    CoTaskMemFree(block);
    CoTaskMemFree(nullptr);
}

} // namespace
