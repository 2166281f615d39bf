// The two filter mappers, checked against what the system writes: the same
// source reads the registry back natively from the layer and under Wine from
// the system's registry.
#include "framework/ComPtr.h"
#include "tests/support/RegistryReader.h"

#include <gtest/gtest.h>

namespace {

// {5E1C9A77-3B0D-4F2E-8A61-0C4D2B7E9F13}: a filter that exists only in these tests.
const CLSID testFilter = {0x5e1c9a77, 0x3b0d, 0x4f2e, {0x8a, 0x61, 0x0c, 0x4d, 0x2b, 0x7e, 0x9f, 0x13}};
const std::string filterText = "{5E1C9A77-3B0D-4F2E-8A61-0C4D2B7E9F13}";
const std::string instanceKey = "CLSID\\{083863F1-70DE-11D0-BD40-00A0C911CE86}\\Instance\\" + filterText;
const std::string filterKey = "Filter\\" + filterText;
const std::string classKey = "CLSID\\" + filterText;
const HRESULT notFound = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);

class FilterMapperTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CoInitialize(nullptr);
        RemoveEverything();
    }
    void TearDown() override
    {
        RemoveEverything();
        CoUninitialize();
    }
    static void RemoveEverything()
    {
        DeleteRegistryTree(HKEY_CLASSES_ROOT, instanceKey);
        DeleteRegistryTree(HKEY_CLASSES_ROOT, filterKey);
        DeleteRegistryTree(HKEY_CLASSES_ROOT, classKey);
    }

    static ComPtr<IFilterMapper2> Mapper2()
    {
        ComPtr<IFilterMapper2> mapper;
        EXPECT_EQ(S_OK, CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                                         mapper.PutVoid()));
        return mapper;
    }
    static ComPtr<IFilterMapper> Mapper()
    {
        ComPtr<IFilterMapper> mapper;
        EXPECT_EQ(S_OK, CoCreateInstance(CLSID_FilterMapper, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper,
                                         mapper.PutVoid()));
        return mapper;
    }
};

// The source filter's own record: one output pin of any type.
const REGPINTYPES anyType = {&GUID_NULL, &GUID_NULL};
const REGFILTERPINS outputPin = {
    const_cast<LPWSTR>(L"Output"), FALSE, TRUE, FALSE, FALSE, &GUID_NULL, L"Input", 1, &anyType};

REGFILTER2 OnePinRecord()
{
    REGFILTER2 record = {};
    record.dwVersion = 1;
    record.dwMerit = 0x00F00000;
    record.cPins = 1;
    record.rgPins = &outputPin;
    return record;
}

TEST_F(FilterMapperTest, Mapper2WritesTheFilterUnderTheDefaultCategory)
{
    ComPtr<IFilterMapper2> mapper = Mapper2();
    ASSERT_TRUE(mapper);
    REGFILTER2 record = OnePinRecord();
    ASSERT_EQ(S_OK, mapper->RegisterFilter(testFilter, L"Quarnex Test Source", nullptr, nullptr, nullptr, &record));

    EXPECT_EQ("Quarnex Test Source", ReadRegistryString(HKEY_CLASSES_ROOT, instanceKey, "FriendlyName"));
    EXPECT_EQ(filterText, ReadRegistryString(HKEY_CLASSES_ROOT, instanceKey, "CLSID"));
    // The packed record: header (version 2, merit, one pin), the pin row
    // (output flag, one instance, one type), its type row pointing twice at
    // the one GUID in the pool, then that GUID.
    const std::vector<BYTE> expected = {0x02, 0,   0,   0,   0, 0, 0xF0, 0, 1,    0, 0, 0, 0,    0, 0, 0, // header
                                        '0',  'p', 'i', '3', 8, 0, 0,    0, 1,    0, 0, 0, 1,    0, 0, 0,
                                        0,    0,   0,   0,   0, 0, 0,    0,                                // pin
                                        '0',  't', 'y', '3', 0, 0, 0,    0, 0x38, 0, 0, 0, 0x38, 0, 0, 0,  // type
                                        0,    0,   0,   0,   0, 0, 0,    0, 0,    0, 0, 0, 0,    0, 0, 0}; // GUID_NULL
    EXPECT_EQ(expected, ReadRegistryBinary(HKEY_CLASSES_ROOT, instanceKey, "FilterData"));
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, filterKey)) << "the new mapper leaves the old places alone";
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, classKey));
}

TEST_F(FilterMapperTest, Mapper2UnregisterRemovesTheEntryAndThenFindsNothing)
{
    ComPtr<IFilterMapper2> mapper = Mapper2();
    ASSERT_TRUE(mapper);
    EXPECT_EQ(notFound, mapper->UnregisterFilter(nullptr, nullptr, testFilter)) << "never registered";
    REGFILTER2 record = OnePinRecord();
    ASSERT_EQ(S_OK, mapper->RegisterFilter(testFilter, L"Quarnex Test Source", nullptr, nullptr, nullptr, &record));
    EXPECT_EQ(S_OK, mapper->UnregisterFilter(nullptr, nullptr, testFilter));
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, instanceKey));
    EXPECT_EQ(notFound, mapper->UnregisterFilter(nullptr, nullptr, testFilter)) << "already removed";
}

