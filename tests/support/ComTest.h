// The fixture of tests that use framework objects: COM is initialised for the
// test's thread (free-threaded, since samples arrive from streaming threads)
// and every framework object made during the test must be gone at its end.
#pragma once

#include "framework/UnknownBase.h"

#include <gtest/gtest.h>

class ComTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        comResult = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        liveAtStart = LiveObjectCount;
    }
    void TearDown() override
    {
        EXPECT_EQ(liveAtStart, LiveObjectCount) << "framework objects leaked or destroyed twice";
        if (SUCCEEDED(comResult))
            CoUninitialize();
    }

private:
    HRESULT comResult = E_FAIL;
    LONG liveAtStart = 0;
};
