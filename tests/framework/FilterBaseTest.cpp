// The filter base: its state machine over the pins, pin look-up, filter
// information, graph events, the clock and self-registration.
#include "tests/framework/FrameworkFakes.h"
#include "tests/support/ComTest.h"
#include "tests/support/RegistryReader.h"
#include "tests/support/SourceGraph.h"

#include <memory>
#include <string>

namespace {

using Calls = std::vector<std::string>;

class FilterBaseTest : public ComTest {
protected:
    void SetUp() override
    {
        ComTest::SetUp();
        filter = TestFilter::Create();
        host.reset(new SourceGraph(filter, false)); // the tests that need a graph make their own
    }
    void TearDown() override
    {
        host.reset();
        ComTest::TearDown();
    }

    TestPin* AddPin(LPCWSTR name) { return new TestPin(filter, name); }

    // Connects the pin to a sink of its own that takes any type.
    void Connect(TestPin* pin)
    {
        MediaTypeRecord type = MakeType(MEDIATYPE_Video, MEDIASUBTYPE_None, FORMAT_None);
        HRESULT result = E_FAIL;
        host->Connect(pin, &type, &result);
        ASSERT_EQ(S_OK, result);
    }

    FILTER_STATE State()
    {
        FILTER_STATE state;
        EXPECT_EQ(S_OK, filter->GetState(0, &state));
        return state;
    }

