// The registry calls that registration makes, checked against what the
// system does: natively against the layer's in-memory registry, under Wine
// against Wine's. Every test works below one key of its own and removes it.
#include "tests/support/RegistryReader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

const char* const testRoot = "QuarnexRegistryTest";

std::string QueryString(HKEY key, const char* name, LONG* error = nullptr)
{
    char buffer[260] = {};
    DWORD size = sizeof buffer;
    DWORD type = 0;
    LONG result = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    if (error)
        *error = result;
    return result == ERROR_SUCCESS && type == REG_SZ ? std::string(buffer) : std::string("<none>");
}

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override { DeleteRegistryTree(HKEY_CLASSES_ROOT, testRoot); }
    void TearDown() override { DeleteRegistryTree(HKEY_CLASSES_ROOT, testRoot); }

    HKEY Create(const std::string& path, DWORD* disposition = nullptr)
    {
        HKEY key = nullptr;
        EXPECT_EQ(ERROR_SUCCESS,
                  RegCreateKeyExA(HKEY_CLASSES_ROOT, (std::string(testRoot) + "\\" + path).c_str(), 0, nullptr,
                                  REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, disposition));
        return key;
    }
};

TEST_F(RegistryTest, KeysAreCreatedOnceAndFoundWhateverTheCase)
{
    DWORD disposition = 0;
    HKEY first = Create("Outer\\Inner", &disposition);
    EXPECT_EQ(DWORD(REG_CREATED_NEW_KEY), disposition);
    HKEY second = Create("OUTER\\inner", &disposition);
    EXPECT_EQ(DWORD(REG_OPENED_EXISTING_KEY), disposition);

    const BYTE text[] = "hello";
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(first, "Name", 0, REG_SZ, text, sizeof text));
    EXPECT_EQ("hello", QueryString(second, "NAME")) << "both handles name the same key";

    HKEY opened = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_CLASSES_ROOT, "quarnexregistrytest\\outer\\INNER", 0, KEY_READ, &opened));
    EXPECT_EQ("hello", QueryString(opened, "name"));
    HKEY missing = reinterpret_cast<HKEY>(1);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(first, "Nothing\\Deeper", 0, KEY_READ, &missing));
    EXPECT_EQ(nullptr, missing);
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(opened));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(second));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(first));
}

TEST_F(RegistryTest, DefaultAndNamedValuesKeepTheirTypeAndSize)
{
    HKEY key = Create("Values");
    // RegSetValueA writes the default value of a subkey it creates, whole string and terminator.
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueA(key, "Child", REG_SZ, "child default", 0));
    HKEY child = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(key, "Child", 0, KEY_READ, &child));
    EXPECT_EQ("child default", QueryString(child, nullptr));
    DWORD size = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(child, "", nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(14u, unsigned(size));
    RegCloseKey(child);
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegSetValueA(key, "Other", REG_DWORD, "x", 0));

    LONG error = ERROR_SUCCESS;
    EXPECT_EQ("<none>", QueryString(key, nullptr, &error));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, error) << "no default value yet";
    const BYTE text[] = "default";
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, nullptr, 0, REG_SZ, text, sizeof text));
    EXPECT_EQ("default", QueryString(key, ""));

    const DWORD merit = 0x00F00000;
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "Merit", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&merit), 4));
    const BYTE blob[5] = {2, 0, 0, 0, 0xFF};
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "Blob", 0, REG_BINARY, blob, sizeof blob));

    DWORD type = 0;
    DWORD read = 0;
    size = sizeof read;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "merit", nullptr, &type, reinterpret_cast<BYTE*>(&read), &size));
    EXPECT_EQ(DWORD(REG_DWORD), type);
    EXPECT_EQ(4u, unsigned(size));
    EXPECT_EQ(merit, read);

    BYTE small[3] = {};
    size = sizeof small;
    EXPECT_EQ(ERROR_MORE_DATA, RegQueryValueExA(key, "Blob", nullptr, &type, small, &size));
    EXPECT_EQ(5u, unsigned(size)) << "the size needed is reported";
    BYTE whole[8] = {};
    size = sizeof whole;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "Blob", nullptr, &type, whole, &size));
    EXPECT_EQ(DWORD(REG_BINARY), type);
    EXPECT_EQ(0, std::memcmp(blob, whole, sizeof blob));

    ASSERT_EQ(ERROR_SUCCESS, RegDeleteValueA(key, "Blob"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(key, "Blob", nullptr, &type, whole, &size));
    RegCloseKey(key);
}

TEST_F(RegistryTest, SubkeysEnumerateInNameOrderUntilNoMoreItems)
{
    HKEY key = Create("List");
    for (const char* name : {"gamma", "Alpha", "beta"}) {
        HKEY child = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(key, name, &child));
        RegCloseKey(child);
    }
    std::vector<std::string> names;
    for (DWORD index = 0;; ++index) {
        char name[64];
        DWORD length = sizeof name;
        LONG error = RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (error != ERROR_SUCCESS) {
            EXPECT_EQ(ERROR_NO_MORE_ITEMS, error);
            break;
        }
        EXPECT_EQ(std::strlen(name), size_t(length));
        names.push_back(name);
    }
    EXPECT_EQ((std::vector<std::string>{"Alpha", "beta", "gamma"}), names);

    char tiny[3];
    DWORD length = sizeof tiny;
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumKeyExA(key, 0, tiny, &length, nullptr, nullptr, nullptr, nullptr));
    RegCloseKey(key);
}

