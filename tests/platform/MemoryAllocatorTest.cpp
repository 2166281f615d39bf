// The standard memory allocator and its media samples, checked against what
// the system does: the same source runs natively against the layer and under
// Wine against the system's allocator.
#include "framework/ComPtr.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

namespace {

class MemoryAllocatorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CoInitialize(nullptr);
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                                         allocator.PutVoid()));
    }
    void TearDown() override
    {
        if (allocator)
            allocator->Decommit();
        allocator.Reset();
        CoUninitialize();
    }

    // Sets the properties and commits; returns what was granted.
    ALLOCATOR_PROPERTIES Prepare(LONG buffers, LONG size, LONG align = 1, LONG prefix = 0)
    {
        ALLOCATOR_PROPERTIES request = {buffers, size, align, prefix};
        ALLOCATOR_PROPERTIES actual = {};
        EXPECT_EQ(S_OK, allocator->SetProperties(&request, &actual));
        EXPECT_EQ(S_OK, allocator->Commit());
        return actual;
    }

    ComPtr<IMediaSample> Take(DWORD flags = 0)
    {
        ComPtr<IMediaSample> sample;
        EXPECT_EQ(S_OK, allocator->GetBuffer(sample.Put(), nullptr, nullptr, flags));
        return sample;
    }

    static BYTE* PointerOf(IMediaSample* sample)
    {
        BYTE* pointer = nullptr;
        EXPECT_EQ(S_OK, sample->GetPointer(&pointer));
        return pointer;
    }

    ComPtr<IMemAllocator> allocator;
};

