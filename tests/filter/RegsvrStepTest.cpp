// Steps of the Windows run in which the system's regsvr32 registers and
// unregisters the module (see tests/CMakeLists.txt): each checks what the
// step before it left. Skipped when the program runs on its own.
#include "tests/filter/ModuleHost.h"
#include "tests/support/Fixtures.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

std::string Step()
{
    const char* step = std::getenv("QT_REGSVR32_STEP");
    return step ? step : "";
}

TEST(RegsvrStepTest, Regsvr32RegisteredTheModuleAndCoCreateInstanceFindsIt)
{
    if (Step() != "registered")
        GTEST_SKIP() << "runs after regsvr32 registered the module";
    CoInitialize(nullptr);
    ExpectRegistered(HostPath(QT_MODULE_PATH));
    ExpectFilterCreatedAndLoads();
    CoUninitialize();
}

TEST(RegsvrStepTest, Regsvr32UnregisteredEverything)
{
    if (Step() != "unregistered")
        GTEST_SKIP() << "runs after regsvr32 unregistered the module";
    ExpectUnregistered();
}

} // namespace
