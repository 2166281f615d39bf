#include "framework/SeekingBase.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

namespace {

const REFERENCE_TIME OpenEnd = SeekingBase::OpenEnd;
const REFERENCE_TIME Largest = INT64_MAX;

// True when a thread other than the caller can take the lock right now.
bool FreeForOtherThreads(CritSection* lock)
{
    bool taken = false;
    std::thread other([&] {
        taken = lock->TryLock();
        if (taken)
            lock->Unlock();
    });
    other.join();
    return taken;
}

// Records each hook as a letter (T stop, S start, R rate) with what it saw.
class TestSeeking : public SeekingBase {
public:
    explicit TestSeeking(CritSection* lock, IUnknown* owner = nullptr)
        : SeekingBase("MediaSeeking", owner, nullptr, lock)
    {
    }

    std::string hooks;
    bool lockHeldInHook = false;
    REFERENCE_TIME startSeen = -1;
    REFERENCE_TIME stopSeen = -1;
    double rateSeen = -1;
    HRESULT startResult = S_OK;
    HRESULT stopResult = S_OK;
    HRESULT rateResult = S_OK;
    bool probeLock = true;

    void Place(REFERENCE_TIME start, REFERENCE_TIME stop)
    {
        startPosition.store(start);
        stopPosition.store(stop);
    }

protected:
    HRESULT OnStartChanged() override { return Hook('S', startResult); }
    HRESULT OnStopChanged() override { return Hook('T', stopResult); }
    HRESULT OnRateChanged() override { return Hook('R', rateResult); }

private:
    HRESULT Hook(char which, HRESULT result)
    {
        hooks += which;
        if (probeLock && !FreeForOtherThreads(seekingLock))
            lockHeldInHook = true;
        startSeen = StartPosition();
        stopSeen = StopPosition();
        rateSeen = Rate();
        return result;
    }
};

struct PositionCase {
    const char* name;
    REFERENCE_TIME current;
    DWORD currentFlags;
    REFERENCE_TIME stop;
    DWORD stopFlags;
    HRESULT expected;
    REFERENCE_TIME startAfter;
    REFERENCE_TIME stopAfter;
    const char* hooks;
};

// Every case starts from start 3000 and stop 8000.
const PositionCase positionCases[] = {
    {"nothing asked", 1, 0, 2, 0, S_OK, 3000, 8000, ""},
    {"absolute start", 5000, 1, 0, 0, S_OK, 5000, 8000, "S"},
    {"relative start", -1000, 2, 0, 0, S_OK, 2000, 8000, "S"},
    {"start with key frame and return time", 4000, 1 | 4 | 8, 0, 0, S_OK, 4000, 8000, "S"},
    {"absolute stop", 0, 0, 9000, 1, S_OK, 3000, 9000, "T"},
    {"relative stop", 0, 0, 500, 2, S_OK, 3000, 8500, "T"},
    {"incremental stop from the old start", 0, 0, 700, 3, S_OK, 3000, 3700, "T"},
    {"incremental stop from the new start", 4000, 1, 1500, 3, S_OK, 4000, 5500, "TS"},
    {"incremental stop after a relative start", 1000, 2, 100, 3, S_OK, 4000, 4100, "TS"},
    {"no range check", -5, 1, -9, 1, S_OK, -5, -9, "TS"},
    {"start beyond stop", 90000, 1, 0, 0, S_OK, 90000, 8000, "S"},
    {"incremental start", 10, 3, 9000, 1, E_INVALIDARG, 3000, 8000, ""},
    {"start flags without positioning", 10, 8, 0, 0, E_INVALIDARG, 3000, 8000, ""},
    {"stop with return time", 0, 0, 9000, 1 | 8, E_INVALIDARG, 3000, 8000, ""},
    {"stop with key frame", 10, 1, 9000, 1 | 4, E_INVALIDARG, 3000, 8000, ""},
    {"stop flags without positioning", 0, 0, 9000, 0x20, E_INVALIDARG, 3000, 8000, ""},
    {"relative start overflows", Largest, 2, 0, 0, E_INVALIDARG, 3000, 8000, ""},
    {"relative stop overflows", 0, 0, Largest, 2, E_INVALIDARG, 3000, 8000, ""},
    {"incremental stop overflows", Largest - 100, 1, 200, 3, E_INVALIDARG, 3000, 8000, ""},
};

TEST(SeekingBase, SetPositionsFollowsTheFlagTable)
{
    CritSection lock;
    for (const PositionCase& row : positionCases) {
        SCOPED_TRACE(row.name);
        TestSeeking seeking(&lock);
        seeking.Place(3000, 8000);
        LONGLONG current = row.current;
        LONGLONG stop = row.stop;
        EXPECT_EQ(row.expected, seeking.SetPositions(&current, row.currentFlags, &stop, row.stopFlags));
        LONGLONG startAfter = 0, stopAfter = 0;
        EXPECT_EQ(S_OK, seeking.GetPositions(&startAfter, &stopAfter));
        EXPECT_EQ(row.startAfter, startAfter);
        EXPECT_EQ(row.stopAfter, stopAfter);
        EXPECT_EQ(std::string(row.hooks), seeking.hooks);
        // Nothing is written back, whatever the flags ask.
        EXPECT_EQ(row.current, current);
        EXPECT_EQ(row.stop, stop);
        if (!seeking.hooks.empty()) {
            EXPECT_FALSE(seeking.lockHeldInHook);
            // The hooks see the values already stored.
            EXPECT_EQ(row.startAfter, seeking.startSeen);
            EXPECT_EQ(row.stopAfter, seeking.stopSeen);
        }
    }
}

TEST(SeekingBase, SetPositionsRefusesMissingPointersBeforeChangingAnything)
{
    CritSection lock;
    TestSeeking seeking(&lock);
    seeking.Place(3000, 8000);
    LONGLONG value = 100;
    EXPECT_EQ(E_POINTER, seeking.SetPositions(nullptr, 1, &value, 1));
    EXPECT_EQ(E_POINTER, seeking.SetPositions(&value, 1, nullptr, 1));
    // The stop is checked first: its missing pointer wins over bad start flags.
    EXPECT_EQ(E_POINTER, seeking.SetPositions(&value, 3, nullptr, 2));
    EXPECT_EQ(E_POINTER, seeking.SetPositions(nullptr, 8, nullptr, 0));
    EXPECT_EQ(S_OK, seeking.SetPositions(nullptr, 0, nullptr, 0));
    LONGLONG start = 0, stop = 0;
    seeking.GetPositions(&start, &stop);
    EXPECT_EQ(3000, start);
    EXPECT_EQ(8000, stop);
    EXPECT_EQ("", seeking.hooks);
}

TEST(SeekingBase, HookResultsReachTheCallerWithoutHidingAFailure)
{
    CritSection lock;
    TestSeeking seeking(&lock);
    LONGLONG start = 10, stop = 20;
    seeking.stopResult = E_FAIL;
    EXPECT_EQ(E_FAIL, seeking.SetPositions(nullptr, 0, &stop, 1));
    // Both hooks run; the stop's failure is not replaced by the start's success.
    seeking.hooks.clear();
    EXPECT_EQ(E_FAIL, seeking.SetPositions(&start, 1, &stop, 1));
    EXPECT_EQ("TS", seeking.hooks);
    seeking.startResult = E_OUTOFMEMORY;
    EXPECT_EQ(E_OUTOFMEMORY, seeking.SetPositions(&start, 1, &stop, 1));
    seeking.stopResult = S_OK;
    seeking.startResult = S_FALSE;
    EXPECT_EQ(S_FALSE, seeking.SetPositions(&start, 1, &stop, 1));
}

TEST(SeekingBase, RateIsStoredUncheckedAndReported)
{
    CritSection lock;
    TestSeeking seeking(&lock);
    double rate = 0;
    EXPECT_EQ(S_OK, seeking.GetRate(&rate));
    EXPECT_EQ(1.0, rate);
    for (double wanted : {0.0, -2.5, 4.0}) {
        seeking.hooks.clear();
        EXPECT_EQ(S_OK, seeking.SetRate(wanted));
        EXPECT_EQ("R", seeking.hooks);
        EXPECT_EQ(wanted, seeking.rateSeen);
        EXPECT_EQ(S_OK, seeking.GetRate(&rate));
        EXPECT_EQ(wanted, rate);
    }
    EXPECT_FALSE(seeking.lockHeldInHook);
    seeking.rateResult = E_NOTIMPL;
    EXPECT_EQ(E_NOTIMPL, seeking.SetRate(2.0));
    EXPECT_EQ(E_POINTER, seeking.GetRate(nullptr));
}

TEST(SeekingBase, AnswersQueriesInMediaTime)
{
    CritSection lock;
    TestSeeking seeking(&lock);
    DWORD caps = 0;
    EXPECT_EQ(S_OK, seeking.GetCapabilities(&caps));
    EXPECT_EQ(DWORD(0x37), caps);
    caps = AM_SEEKING_CanGetCurrentPos;
    EXPECT_EQ(S_FALSE, seeking.CheckCapabilities(&caps));
    EXPECT_EQ(DWORD(0x8), caps);
    caps = 0x37;
    EXPECT_EQ(S_OK, seeking.CheckCapabilities(&caps));
    caps = AM_SEEKING_CanSeekAbsolute | AM_SEEKING_CanPlayBackwards;
    EXPECT_EQ(S_FALSE, seeking.CheckCapabilities(&caps));

    EXPECT_EQ(S_OK, seeking.IsFormatSupported(&TIME_FORMAT_MEDIA_TIME));
    EXPECT_EQ(S_FALSE, seeking.IsFormatSupported(&TIME_FORMAT_FRAME));
    EXPECT_EQ(S_OK, seeking.IsUsingTimeFormat(&TIME_FORMAT_MEDIA_TIME));
    EXPECT_EQ(S_FALSE, seeking.IsUsingTimeFormat(&TIME_FORMAT_BYTE));
    EXPECT_EQ(S_OK, seeking.SetTimeFormat(&TIME_FORMAT_MEDIA_TIME));
    EXPECT_EQ(E_INVALIDARG, seeking.SetTimeFormat(&TIME_FORMAT_SAMPLE));
    GUID format = GUID_NULL;
    EXPECT_EQ(S_OK, seeking.GetTimeFormat(&format));
    EXPECT_TRUE(IsEqualGUID(TIME_FORMAT_MEDIA_TIME, format));
    format = GUID_NULL;
    EXPECT_EQ(S_OK, seeking.QueryPreferredFormat(&format));
    EXPECT_TRUE(IsEqualGUID(TIME_FORMAT_MEDIA_TIME, format));

    LONGLONG converted = 0;
    EXPECT_EQ(S_OK, seeking.ConvertTimeFormat(&converted, nullptr, 12345, nullptr));
    EXPECT_EQ(12345, converted);
    EXPECT_EQ(S_OK, seeking.ConvertTimeFormat(&converted, &TIME_FORMAT_MEDIA_TIME, -7, &TIME_FORMAT_MEDIA_TIME));
    EXPECT_EQ(-7, converted);
    EXPECT_EQ(E_INVALIDARG, seeking.ConvertTimeFormat(&converted, &TIME_FORMAT_FRAME, 1, nullptr));
    EXPECT_EQ(E_INVALIDARG, seeking.ConvertTimeFormat(&converted, nullptr, 1, &TIME_FORMAT_FRAME));
    EXPECT_EQ(-7, converted);

    LONGLONG position = 99;
    EXPECT_EQ(E_NOTIMPL, seeking.GetCurrentPosition(&position));
    EXPECT_EQ(99, position);

    LONGLONG value = 0;
    EXPECT_EQ(S_OK, seeking.GetDuration(&value));
    EXPECT_EQ(OpenEnd, value);
    EXPECT_EQ(S_OK, seeking.GetStopPosition(&value));
    EXPECT_EQ(OpenEnd, value);
    LONGLONG earliest = -1, latest = -1;
    EXPECT_EQ(S_OK, seeking.GetAvailable(&earliest, &latest));
    EXPECT_EQ(0, earliest);
    EXPECT_EQ(OpenEnd, latest);
    EXPECT_EQ(S_OK, seeking.GetAvailable(nullptr, nullptr));
    EXPECT_EQ(S_OK, seeking.GetPositions(nullptr, nullptr));
    value = -1;
    EXPECT_EQ(S_OK, seeking.GetPreroll(&value));
    EXPECT_EQ(0, value);
}

TEST(SeekingBase, MissingPointersAreRefused)
{
    CritSection lock;
    TestSeeking seeking(&lock);
    EXPECT_EQ(E_POINTER, seeking.GetCapabilities(nullptr));
    EXPECT_EQ(E_POINTER, seeking.CheckCapabilities(nullptr));
    EXPECT_EQ(E_POINTER, seeking.IsFormatSupported(nullptr));
    EXPECT_EQ(E_POINTER, seeking.IsUsingTimeFormat(nullptr));
    EXPECT_EQ(E_POINTER, seeking.SetTimeFormat(nullptr));
    EXPECT_EQ(E_POINTER, seeking.QueryPreferredFormat(nullptr));
    EXPECT_EQ(E_POINTER, seeking.GetTimeFormat(nullptr));
    EXPECT_EQ(E_POINTER, seeking.GetDuration(nullptr));
    EXPECT_EQ(E_POINTER, seeking.GetStopPosition(nullptr));
    EXPECT_EQ(E_POINTER, seeking.ConvertTimeFormat(nullptr, nullptr, 1, nullptr));
    EXPECT_EQ(E_POINTER, seeking.GetPreroll(nullptr));
    EXPECT_EQ(E_NOTIMPL, seeking.GetCurrentPosition(nullptr));
}

// Counts what reaches it, as the pin that embeds a seeking object would.
class CountingOwner : public IUnknown {
public:
    STDMETHODIMP QueryInterface(REFIID, void** out) override
    {
        ++queries;
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ULONG(++count); }
    STDMETHODIMP_(ULONG) Release() override { return ULONG(--count); }
    int count = 1;
    int queries = 0;
};

TEST(SeekingBase, UnknownMethodsBelongToTheOwner)
{
    CritSection lock;
    CountingOwner owner;
    {
        TestSeeking seeking(&lock, &owner);
        IMediaSeeking* face = &seeking;
        EXPECT_EQ(2u, face->AddRef());
        EXPECT_EQ(1u, face->Release());
        void* out = &owner;
        EXPECT_EQ(E_NOINTERFACE, face->QueryInterface(IID_IMediaSeeking, &out));
        EXPECT_EQ(1, owner.queries);
    }
    EXPECT_EQ(1, owner.count);

    // With no owner the object is its own identity and dies at its last release.
    LONG live = LiveObjectCount;
    IMediaSeeking* alone = new TestSeeking(&lock);
    EXPECT_EQ(live + 1, LiveObjectCount);
    alone->AddRef();
    IMediaSeeking* again = nullptr;
    ASSERT_EQ(S_OK, alone->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&again)));
    EXPECT_EQ(alone, again);
    IUnknown* identity = nullptr;
    ASSERT_EQ(S_OK, alone->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)));
    identity->Release();
    again->Release();
    EXPECT_EQ(0u, alone->Release());
    EXPECT_EQ(live, LiveObjectCount);
}

TEST(SeekingBase, PositionsReadWithoutTheLockAreNeverTorn)
{
    // The streaming thread reads the positions without the lock while the
    // controlling thread seeks.
    CritSection lock;
    TestSeeking seeking(&lock);
    seeking.probeLock = false;
    const LONGLONG first = 0x1111111122222222, second = 0x3333333344444444;
    std::atomic<bool> done{false};
    std::atomic<int> torn{0};
    std::thread reader([&] {
        while (!done.load()) {
            LONGLONG start = seeking.StartPosition();
            LONGLONG current = 0;
            seeking.GetPositions(&current, nullptr);
            for (LONGLONG value : {start, current})
                if (value != 0 && value != first && value != second)
                    torn.fetch_add(1);
        }
    });
    for (int i = 0; i < 20000; ++i) {
        LONGLONG position = (i & 1) ? first : second;
        seeking.SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr, 0);
    }
    done.store(true);
    reader.join();
    EXPECT_EQ(0, torn.load());
}

} // namespace
