// Loading a library by path as a COM host does: one mapping however often it
// is loaded, DllMain told once with the handle the host gets, exports found
// by name. Natively through the layer's loader, under Wine through the system.
#include "platform/Platform.h"
#include "tests/support/Fixtures.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

typedef HRESULT(STDAPICALLTYPE* AttachmentsFunction)(LONG* count, HINSTANCE* instance);

TEST(LibraryLoaderTest, LoadsOnceAndTellsDllMainTheHandleTheHostGets)
{
    const std::string path = HostPath(QT_TEST_SERVER_PATH);
    HMODULE first = LoadLibraryA(path.c_str());
    ASSERT_NE(nullptr, first);
    HMODULE second = LoadLibraryA(path.c_str());
    EXPECT_EQ(first, second) << "a second load maps the library again";

    auto attachments =
        reinterpret_cast<AttachmentsFunction>(reinterpret_cast<void*>(GetProcAddress(first, "TestServerAttachments")));
    ASSERT_NE(nullptr, attachments);
    LONG count = 0;
    HINSTANCE instance = nullptr;
    attachments(&count, &instance);
    EXPECT_EQ(1, count) << "DllMain hears of the process attaching once";
    EXPECT_EQ(first, instance);

    char name[MAX_PATH] = {};
    ASSERT_NE(0u, GetModuleFileNameA(first, name, MAX_PATH));
    EXPECT_NE(nullptr, std::strstr(name, "test_server")) << name;

    EXPECT_EQ(nullptr, GetProcAddress(first, "NoSuchExport"));
    EXPECT_TRUE(FreeLibrary(second));
    EXPECT_NE(nullptr, GetProcAddress(first, "DllGetClassObject")) << "still loaded once more";
    EXPECT_TRUE(FreeLibrary(first));
}

TEST(LibraryLoaderTest, AMissingLibraryFailsTheLoad)
{
    EXPECT_EQ(nullptr, LoadLibraryA(HostPath(TempPath("no-such-library.dll")).c_str()));
    EXPECT_NE(0u, GetLastError());
}

} // namespace