// Polls until done is set or a second has passed.
bool WaitUntil(const std::atomic<bool>& done)
{
    for (int i = 0; i < 1000 && !done; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return done;
}

TEST_F(MemoryAllocatorTest, SetPropertiesReportsWhatItGrantedAndSamplesMatchIt)
{
    ALLOCATOR_PROPERTIES request = {3, 1000, 16, 0};
    ALLOCATOR_PROPERTIES actual = {-1, -1, -1, -1};
    ASSERT_EQ(S_OK, allocator->SetProperties(&request, &actual));
    EXPECT_GE(actual.cBuffers, 3);
    EXPECT_GE(actual.cbBuffer, 1000);
    EXPECT_EQ(16, actual.cbAlign);
    ALLOCATOR_PROPERTIES stored = {};
    ASSERT_EQ(S_OK, allocator->GetProperties(&stored));
    EXPECT_EQ(0, std::memcmp(&stored, &actual, sizeof stored)) << "GetProperties answers what was granted";

    ASSERT_EQ(S_OK, allocator->Commit());
    ComPtr<IMediaSample> sample = Take();
    EXPECT_EQ(actual.cbBuffer, sample->GetSize());
    EXPECT_EQ(0u, reinterpret_cast<uintptr_t>(PointerOf(sample.Get())) % 16);
    // The whole granted size is usable.
    std::memset(PointerOf(sample.Get()), 0xA5, size_t(sample->GetSize()));
}

TEST_F(MemoryAllocatorTest, AlignmentMustBeAPowerOfTwo)
{
    ALLOCATOR_PROPERTIES actual = {};
    ALLOCATOR_PROPERTIES zero = {1, 100, 0, 0};
    EXPECT_EQ(VFW_E_BADALIGN, allocator->SetProperties(&zero, &actual));
    // The system refuses three either at once or at the commit.
    ALLOCATOR_PROPERTIES three = {1, 100, 3, 0};
    HRESULT set = allocator->SetProperties(&three, &actual);
    HRESULT commit = SUCCEEDED(set) ? allocator->Commit() : set;
    EXPECT_EQ(VFW_E_BADALIGN, commit);
}

TEST_F(MemoryAllocatorTest, CommitNeedsBuffersOfSomeSize)
{
    EXPECT_TRUE(FAILED(allocator->Commit())) << "nothing was set";
    ALLOCATOR_PROPERTIES none = {1, 0, 1, 0};
    ALLOCATOR_PROPERTIES actual = {};
    ASSERT_EQ(S_OK, allocator->SetProperties(&none, &actual));
    EXPECT_EQ(VFW_E_SIZENOTSET, allocator->Commit());
}

TEST_F(MemoryAllocatorTest, GetBufferFailsUntilCommittedAndSetPropertiesFailsWhileCommitted)
{
    ALLOCATOR_PROPERTIES request = {2, 64, 1, 0};
    ALLOCATOR_PROPERTIES actual = {};
    ASSERT_EQ(S_OK, allocator->SetProperties(&request, &actual));
    IMediaSample* sample = reinterpret_cast<IMediaSample*>(1);
    EXPECT_EQ(VFW_E_NOT_COMMITTED, allocator->GetBuffer(&sample, nullptr, nullptr, 0));
    EXPECT_EQ(nullptr, sample);

    ASSERT_EQ(S_OK, allocator->Commit());
    EXPECT_EQ(S_OK, allocator->Commit()) << "a second commit changes nothing";
    EXPECT_EQ(VFW_E_ALREADY_COMMITTED, allocator->SetProperties(&request, &actual));
    ASSERT_EQ(S_OK, allocator->Decommit());
    EXPECT_EQ(S_OK, allocator->Decommit());
    EXPECT_EQ(VFW_E_NOT_COMMITTED, allocator->GetBuffer(&sample, nullptr, nullptr, 0));
}

TEST_F(MemoryAllocatorTest, HandsOutEachBufferOnceAndAReleasedSampleAgain)
{
    ALLOCATOR_PROPERTIES actual = Prepare(2, 256);
    ASSERT_EQ(2, actual.cBuffers);
    ComPtr<IMediaSample> first = Take();
    ComPtr<IMediaSample> second = Take();
    BYTE* a = PointerOf(first.Get());
    BYTE* b = PointerOf(second.Get());
    EXPECT_TRUE(a + 256 <= b || b + 256 <= a) << "the two buffers overlap";
    std::memset(a, 1, 256);
    std::memset(b, 2, 256);
    EXPECT_EQ(1, a[255]);

    IMediaSample* none = nullptr;
    EXPECT_EQ(VFW_E_TIMEOUT, allocator->GetBuffer(&none, nullptr, nullptr, AM_GBF_NOWAIT));
    EXPECT_EQ(nullptr, none);

    first.Reset();
    ComPtr<IMediaSample> again = Take(AM_GBF_NOWAIT);
    ASSERT_TRUE(again);
    EXPECT_EQ(a, PointerOf(again.Get())) << "the released buffer is the free one";
}

TEST_F(MemoryAllocatorTest, ABlockedGetBufferFailsWhenDecommitted)
{
    Prepare(1, 64);
    ComPtr<IMediaSample> held = Take();
    std::atomic<bool> done{false};
    HRESULT result = S_OK;
    IMediaSample* got = reinterpret_cast<IMediaSample*>(1);
    std::thread waiter([&] {
        result = allocator->GetBuffer(&got, nullptr, nullptr, 0);
        done = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(done) << "GetBuffer waits while every buffer is out";
    ASSERT_EQ(S_OK, allocator->Decommit());
    bool finished = WaitUntil(done);
    EXPECT_TRUE(finished) << "Decommit did not release the waiting GetBuffer";
    if (!finished)
        held.Reset(); // let the waiter go before joining
    waiter.join();
    EXPECT_TRUE(FAILED(result));
    EXPECT_EQ(nullptr, got);
    if (SUCCEEDED(result) && got)
        got->Release();
}

TEST_F(MemoryAllocatorTest, ReleasingASampleWakesAWaitingGetBuffer)
{
    Prepare(1, 64);
    ComPtr<IMediaSample> held = Take();
    BYTE* buffer = PointerOf(held.Get());
    std::atomic<bool> done{false};
    HRESULT result = E_FAIL;
    IMediaSample* got = nullptr;
    std::thread waiter([&] {
        result = allocator->GetBuffer(&got, nullptr, nullptr, 0);
        done = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(done);
    held.Reset();
    waiter.join();
    ASSERT_EQ(S_OK, result);
    ASSERT_NE(nullptr, got);
    EXPECT_EQ(buffer, PointerOf(got));
    got->Release();
}

TEST_F(MemoryAllocatorTest, SamplesOutAtDecommitStayUsableAndBuffersGoWhenTheyAreBack)
{
    Prepare(1, 64);
    ComPtr<IMediaSample> held = Take();
    ASSERT_EQ(S_OK, allocator->Decommit());
    std::memset(PointerOf(held.Get()), 7, 64); // still the sample's memory
    EXPECT_EQ(64, held->GetSize());

    ALLOCATOR_PROPERTIES bigger = {2, 4096, 1, 0};
    ALLOCATOR_PROPERTIES actual = {};
    EXPECT_EQ(VFW_E_BUFFERS_OUTSTANDING, allocator->SetProperties(&bigger, &actual));
    held.Reset();
    // Once the last sample is back the old buffers are gone and new ones can be made.
    ASSERT_EQ(S_OK, allocator->SetProperties(&bigger, &actual));
    ASSERT_EQ(S_OK, allocator->Commit());
    ComPtr<IMediaSample> fresh = Take();
    EXPECT_EQ(actual.cbBuffer, fresh->GetSize());
    EXPECT_GE(fresh->GetSize(), 4096);
}

TEST_F(MemoryAllocatorTest, ASampleOutlivesTheLastReferenceToItsAllocator)
{
    Prepare(1, 64);
    ComPtr<IMediaSample> held = Take();
    allocator.Reset();
    held.Reset(); // goes back to an allocator that nobody else holds
}

TEST_F(MemoryAllocatorTest, AFreshSampleCarriesNoValues)
{
    Prepare(1, 64);
    ComPtr<IMediaSample> sample = Take();
    REFERENCE_TIME start = -1, stop = -1;
    EXPECT_EQ(VFW_E_SAMPLE_TIME_NOT_SET, sample->GetTime(&start, &stop));
    EXPECT_EQ(S_FALSE, sample->IsSyncPoint());
    EXPECT_EQ(S_FALSE, sample->IsDiscontinuity());
    EXPECT_EQ(S_FALSE, sample->IsPreroll());
    EXPECT_EQ(VFW_E_MEDIA_TIME_NOT_SET, sample->GetMediaTime(&start, &stop));
    AM_MEDIA_TYPE* type = reinterpret_cast<AM_MEDIA_TYPE*>(1);
    EXPECT_EQ(S_FALSE, sample->GetMediaType(&type));
    EXPECT_EQ(nullptr, type);
}

TEST_F(MemoryAllocatorTest, ValuesTravelWithTheSample)
{
    Prepare(1, 64);
    ComPtr<IMediaSample> sample = Take();
    REFERENCE_TIME start = 400000, stop = 733333;
    ASSERT_EQ(S_OK, sample->SetTime(&start, &stop));
    ASSERT_EQ(S_OK, sample->SetSyncPoint(TRUE));
    ASSERT_EQ(S_OK, sample->SetDiscontinuity(TRUE));
    ASSERT_EQ(S_OK, sample->SetPreroll(TRUE));
    ASSERT_EQ(S_OK, sample->SetActualDataLength(10));
    EXPECT_EQ(VFW_E_BUFFER_OVERFLOW, sample->SetActualDataLength(65));
    EXPECT_EQ(VFW_E_BUFFER_OVERFLOW, sample->SetActualDataLength(-1));
    BYTE format[6] = {1, 2, 3, 4, 5, 6};
    AM_MEDIA_TYPE type = {};
    type.majortype = MEDIATYPE_Audio;
    type.formattype = FORMAT_WaveFormatEx;
    type.lSampleSize = 5;
    type.cbFormat = sizeof format;
    type.pbFormat = format;
    ASSERT_EQ(S_OK, sample->SetMediaType(&type));
    format[0] = 99; // the sample keeps its own copy

    // What the receiver of the sample sees through its own interface pointer.
    ComPtr<IUnknown> unknown;
    ASSERT_EQ(S_OK, sample->QueryInterface(IID_IUnknown, unknown.PutVoid()));
    ComPtr<IMediaSample> seen;
    ASSERT_EQ(S_OK, unknown->QueryInterface(IID_IMediaSample, seen.PutVoid()));
    EXPECT_EQ(sample.Get(), seen.Get());
    REFERENCE_TIME gotStart = 0, gotStop = 0;
    EXPECT_EQ(S_OK, seen->GetTime(&gotStart, &gotStop));
    EXPECT_EQ(400000, gotStart);
    EXPECT_EQ(733333, gotStop);
    EXPECT_EQ(S_OK, seen->IsSyncPoint());
    EXPECT_EQ(S_OK, seen->IsDiscontinuity());
    EXPECT_EQ(S_OK, seen->IsPreroll());
    EXPECT_EQ(10, seen->GetActualDataLength());
    AM_MEDIA_TYPE* copy = nullptr;
    ASSERT_EQ(S_OK, seen->GetMediaType(&copy));
    ASSERT_NE(nullptr, copy);
    EXPECT_TRUE(IsEqualGUID(MEDIATYPE_Audio, copy->majortype));
    EXPECT_EQ(5u, static_cast<unsigned>(copy->lSampleSize));
    ASSERT_EQ(6u, static_cast<unsigned>(copy->cbFormat));
    EXPECT_EQ(1, copy->pbFormat[0]);
    EXPECT_EQ(6, copy->pbFormat[5]);
    CoTaskMemFree(copy->pbFormat);
    CoTaskMemFree(copy);

    // A start without a stop: the stop reads as one unit later.
    ASSERT_EQ(S_OK, sample->SetTime(&start, nullptr));
    EXPECT_EQ(VFW_S_NO_STOP_TIME, seen->GetTime(&gotStart, &gotStop));
    EXPECT_EQ(400000, gotStart);
    EXPECT_EQ(400001, gotStop);
    ASSERT_EQ(S_OK, sample->SetTime(nullptr, nullptr));
    EXPECT_EQ(VFW_E_SAMPLE_TIME_NOT_SET, seen->GetTime(&gotStart, &gotStop));

    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, sample->QueryInterface(IID_IMemAllocator, &none));
    EXPECT_EQ(nullptr, none);
}

TEST_F(MemoryAllocatorTest, ValuesAreClearedWhenTheSampleIsHandedOutAgain)
{
    Prepare(1, 64);
    ComPtr<IMediaSample> sample = Take();
    REFERENCE_TIME start = 10, stop = 20;
    sample->SetTime(&start, &stop);
    sample->SetMediaTime(&start, &stop);
    sample->SetSyncPoint(TRUE);
    sample->SetDiscontinuity(TRUE);
    sample->SetPreroll(TRUE);
    AM_MEDIA_TYPE type = {};
    type.majortype = MEDIATYPE_Video;
    sample->SetMediaType(&type);
    sample.Reset();

    sample = Take();
    EXPECT_EQ(VFW_E_SAMPLE_TIME_NOT_SET, sample->GetTime(&start, &stop));
    EXPECT_EQ(VFW_E_MEDIA_TIME_NOT_SET, sample->GetMediaTime(&start, &stop));
    EXPECT_EQ(S_FALSE, sample->IsSyncPoint());
    EXPECT_EQ(S_FALSE, sample->IsDiscontinuity());
    EXPECT_EQ(S_FALSE, sample->IsPreroll());
    AM_MEDIA_TYPE* copy = nullptr;
    EXPECT_EQ(S_FALSE, sample->GetMediaType(&copy));
    EXPECT_EQ(nullptr, copy);
}

TEST_F(MemoryAllocatorTest, ManyThreadsShareFewBuffers)
{
    Prepare(2, 32);
    std::atomic<int> delivered{0};
    std::thread workers[4];
    for (int w = 0; w < 4; ++w) {
        workers[w] = std::thread([&, w] {
            for (int i = 0; i < 200; ++i) {
                IMediaSample* sample = nullptr;
                if (allocator->GetBuffer(&sample, nullptr, nullptr, 0) != S_OK)
                    return;
                BYTE* data = nullptr;
                sample->GetPointer(&data);
                std::memset(data, w, 32);
                REFERENCE_TIME start = i;
                sample->SetTime(&start, nullptr);
                if (data[31] == w)
                    ++delivered;
                sample->Release();
            }
        });
    }
    for (std::thread& worker : workers)
        worker.join();
    EXPECT_EQ(800, delivered.load()) << "a buffer was handed to two takers at once";
}

} // namespace