TEST_F(RegistryTest, OnlyAKeyWithoutSubkeysCanBeDeleted)
{
    HKEY leaf = Create("Parent\\Leaf");
    std::string parent = std::string(testRoot) + "\\Parent";
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyA(HKEY_CLASSES_ROOT, parent.c_str()));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteKeyA(HKEY_CLASSES_ROOT, (parent + "\\Missing").c_str()));
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_CLASSES_ROOT, (parent + "\\LEAF").c_str()));

    // A handle still open on the deleted key fails from now on.
    const BYTE text[] = "x";
    EXPECT_EQ(ERROR_KEY_DELETED, RegSetValueExA(leaf, "After", 0, REG_SZ, text, sizeof text));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(leaf));

    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_CLASSES_ROOT, parent.c_str()));
    HKEY gone = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(HKEY_CLASSES_ROOT, parent.c_str(), 0, KEY_READ, &gone));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(leaf)) << "a handle closes once";
}

TEST_F(RegistryTest, HandlesAllowOnlyWhatTheyWereOpenedFor)
{
    RegCloseKey(Create("Guarded"));
    HKEY readOnly = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_CLASSES_ROOT, (std::string(testRoot) + "\\Guarded").c_str(), 0, KEY_READ, &readOnly));
    const BYTE text[] = "x";
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegSetValueExA(readOnly, "v", 0, REG_SZ, text, sizeof text));
    RegCloseKey(readOnly);

    HKEY setOnly = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(HKEY_CLASSES_ROOT, (std::string(testRoot) + "\\Guarded").c_str(), 0, nullptr,
                              REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, &setOnly, nullptr));
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(setOnly, "v", 0, REG_SZ, text, sizeof text));
    RegCloseKey(setOnly);
}

TEST_F(RegistryTest, ClassesRootIsTheMachinesSoftwareClasses)
{
    RegCloseKey(Create("Shared"));
    HKEY viaMachine = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, (std::string("Software\\Classes\\") + testRoot + "\\Shared").c_str(), 0,
                            KEY_READ, &viaMachine));
    RegCloseKey(viaMachine);
}

TEST_F(RegistryTest, AVolatileKeyRefusesAPermanentChild)
{
    HKEY temporary = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(HKEY_CLASSES_ROOT, (std::string(testRoot) + "\\Temporary").c_str(), 0, nullptr,
                              REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &temporary, nullptr));
    HKEY child = nullptr;
    EXPECT_EQ(ERROR_CHILD_MUST_BE_VOLATILE, RegCreateKeyExA(temporary, "Child", 0, nullptr, REG_OPTION_NON_VOLATILE,
                                                            KEY_ALL_ACCESS, nullptr, &child, nullptr));
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(temporary, "Child", 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                                             nullptr, &child, nullptr));
    RegCloseKey(child);
    RegCloseKey(temporary);
}

TEST_F(RegistryTest, TheMediaExtensionsKeyIsAlreadyThereAndPermanent)
{
    // Opening it as a volatile key must find the permanent one, which then
    // takes permanent children, as registration writes them.
    HKEY extensions = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CLASSES_ROOT, "Media Type\\Extensions", 0, nullptr,
                                             REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &extensions, &disposition));
    EXPECT_EQ(DWORD(REG_OPENED_EXISTING_KEY), disposition);
    HKEY child = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExA(extensions, testRoot, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                             nullptr, &child, nullptr));
    RegCloseKey(child);
    RegDeleteKeyA(extensions, testRoot);
    RegCloseKey(extensions);
}

TEST_F(RegistryTest, ThreadsWorkOnTheTreeAtOnce)
{
    RegCloseKey(Create("Busy"));
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &failures] {
            std::string path = std::string(testRoot) + "\\Busy\\Worker" + std::to_string(t);
            for (int i = 0; i < 100; ++i) {
                HKEY key = nullptr;
                if (RegCreateKeyA(HKEY_CLASSES_ROOT, path.c_str(), &key) != ERROR_SUCCESS) {
                    ++failures[t];
                    continue;
                }
                DWORD value = DWORD(i);
                RegSetValueExA(key, "Count", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
                DWORD read = 0, size = 4;
                if (RegQueryValueExA(key, "Count", nullptr, nullptr, reinterpret_cast<BYTE*>(&read), &size) !=
                        ERROR_SUCCESS ||
                    read != value)
                    ++failures[t];
                RegCloseKey(key);
                if (RegDeleteKeyA(HKEY_CLASSES_ROOT, path.c_str()) != ERROR_SUCCESS)
                    ++failures[t];
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ((std::vector<int>{0, 0, 0, 0}), failures);
}

} // namespace
