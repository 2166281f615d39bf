// CoCreateInstance for classes served by an in-process server that the
// registry names, as a COM host finds them: natively through the layer, under
// Wine through the system, with the same small server module.
#include "framework/ComPtr.h"
#include "tests/support/Fixtures.h"
#include "tests/support/RegistryReader.h"

#include <gtest/gtest.h>

namespace {

// The one class of tests/platform/server/TestServer.cpp.
const CLSID serverClass = {0x2f6b7c41, 0x8d3e, 0x4a15, {0x9b, 0x07, 0x5c, 0x1e, 0x6d, 0x2a, 0x8f, 0x90}};
const std::string classKey = "CLSID\\{2F6B7C41-8D3E-4A15-9B07-5C1E6D2A8F90}";

class InprocServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CoInitialize(nullptr);
        DeleteRegistryTree(HKEY_CLASSES_ROOT, classKey);
    }
    void TearDown() override
    {
        DeleteRegistryTree(HKEY_CLASSES_ROOT, classKey);
        CoUninitialize();
    }

    static void Register(const std::string& path)
    {
        HKEY server = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_CLASSES_ROOT, (classKey + "\\InprocServer32").c_str(), &server));
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueA(server, nullptr, REG_SZ, path.c_str(), 0));
        const char model[] = "Both";
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(server, "ThreadingModel", 0, REG_SZ,
                                                reinterpret_cast<const BYTE*>(model), sizeof model));
        RegCloseKey(server);
    }
};

TEST_F(InprocServerTest, CreatesTheClassFromTheServerTheRegistryNames)
{
    Register(HostPath(QT_TEST_SERVER_PATH));
    for (int round = 0; round < 2; ++round) { // the second time the server is already loaded
        ComPtr<IPersist> object;
        ASSERT_EQ(S_OK, CoCreateInstance(serverClass, nullptr, CLSCTX_INPROC_SERVER, IID_IPersist, object.PutVoid()));
        CLSID reported = GUID_NULL;
        ASSERT_EQ(S_OK, object->GetClassID(&reported));
        EXPECT_TRUE(IsEqualGUID(serverClass, reported));
    }
    EXPECT_EQ("yes", ReadRegistryString(HKEY_CLASSES_ROOT, classKey, "ServerLoaded"))
        << "the server wrote into a registry of its own, not the host's";
    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, CoCreateInstance(serverClass, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator, &none));
    EXPECT_EQ(nullptr, none);
}

TEST_F(InprocServerTest, AClassWithoutServerIsNotRegistered)
{
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(REGDB_E_CLASSNOTREG, CoCreateInstance(serverClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object));
    EXPECT_EQ(nullptr, object);
}

TEST_F(InprocServerTest, AServerThatCannotBeLoadedFails)
{
    Register(HostPath(TempPath("no-such-server.dll")));
    void* object = reinterpret_cast<void*>(1);
    EXPECT_TRUE(FAILED(CoCreateInstance(serverClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object)));
    EXPECT_EQ(nullptr, object);
}

} // namespace
