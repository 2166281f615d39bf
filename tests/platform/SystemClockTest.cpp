// The system reference clock, checked against the system's: natively against
// the layer's clock, under Wine against Wine's.
#include "framework/ComPtr.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

class SystemClockTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CoInitialize(nullptr);
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_SystemClock, nullptr, CLSCTX_INPROC_SERVER, IID_IReferenceClock,
                                         clock.PutVoid()));
    }
    void TearDown() override
    {
        clock.Reset();
        CoUninitialize();
    }
    ComPtr<IReferenceClock> clock;
};

TEST_F(SystemClockTest, CountsIn100NanosecondUnits)
{
    EXPECT_EQ(E_POINTER, clock->GetTime(nullptr));
    REFERENCE_TIME before = 0, after = 0;
    ASSERT_TRUE(SUCCEEDED(clock->GetTime(&before)));
    Sleep(50);
    ASSERT_TRUE(SUCCEEDED(clock->GetTime(&after)));
    // 50 ms are 500,000 units; milliseconds or nanoseconds would be far off.
    EXPECT_GE(after - before, 300000);
    EXPECT_LE(after - before, 20000000);
}

TEST_F(SystemClockTest, NeverGoesBackwardsOnAnyThread)
{
    std::vector<std::thread> readers;
    std::vector<int> backwards(3, 0);
    for (int r = 0; r < 3; ++r) {
        readers.emplace_back([this, r, &backwards] {
            REFERENCE_TIME last = 0;
            for (int i = 0; i < 2000; ++i) {
                REFERENCE_TIME now = 0;
                HRESULT result = clock->GetTime(&now);
                if ((result != S_OK && result != S_FALSE) || now < last)
                    ++backwards[r];
                last = now;
            }
        });
    }
    for (std::thread& reader : readers)
        reader.join();
    EXPECT_EQ((std::vector<int>{0, 0, 0}), backwards);
}

} // namespace
