// The registration steps one by one: key trees that cannot be removed in
// full, and the filter entry through the older filter mapper.
#include "filter/ISourceInfo.h"
#include "filter/module/FactoryTemplate.h"
#include "filter/module/ServerRegistration.h"
#include "framework/ComPtr.h"
#include "framework/FilterRegistration.h"
#include "platform/TestHooks.h"
#include "tests/filter/ModuleHost.h"
#include "tests/support/RegistryReader.h"
#include "tests/support/Watchdog.h"

#include <gtest/gtest.h>

namespace {

class KeyTreeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CoInitialize(nullptr);
        DeleteRegistryTree(HKEY_CLASSES_ROOT, filterClassKey);
        DeleteRegistryTree(HKEY_CLASSES_ROOT, "Filter\\" + filterClassText);
    }
    void TearDown() override
    {
        DenyRegistryKeyAccess(HKEY_CLASSES_ROOT, (filterClassKey + "\\Astuck").c_str(), 0);
        DeleteRegistryTree(HKEY_CLASSES_ROOT, filterClassKey);
        DeleteRegistryTree(HKEY_CLASSES_ROOT, "Filter\\" + filterClassText);
        CoUninitialize();
    }
    static void Create(const std::string& path)
    {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_CLASSES_ROOT, path.c_str(), &key));
        RegCloseKey(key);
    }
};

TEST_F(KeyTreeTest, UnregisteringStepsPastAKeyThatCannotBeDeleted)
{
    // The stuck key comes first, where a walk that always takes the first
    // subkey would find it again for ever.
    Create(filterClassKey + "\\Astuck");
    Create(filterClassKey + "\\InprocServer32\\Deeper");
    Create(filterClassKey + "\\Zlast");
    if (!DenyRegistryKeyAccess(HKEY_CLASSES_ROOT, (filterClassKey + "\\Astuck").c_str(), DELETE) ||
        RegDeleteKeyA(HKEY_CLASSES_ROOT, (filterClassKey + "\\Astuck").c_str()) != ERROR_ACCESS_DENIED)
        GTEST_SKIP() << "this system cannot protect a key from deletion";

    Watchdog watchdog("UnregisterServerKeys over a key that cannot be deleted", 60);
    const HRESULT result = UnregisterServerKeys(CLSID_MovieSourceFilter);
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), result) << "keys were left, yet unregistering succeeded";
    EXPECT_EQ((std::vector<std::string>{"Astuck"}), RegistrySubkeys(HKEY_CLASSES_ROOT, filterClassKey))
        << "what could be removed stays";
}

TEST_F(KeyTreeTest, TheOlderMapperGetsTheFilterItsPinAndThePinsType)
{
    ComPtr<IFilterMapper> mapper;
    ASSERT_EQ(S_OK,
              CoCreateInstance(CLSID_FilterMapper, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper, mapper.PutVoid()));
    EXPECT_EQ(S_FALSE, RegisterFilterWithMapper(nullptr, mapper.Get(), TRUE));
    ASSERT_EQ(S_OK, RegisterFilterWithMapper(&MovieSourceSetup, mapper.Get(), TRUE));

    EXPECT_EQ("Quarnex MOV File Source", ReadRegistryString(HKEY_CLASSES_ROOT, "Filter\\" + filterClassText, nullptr));
    EXPECT_EQ(0x00F00000u, ReadRegistryDword(HKEY_CLASSES_ROOT, filterClassKey, "Merit"));
    const std::string pin = filterClassKey + "\\Pins\\Output";
    EXPECT_EQ(1u, ReadRegistryDword(HKEY_CLASSES_ROOT, pin, "Direction"));
    EXPECT_EQ(0u, ReadRegistryDword(HKEY_CLASSES_ROOT, pin, "IsRendered"));
    EXPECT_EQ(0u, ReadRegistryDword(HKEY_CLASSES_ROOT, pin, "AllowedZero"));
    EXPECT_EQ(0u, ReadRegistryDword(HKEY_CLASSES_ROOT, pin, "AllowedMany"));
    EXPECT_TRUE(RegistryKeyExists(HKEY_CLASSES_ROOT, pin + "\\Types\\{00000000-0000-0000-0000-000000000000}"
                                                           "\\{00000000-0000-0000-0000-000000000000}"));

    EXPECT_EQ(S_OK, RegisterFilterWithMapper(&MovieSourceSetup, mapper.Get(), FALSE));
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, "Filter\\" + filterClassText));
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, pin));
    EXPECT_EQ(S_OK, RegisterFilterWithMapper(&MovieSourceSetup, mapper.Get(), FALSE))
        << "a filter not there is removed";
}

} // namespace