    std::unique_ptr<SourceGraph> host;
    TestFilter* filter = nullptr; // the host's source
};

TEST_F(FilterBaseTest, RunFromStoppedActivatesThenRunsOnlyConnectedPins)
{
    TestPin* a = AddPin(L"a");
    AddPin(L"b");
    TestPin* c = AddPin(L"c");
    Connect(a);
    Connect(c);

    EXPECT_EQ(S_OK, filter->Run(1000));
    EXPECT_EQ(State_Running, State());
    EXPECT_EQ((Calls{"Activate a", "Activate c", "OnRun a", "OnRun c"}), filter->calls);
    EXPECT_EQ(1000, a->runStart);

    // Running to paused touches no pin; paused to running runs them again.
    filter->calls.clear();
    EXPECT_EQ(S_OK, filter->Pause());
    EXPECT_EQ(State_Paused, State());
    EXPECT_TRUE(filter->calls.empty());
    EXPECT_EQ(S_OK, filter->Run(2000));
    EXPECT_EQ((Calls{"OnRun a", "OnRun c"}), filter->calls);

    // Run while running only takes the new start time.
    filter->calls.clear();
    EXPECT_EQ(S_OK, filter->Run(3000));
    EXPECT_TRUE(filter->calls.empty());
    EXPECT_EQ(2000, c->runStart);

    EXPECT_EQ(S_OK, filter->Stop());
    EXPECT_EQ((Calls{"Deactivate a", "Deactivate c"}), filter->calls);
    EXPECT_EQ(State_Stopped, State());
    filter->calls.clear();
    EXPECT_EQ(S_OK, filter->Stop());
    EXPECT_TRUE(filter->calls.empty());
}

TEST_F(FilterBaseTest, FailedActivateLeavesFilterStoppedAndStopReachesTheEarlierPins)
{
    TestPin* a = AddPin(L"a");
    TestPin* b = AddPin(L"b");
    TestPin* c = AddPin(L"c");
    Connect(a);
    Connect(b);
    Connect(c);
    b->activateAnswer = E_OUTOFMEMORY;

    EXPECT_EQ(E_OUTOFMEMORY, filter->Pause());
    EXPECT_EQ(State_Stopped, State());
    EXPECT_EQ((Calls{"Activate a", "Activate b"}), filter->calls);

    // Run fails the same way but has taken its start time first.
    FakeClock clock;
    clock.now = 5000;
    filter->SetSyncSource(&clock);
    EXPECT_EQ(E_OUTOFMEMORY, filter->Run(1200));
    EXPECT_EQ(State_Stopped, State());
    REFERENCE_TIME streamTime = 0;
    EXPECT_EQ(S_OK, filter->GetStreamTime(&streamTime));
    EXPECT_EQ(3800, streamTime);
    filter->SetSyncSource(nullptr);

    // The pins activated before the failure still hold what they took: Stop
    // reaches every connected pin although the filter never left stopped,
    // and only once.
    filter->calls.clear();
    EXPECT_EQ(S_OK, filter->Stop());
    EXPECT_EQ((Calls{"Deactivate a", "Deactivate b", "Deactivate c"}), filter->calls);
    filter->calls.clear();
    EXPECT_EQ(S_OK, filter->Stop());
    EXPECT_TRUE(filter->calls.empty());
}

TEST_F(FilterBaseTest, FailedOnRunLeavesFilterPaused)
{
    TestPin* a = AddPin(L"a");
    TestPin* b = AddPin(L"b");
    Connect(a);
    Connect(b);
    a->onRunAnswer = VFW_E_RUNTIME_ERROR;

    EXPECT_EQ(VFW_E_RUNTIME_ERROR, filter->Run(0));
    EXPECT_EQ(State_Paused, State());
    EXPECT_EQ((Calls{"Activate a", "Activate b", "OnRun a"}), filter->calls);
}

TEST_F(FilterBaseTest, StopReportsFirstDeactivateFailureAndAlwaysStops)
{
    TestPin* a = AddPin(L"a");
    TestPin* b = AddPin(L"b");
    TestPin* c = AddPin(L"c");
    Connect(a);
    Connect(b);
    Connect(c);
    ASSERT_EQ(S_OK, filter->Run(0));
    a->deactivateAnswer = VFW_E_NO_ALLOCATOR;
    b->deactivateAnswer = E_FAIL;
    filter->calls.clear();

    EXPECT_EQ(VFW_E_NO_ALLOCATOR, filter->Stop());
    EXPECT_EQ(State_Stopped, State());
    EXPECT_EQ((Calls{"Deactivate a", "Deactivate b", "Deactivate c"}), filter->calls);
}

TEST_F(FilterBaseTest, FindPinReadsOneBasedDecimalNumbers)
{
    TestPin* first = AddPin(L"first");
    TestPin* second = AddPin(L"second");
    struct Case {
        LPCWSTR id;
        IPin* expected;
    };
    for (const Case& c : {Case{L"2", second}, Case{L"1", first}, Case{L"  +2", second}, Case{L"1x", first},
                          Case{L"0", nullptr}, Case{L"3", nullptr}, Case{L"x", nullptr}, Case{L"-1", nullptr},
                          Case{L"4294967297", nullptr}}) {
        IPin* found = reinterpret_cast<IPin*>(1);
        HRESULT result = filter->FindPin(c.id, &found);
        EXPECT_EQ(c.expected ? S_OK : VFW_E_NOT_FOUND, result) << "id " << std::wstring(c.id).size();
        EXPECT_EQ(c.expected, found);
        if (found)
            found->Release();
    }
    EXPECT_EQ(E_POINTER, filter->FindPin(L"1", nullptr));

    // The name look-up of the base compares whole names, case and all.
    IPin* byName = nullptr;
    EXPECT_EQ(S_OK, filter->FindPinById(L"second", &byName));
    EXPECT_EQ(static_cast<IPin*>(second), byName);
    byName->Release();
    EXPECT_EQ(VFW_E_NOT_FOUND, filter->FindPinById(L"Second", &byName));
    EXPECT_EQ(nullptr, byName);
    EXPECT_EQ(VFW_E_NOT_FOUND, filter->FindPinById(L"secon", &byName));
}

TEST_F(FilterBaseTest, PinArrayGrowsAndShrinks)
{
    TestPin* a = AddPin(L"a");
    TestPin* b = AddPin(L"b");
    EXPECT_EQ(2, filter->PinCount());
    EXPECT_EQ(nullptr, filter->PinAt(-1));
    EXPECT_EQ(nullptr, filter->PinAt(2));
    EXPECT_EQ(1, filter->PinIndexOf(b));

    delete a; // its destructor takes it out of the array
    EXPECT_EQ(1, filter->PinCount());
    EXPECT_EQ(b, filter->PinAt(0));
    EXPECT_EQ(0, filter->PinIndexOf(b));
    EXPECT_EQ(S_FALSE, filter->RemovePin(a));

    delete b;
    EXPECT_EQ(0, filter->PinCount());
    EXPECT_EQ(nullptr, filter->PinAt(0));
    EXPECT_EQ(-1, filter->PinIndexOf(b));

    // A pin added after the array emptied is found again.
    TestPin* c = AddPin(L"c");
    EXPECT_EQ(c, filter->PinAt(0));
}

TEST_F(FilterBaseTest, FilterInfoCutsLongNamesAndJoiningNoGraphClearsAll)
{
    TestGraph* graph = TestGraph::Create();
    std::wstring longName(200, L'n');
    longName[126] = L'x';
    ASSERT_EQ(S_OK, graph->AddFilter(filter, longName.c_str()));

    FILTER_INFO info;
    ASSERT_EQ(S_OK, filter->QueryFilterInfo(&info));
    EXPECT_EQ(longName.substr(0, 127), std::wstring(info.achName));
    EXPECT_EQ(graph->AsGraph(), info.pGraph);
    info.pGraph->Release();
    EXPECT_EQ(S_OK, filter->NotifyGraphEvent(EC_ERRORABORT, 2, 3));

    ASSERT_EQ(S_OK, filter->JoinFilterGraph(nullptr, nullptr));
    ASSERT_EQ(S_OK, filter->QueryFilterInfo(&info));
    EXPECT_EQ(std::wstring(), std::wstring(info.achName));
    EXPECT_EQ(nullptr, info.pGraph);
    EXPECT_EQ(nullptr, filter->EventSink());
    // Without a sink the event is lost and the caller is told so.
    EXPECT_EQ(E_NOTIMPL, filter->NotifyGraphEvent(EC_COMPLETE, 0, 0));
    EXPECT_EQ(1u, graph->Events().size());

    EXPECT_EQ(E_POINTER, filter->QueryFilterInfo(nullptr));
    EXPECT_EQ(E_NOTIMPL, filter->QueryVendorInfo(nullptr));
    graph->Release();
}

TEST_F(FilterBaseTest, GraphEventsReachTheGraphWithCompletionNamingTheFilter)
{
    TestGraph* graph = TestGraph::Create();
    ASSERT_EQ(S_OK, graph->AddFilter(filter, L"source"));
    graph->SetNotifyAnswer(S_FALSE);

    EXPECT_EQ(S_FALSE, filter->NotifyGraphEvent(EC_COMPLETE, 0, 1234));
    EXPECT_EQ(S_FALSE, filter->NotifyGraphEvent(EC_ERRORABORT, LONG_PTR(E_FAIL), 1234));
    std::vector<GraphEvent> events = graph->Events();
    ASSERT_EQ(2u, events.size());
    EXPECT_EQ(EC_COMPLETE, events[0].code);
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(filter)), events[0].param2);
    EXPECT_EQ(EC_ERRORABORT, events[1].code);
    EXPECT_EQ(LONG_PTR(E_FAIL), events[1].param1);
    EXPECT_EQ(1234, events[1].param2);
    graph->Release();
}

