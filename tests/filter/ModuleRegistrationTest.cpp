// Self-registration through the module's exports, as regsvr32 or an installer
// calls them, against the registry and COM of the platform: natively the
// layer's, under Wine the system's.
#include "filter/ISourceInfo.h"
#include "framework/ComPtr.h"
#include "platform/TestHooks.h"
#include "tests/filter/ModuleHost.h"
#include "tests/support/ComTest.h"
#include "tests/support/RegistryReader.h"

namespace {

const std::string otherFilterText = "{0E1D2C3B-4A59-6877-8695-A4B3C2D1E0F0}";

// Built on use: extensionsKey is another file's global.
std::string MovKey()
{
    return extensionsKey + "\\.mov";
}

class ModuleRegistrationTest : public ComTest {
protected:
    void SetUp() override
    {
        ComTest::SetUp();
        ASSERT_TRUE(module.Loaded()) << "cannot load " << module.Path();
        ASSERT_TRUE(module.registerServer && module.unregisterServer);
        RemoveEverything();
    }
    void TearDown() override
    {
        DenyRegistryKeyAccess(HKEY_CLASSES_ROOT, MovKey().c_str(), 0);
        RemoveEverything();
        RestoreExtensionsKey();
        ComTest::TearDown();
    }

    static void RemoveEverything()
    {
        for (const std::string& key :
             {filterClassKey, pageClassKey, filterInstanceKey, extensionsKey + "\\.mov", extensionsKey + "\\.MP4"})
            DeleteRegistryTree(HKEY_CLASSES_ROOT, key);
    }
    static void SetSourceFilter(const std::string& extension, const std::string& classText)
    {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_CLASSES_ROOT, (extensionsKey + "\\" + extension).c_str(), &key));
        ASSERT_EQ(ERROR_SUCCESS,
                  RegSetValueExA(key, "Source Filter", 0, REG_SZ, reinterpret_cast<const BYTE*>(classText.c_str()),
                                 DWORD(classText.size() + 1)));
        RegCloseKey(key);
    }
    // Removes "Media Type\Extensions" so that a test can see who creates it;
    // false when other programs' extensions live there.
    static bool RemoveExtensionsKey()
    {
        if (!RegistrySubkeys(HKEY_CLASSES_ROOT, extensionsKey).empty())
            return false;
        return RegDeleteKeyA(HKEY_CLASSES_ROOT, extensionsKey.c_str()) == ERROR_SUCCESS;
    }
    // The key as every system has it: permanent.
    static void RestoreExtensionsKey()
    {
        if (RegistryKeyExists(HKEY_CLASSES_ROOT, extensionsKey))
            return;
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_CLASSES_ROOT, extensionsKey.c_str(), &key));
        RegCloseKey(key);
    }

    ModuleHost& module = ModuleHost::Get();
};

TEST_F(ModuleRegistrationTest, RegistersCreatesThroughTheRegistryAndUnregistersEverything)
{
    ASSERT_EQ(S_OK, module.registerServer());
    ExpectRegistered(module.Path());
    // Registering makes its own COM initialisation: this thread's apartment
    // must still be there, with the one reference the fixture took.
    EXPECT_EQ(S_FALSE, CoInitializeEx(nullptr, COINIT_MULTITHREADED)) << "registration left the caller's apartment";
    CoUninitialize();
    ExpectFilterCreatedAndLoads();

    EXPECT_EQ(S_OK, module.registerServer()) << "registering twice";
    ExpectRegistered(module.Path());

    EXPECT_EQ(S_OK, module.unregisterServer());
    ExpectUnregistered();
    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(REGDB_E_CLASSNOTREG,
              CoCreateInstance(CLSID_MovieSourceFilter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, &none));
    EXPECT_EQ(nullptr, none);

    EXPECT_EQ(S_OK, module.unregisterServer()) << "unregistering when nothing is registered";
    ExpectUnregistered();
}

TEST_F(ModuleRegistrationTest, UnregisteringLeavesExtensionsThatNameAnotherFilter)
{
    // Registering claims both extensions, whoever had them.
    SetSourceFilter(".mov", otherFilterText);
    ASSERT_EQ(S_OK, module.registerServer());
    EXPECT_EQ(filterClassText, ReadRegistryString(HKEY_CLASSES_ROOT, extensionsKey + "\\.mov", "Source Filter"));

    // Another program claims ".MP4" afterwards: that key is its own, and stays.
    SetSourceFilter(".MP4", otherFilterText);
    EXPECT_EQ(S_OK, module.unregisterServer());
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, extensionsKey + "\\.mov"));
    EXPECT_EQ(otherFilterText, ReadRegistryString(HKEY_CLASSES_ROOT, extensionsKey + "\\.MP4", "Source Filter"));
}

TEST_F(ModuleRegistrationTest, UnregisteringCreatesNoKeyThatWouldBlockRegistering)
{
    if (!RemoveExtensionsKey())
        GTEST_SKIP() << "other programs' extensions are registered";
    EXPECT_EQ(S_OK, module.unregisterServer());
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, extensionsKey)) << "unregistering created the parent key";
    ASSERT_EQ(S_OK, module.registerServer());
    ExpectRegistered(module.Path());
}

TEST_F(ModuleRegistrationTest, AnExtensionKeyThatCannotBeWrittenLeavesTheRestRegistered)
{
    // Another program's ".mov" key refuses to be written; ".MP4" is free.
    SetSourceFilter(".mov", otherFilterText);
    HKEY probe = nullptr;
    if (!DenyRegistryKeyAccess(HKEY_CLASSES_ROOT, MovKey().c_str(), KEY_SET_VALUE) ||
        RegOpenKeyExA(HKEY_CLASSES_ROOT, MovKey().c_str(), 0, KEY_SET_VALUE, &probe) != ERROR_ACCESS_DENIED) {
        if (probe)
            RegCloseKey(probe);
        GTEST_SKIP() << "this system cannot protect a key from being written";
    }
    EXPECT_EQ(S_OK, module.registerServer());
    EXPECT_EQ(otherFilterText, ReadRegistryString(HKEY_CLASSES_ROOT, MovKey(), "Source Filter"));
    EXPECT_EQ(filterClassText, ReadRegistryString(HKEY_CLASSES_ROOT, extensionsKey + "\\.MP4", "Source Filter"))
        << "the walk ended at the key that failed";
    ExpectClassesRegistered(module.Path());
}

} // namespace
