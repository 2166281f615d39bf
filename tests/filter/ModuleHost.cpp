#include "tests/filter/ModuleHost.h"

#include "filter/ISourceInfo.h"
#include "framework/ComPtr.h"
#include "framework/WideText.h"
#include "tests/support/Fixtures.h"
#include "tests/support/RegistryReader.h"

#include <gtest/gtest.h>

#include <cctype>

namespace {

template <typename Function> void Find(HMODULE module, const char* name, Function* function)
{
    *function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

std::string Lower(std::string text)
{
    for (char& c : text)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

} // namespace

const std::string filterClassText = "{94A13AB6-8888-44FA-BF04-CE26EFF84610}";
const std::string pageClassText = "{F89D1207-3373-443E-8C4B-C78AFE3E2BA1}";
const std::string filterClassKey = "CLSID\\" + filterClassText;
const std::string pageClassKey = "CLSID\\" + pageClassText;
const std::string filterInstanceKey = "CLSID\\{083863F1-70DE-11D0-BD40-00A0C911CE86}\\Instance\\" + filterClassText;
const std::string extensionsKey = "Media Type\\Extensions";

ModuleHost& ModuleHost::Get()
{
    static ModuleHost host;
    return host;
}

ModuleHost::ModuleHost() : path(HostPath(QT_MODULE_PATH))
{
    module = LoadLibraryA(path.c_str());
    if (!module)
        return;
    Find(module, "DllGetClassObject", &getClassObject);
    Find(module, "DllCanUnloadNow", &canUnloadNow);
    Find(module, "DllRegisterServer", &registerServer);
    Find(module, "DllUnregisterServer", &unregisterServer);
}

void ExpectRegistered(const std::string& modulePath)
{
    ExpectClassesRegistered(modulePath);
    EXPECT_EQ(filterClassText, ReadRegistryString(HKEY_CLASSES_ROOT, extensionsKey + "\\.mov", "Source Filter"));
    EXPECT_EQ(filterClassText, ReadRegistryString(HKEY_CLASSES_ROOT, extensionsKey + "\\.MP4", "Source Filter"));
}

void ExpectClassesRegistered(const std::string& modulePath)
{
    EXPECT_EQ("Quarnex QT File Source", ReadRegistryString(HKEY_CLASSES_ROOT, filterClassKey, nullptr));
    EXPECT_EQ("QT Source Property Page", ReadRegistryString(HKEY_CLASSES_ROOT, pageClassKey, nullptr));
    for (const std::string& classKey : {filterClassKey, pageClassKey}) {
        const std::string server = classKey + "\\InprocServer32";
        // The system's file names ignore case; the test compares what it can rely on.
        EXPECT_EQ(Lower(modulePath), Lower(ReadRegistryString(HKEY_CLASSES_ROOT, server, nullptr))) << server;
        EXPECT_EQ("Both", ReadRegistryString(HKEY_CLASSES_ROOT, server, "ThreadingModel")) << server;
    }

    // The filter's entry in the default filter category: its name, and the
    // packed record with merit 0x00F00000 and one output pin of any type.
    EXPECT_EQ("Quarnex MOV File Source", ReadRegistryString(HKEY_CLASSES_ROOT, filterInstanceKey, "FriendlyName"));
    EXPECT_EQ(filterClassText, ReadRegistryString(HKEY_CLASSES_ROOT, filterInstanceKey, "CLSID"));
    const std::vector<BYTE> filterData = {
        0x02, 0,   0,   0,   0, 0, 0xF0, 0, 1,    0, 0, 0, 0,    0, 0, 0,  // version 2, merit, one pin
        '0',  'p', 'i', '3', 8, 0, 0,    0, 1,    0, 0, 0, 1,    0, 0, 0,  // an output pin, one instance, one type
        0,    0,   0,   0,   0, 0, 0,    0,                                // no medium, no category
        '0',  't', 'y', '3', 0, 0, 0,    0, 0x38, 0, 0, 0, 0x38, 0, 0, 0,  // major and subtype: the GUID below
        0,    0,   0,   0,   0, 0, 0,    0, 0,    0, 0, 0, 0,    0, 0, 0}; // GUID_NULL, any type
    EXPECT_EQ(filterData, ReadRegistryBinary(HKEY_CLASSES_ROOT, filterInstanceKey, "FilterData"));
}

void ExpectUnregistered()
{
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, filterClassKey));
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, pageClassKey));
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, filterInstanceKey));
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, extensionsKey + "\\.mov"));
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, extensionsKey + "\\.MP4"));
}

void ExpectFilterCreatedAndLoads()
{
    ComPtr<IBaseFilter> filter;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_MovieSourceFilter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                     filter.PutVoid()));
    CLSID reported = GUID_NULL;
    EXPECT_EQ(S_OK, filter->GetClassID(&reported));
    EXPECT_TRUE(IsEqualGUID(CLSID_MovieSourceFilter, reported));

    const std::string movie = FixturePath("h264-aac.mov");
    if (movie.empty()) {
        ADD_FAILURE() << "fixture movie h264-aac.mov is missing";
        return;
    }
    ComPtr<IFileSourceFilter> source;
    ASSERT_EQ(S_OK, filter.As(IID_IFileSourceFilter, &source));
    ASSERT_EQ(S_OK, source->Load(WideText(movie).c_str(), nullptr));
    ComPtr<ISourceInfo> info;
    ASSERT_EQ(S_OK, filter.As(IID_ISourceInfo, &info));
    int32_t tracks = 0;
    EXPECT_EQ(S_OK, info->GetTrackCount(&tracks));
    EXPECT_EQ(2, tracks);
    ComPtr<IPin> video;
    EXPECT_EQ(S_OK, filter->FindPin(L"QT H264 Out", video.Put()));
    ComPtr<IPin> audio;
    EXPECT_EQ(S_OK, filter->FindPin(L"QT AAC Out", audio.Put()));
}