TEST_F(FilterBaseTest, StreamTimeNeedsAClockAndCountsFromTheStart)
{
    REFERENCE_TIME now = 0;
    EXPECT_EQ(VFW_E_NO_CLOCK, filter->GetStreamTime(&now));

    FakeClock clock;
    clock.now = 90000;
    EXPECT_EQ(S_OK, filter->SetSyncSource(&clock));
    EXPECT_EQ(2, clock.references);
    IReferenceClock* held = nullptr;
    EXPECT_EQ(S_OK, filter->GetSyncSource(&held));
    EXPECT_EQ(&clock, held);
    EXPECT_EQ(3, clock.references);
    held->Release();

    ASSERT_EQ(S_OK, filter->Run(20000));
    EXPECT_EQ(S_OK, filter->GetStreamTime(&now));
    EXPECT_EQ(70000, now);
    clock.answer = E_UNEXPECTED;
    EXPECT_EQ(E_UNEXPECTED, filter->GetStreamTime(&now));

    FakeClock other;
    EXPECT_EQ(S_OK, filter->SetSyncSource(&other));
    EXPECT_EQ(1, clock.references);
    EXPECT_EQ(S_OK, filter->SetSyncSource(nullptr));
    EXPECT_EQ(1, other.references);
    EXPECT_EQ(S_OK, filter->GetSyncSource(&held));
    EXPECT_EQ(nullptr, held);
}