TEST_F(FilterMapperTest, OldMapperWritesNameMeritPinsAndTypes)
{
    ComPtr<IFilterMapper> mapper = Mapper();
    ASSERT_TRUE(mapper);
    ASSERT_EQ(S_OK, mapper->RegisterFilter(testFilter, L"Quarnex Old Source", 0x00600000));
    ASSERT_EQ(S_OK, mapper->RegisterPin(testFilter, L"Output", FALSE, TRUE, FALSE, FALSE, GUID_NULL, L"Input"));
    ASSERT_EQ(S_OK, mapper->RegisterPinType(testFilter, L"Output", MEDIATYPE_Video, GUID_NULL));
    ASSERT_EQ(S_OK, mapper->RegisterPin(testFilter, L"In", TRUE, FALSE, TRUE, TRUE, GUID_NULL, L"Out"));
    EXPECT_EQ(notFound, mapper->RegisterPinType(testFilter, L"Missing", MEDIATYPE_Video, GUID_NULL));

    EXPECT_EQ("Quarnex Old Source", ReadRegistryString(HKEY_CLASSES_ROOT, filterKey, nullptr));
    EXPECT_EQ(0x00600000u, ReadRegistryDword(HKEY_CLASSES_ROOT, classKey, "Merit"));
    const std::string output = classKey + "\\Pins\\Output";
    EXPECT_EQ(1u, ReadRegistryDword(HKEY_CLASSES_ROOT, output, "Direction"));
    EXPECT_EQ(0u, ReadRegistryDword(HKEY_CLASSES_ROOT, output, "IsRendered"));
    EXPECT_EQ(0u, ReadRegistryDword(HKEY_CLASSES_ROOT, output, "AllowedZero"));
    EXPECT_EQ(0u, ReadRegistryDword(HKEY_CLASSES_ROOT, output, "AllowedMany"));
    EXPECT_TRUE(RegistryKeyExists(HKEY_CLASSES_ROOT, output + "\\Types\\{73646976-0000-0010-8000-00AA00389B71}"
                                                              "\\{00000000-0000-0000-0000-000000000000}"));
    const std::string input = classKey + "\\Pins\\In";
    EXPECT_EQ(0u, ReadRegistryDword(HKEY_CLASSES_ROOT, input, "Direction"));
    EXPECT_EQ(1u, ReadRegistryDword(HKEY_CLASSES_ROOT, input, "IsRendered"));
    EXPECT_EQ(1u, ReadRegistryDword(HKEY_CLASSES_ROOT, input, "AllowedZero"));
    EXPECT_EQ(1u, ReadRegistryDword(HKEY_CLASSES_ROOT, input, "AllowedMany"));
    EXPECT_TRUE(RegistrySubkeys(HKEY_CLASSES_ROOT, input + "\\Types").empty());
}

TEST_F(FilterMapperTest, OldMapperUnregistersPinsAndFilterButKeepsTheServerKeys)
{
    HKEY server = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_CLASSES_ROOT, (classKey + "\\InprocServer32").c_str(), &server));
    RegCloseKey(server);
    ComPtr<IFilterMapper> mapper = Mapper();
    ASSERT_TRUE(mapper);
    ASSERT_EQ(S_OK, mapper->RegisterFilter(testFilter, L"Quarnex Old Source", 0x00600000));
    ASSERT_EQ(S_OK, mapper->RegisterPin(testFilter, L"Output", FALSE, TRUE, FALSE, FALSE, GUID_NULL, L"Input"));
    ASSERT_EQ(S_OK, mapper->RegisterPin(testFilter, L"Second", FALSE, TRUE, FALSE, FALSE, GUID_NULL, L"Input"));

    EXPECT_EQ(S_OK, mapper->UnregisterPin(testFilter, L"Second"));
    EXPECT_EQ((std::vector<std::string>{"Output"}), RegistrySubkeys(HKEY_CLASSES_ROOT, classKey + "\\Pins"));

    EXPECT_EQ(S_OK, mapper->UnregisterFilter(testFilter));
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, filterKey));
    EXPECT_EQ(0xFFFFFFFFu, ReadRegistryDword(HKEY_CLASSES_ROOT, classKey, "Merit"));
    EXPECT_EQ((std::vector<std::string>{"InprocServer32"}), RegistrySubkeys(HKEY_CLASSES_ROOT, classKey));
    EXPECT_EQ(notFound, mapper->UnregisterPin(testFilter, L"Output")) << "no pins are left";
}

TEST_F(FilterMapperTest, OldMapperFindsNothingToUnregisterForAnUnknownFilter)
{
    ComPtr<IFilterMapper> mapper = Mapper();
    ASSERT_TRUE(mapper);
    // The system answers one or the other depending on whether any filter was
    // ever registered through this interface; both mean nothing was there.
    HRESULT result = mapper->UnregisterFilter(testFilter);
    EXPECT_TRUE(result == S_OK || result == notFound) << std::hex << result;
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, classKey)) << "unregistering creates nothing";
}

TEST_F(FilterMapperTest, TheNewMapperAlsoAnswersTheOldInterface)
{
    ComPtr<IFilterMapper2> mapper = Mapper2();
    ASSERT_TRUE(mapper);
    ComPtr<IFilterMapper> old;
    EXPECT_EQ(S_OK, mapper.As(IID_IFilterMapper, &old));
    ComPtr<IUnknown> unknown;
    EXPECT_EQ(S_OK, mapper.As(IID_IUnknown, &unknown));
    ComPtr<IUnknown> again;
    EXPECT_EQ(S_OK, old.As(IID_IUnknown, &again));
    EXPECT_EQ(unknown.Get(), again.Get()) << "one object behind both interfaces";
}

} // namespace