TEST_F(FilterBaseTest, InterfacesAndPinReferencesBelongToTheFilter)
{
    IUnknown* asUnknown = nullptr;
    IBaseFilter* asBase = nullptr;
    IMediaFilter* asMedia = nullptr;
    IPersist* asPersist = nullptr;
    IAMovieSetup* asSetup = nullptr;
    ASSERT_EQ(S_OK, filter->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&asUnknown)));
    ASSERT_EQ(S_OK, filter->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(&asBase)));
    ASSERT_EQ(S_OK, filter->QueryInterface(IID_IMediaFilter, reinterpret_cast<void**>(&asMedia)));
    ASSERT_EQ(S_OK, filter->QueryInterface(IID_IPersist, reinterpret_cast<void**>(&asPersist)));
    ASSERT_EQ(S_OK, filter->QueryInterface(IID_IAMovieSetup, reinterpret_cast<void**>(&asSetup)));
    EXPECT_EQ(static_cast<IBaseFilter*>(filter), asBase);
    EXPECT_EQ(static_cast<void*>(asBase), static_cast<void*>(asMedia));
    EXPECT_EQ(static_cast<void*>(asBase), static_cast<void*>(asPersist));
    IPin* notAPin = reinterpret_cast<IPin*>(1);
    EXPECT_EQ(E_NOINTERFACE, filter->QueryInterface(IID_IPin, reinterpret_cast<void**>(&notAPin)));
    EXPECT_EQ(nullptr, notAPin);
    for (IUnknown* held : {asUnknown, static_cast<IUnknown*>(asBase), static_cast<IUnknown*>(asMedia),
                           static_cast<IUnknown*>(asPersist), static_cast<IUnknown*>(asSetup)})
        held->Release();

    CLSID id;
    EXPECT_EQ(S_OK, filter->GetClassID(&id));
    EXPECT_FALSE(IsEqualGUID(id, GUID_NULL));

    // A pin's references are its filter's: one counts, the other answers.
    TestPin* pin = AddPin(L"p");
    ULONG filterCount = filter->AddRef();
    EXPECT_EQ(filterCount + 1, static_cast<IPin*>(pin)->AddRef());
    EXPECT_EQ(filterCount, static_cast<IPin*>(pin)->Release());
    filter->Release();
}

const REGPINTYPES RegisteredTypes[] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_None}};
WCHAR RegisteredPinName[] = L"Output";
const REGFILTERPINS RegisteredPins[] = {{RegisteredPinName, FALSE, TRUE, FALSE, FALSE, nullptr, nullptr, 1,
                                         RegisteredTypes}};
// {4B7E2D90-1C3F-4A58-8E6D-2F9A0B1C3D4E}: a class registered only by this test.
const CLSID RegisteredClassId = {0x4b7e2d90, 0x1c3f, 0x4a58, {0x8e, 0x6d, 0x2f, 0x9a, 0x0b, 0x1c, 0x3d, 0x4e}};
const FilterSetupRecord Registration = {&RegisteredClassId, L"Framework test filter", MERIT_DO_NOT_USE, 1,
                                        RegisteredPins};

TEST_F(FilterBaseTest, RegistrationUsesTheFilterMapperOnlyWithRegistrationData)
{
    const std::string filterKey = "Filter\\{4B7E2D90-1C3F-4A58-8E6D-2F9A0B1C3D4E}";
    const std::string classKey = "CLSID\\{4B7E2D90-1C3F-4A58-8E6D-2F9A0B1C3D4E}";
    EXPECT_EQ(S_FALSE, filter->Register());
    EXPECT_EQ(S_FALSE, filter->Unregister());
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, filterKey));

    filter->registration = &Registration;
    EXPECT_EQ(S_OK, filter->Register());
    EXPECT_EQ("Framework test filter", ReadRegistryString(HKEY_CLASSES_ROOT, filterKey, nullptr));
    EXPECT_EQ(DWORD(MERIT_DO_NOT_USE), ReadRegistryDword(HKEY_CLASSES_ROOT, classKey, "Merit"));
    const std::string pin = classKey + "\\Pins\\Output";
    EXPECT_EQ(1u, ReadRegistryDword(HKEY_CLASSES_ROOT, pin, "Direction"));
    EXPECT_TRUE(RegistryKeyExists(HKEY_CLASSES_ROOT, pin + "\\Types\\{73646976-0000-0010-8000-00AA00389B71}"
                                                           "\\{E436EB8E-524F-11CE-9F53-0020AF0BA770}"));

    EXPECT_EQ(S_OK, filter->Unregister());
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, filterKey));
    // Nothing left to remove still counts as unregistered.
    EXPECT_EQ(S_OK, filter->Unregister());
    DeleteRegistryTree(HKEY_CLASSES_ROOT, classKey);
}

} // namespace
