// The pin enumerator and the media type enumerator.
#include "tests/framework/FrameworkFakes.h"
#include "tests/support/ComTest.h"

namespace {

class EnumeratorTest : public ComTest {
protected:
    void SetUp() override
    {
        ComTest::SetUp();
        filter = TestFilter::Create();
        first = new TestPin(filter, L"first");
        second = new TestPin(filter, L"second");
    }
    void TearDown() override
    {
        filter->Release();
        ComTest::TearDown();
    }

    IEnumPins* Pins()
    {
        IEnumPins* pins = nullptr;
        EXPECT_EQ(S_OK, filter->EnumPins(&pins));
        return pins;
    }

    IEnumMediaTypes* Types(TestPin* pin)
    {
        IEnumMediaTypes* types = nullptr;
        EXPECT_EQ(S_OK, pin->EnumMediaTypes(&types));
        return types;
    }

    // Fetches up to count pins one call at a time, releasing them.
    std::vector<IPin*> Drain(IEnumPins* pins)
    {
        std::vector<IPin*> seen;
        IPin* pin = nullptr;
        while (pins->Next(1, &pin, nullptr) == S_OK) {
            seen.push_back(pin);
            pin->Release();
        }
        return seen;
    }

    TestFilter* filter = nullptr;
    TestPin* first = nullptr;
    TestPin* second = nullptr;
};

TEST_F(EnumeratorTest, PinsComeInOrderAndCountsAreChecked)
{
    IEnumPins* pins = Pins();
    IPin* out[5] = {};
    EXPECT_EQ(E_INVALIDARG, pins->Next(2, out, nullptr));
    EXPECT_EQ(E_POINTER, pins->Next(1, nullptr, nullptr));
    ASSERT_EQ(S_OK, pins->Next(1, out, nullptr));
    EXPECT_EQ(static_cast<IPin*>(first), out[0]);
    out[0]->Release();

    ASSERT_EQ(S_OK, pins->Reset());
    ULONG fetched = 99;
    EXPECT_EQ(S_FALSE, pins->Next(5, out, &fetched));
    ASSERT_EQ(2u, fetched);
    EXPECT_EQ(static_cast<IPin*>(first), out[0]);
    EXPECT_EQ(static_cast<IPin*>(second), out[1]);
    out[0]->Release();
    out[1]->Release();
    EXPECT_EQ(S_FALSE, pins->Next(1, out, &fetched));
    EXPECT_EQ(0u, fetched);
    EXPECT_EQ(S_FALSE, pins->Next(0, out, &fetched));

    IUnknown* asUnknown = nullptr;
    EXPECT_EQ(S_OK, pins->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&asUnknown)));
    EXPECT_EQ(static_cast<IUnknown*>(pins), asUnknown);
    asUnknown->Release();
    IEnumMediaTypes* wrong = reinterpret_cast<IEnumMediaTypes*>(1);
    EXPECT_EQ(E_NOINTERFACE, pins->QueryInterface(IID_IEnumMediaTypes, reinterpret_cast<void**>(&wrong)));
    EXPECT_EQ(nullptr, wrong);
    EXPECT_EQ(0u, pins->Release());
}

TEST_F(EnumeratorTest, AddedPinIsHandedOutWithoutRepeatingEarlierOnes)
{
    IEnumPins* pins = Pins();
    IPin* out[3] = {};
    ASSERT_EQ(S_OK, pins->Next(1, out, nullptr));
    out[0]->Release();

    TestPin* third = new TestPin(filter, L"third");
    filter->BumpPinSetVersion();
    ULONG fetched = 0;
    EXPECT_EQ(S_FALSE, pins->Next(3, out, &fetched));
    ASSERT_EQ(2u, fetched);
    EXPECT_EQ(static_cast<IPin*>(second), out[0]);
    EXPECT_EQ(static_cast<IPin*>(third), out[1]);
    out[0]->Release();
    out[1]->Release();

    // A reset forgets what was handed out.
    pins->Reset();
    EXPECT_EQ(3u, Drain(pins).size());
    pins->Release();
}

TEST_F(EnumeratorTest, PinSkipAndCloneKeepThePlace)
{
    IEnumPins* pins = Pins();
    EXPECT_EQ(S_FALSE, pins->Skip(3));
    EXPECT_EQ(S_OK, pins->Skip(2));
    EXPECT_TRUE(Drain(pins).empty());

    pins->Reset();
    IPin* out = nullptr;
    ASSERT_EQ(S_OK, pins->Next(1, &out, nullptr));
    out->Release();
    IEnumPins* copy = nullptr;
    ASSERT_EQ(S_OK, pins->Clone(&copy));
    std::vector<IPin*> rest = Drain(copy);
    ASSERT_EQ(1u, rest.size());
    EXPECT_EQ(static_cast<IPin*>(second), rest[0]);

    // The copy also remembers the first pin across a change of the pin set.
    new TestPin(filter, L"third");
    filter->BumpPinSetVersion();
    EXPECT_EQ(VFW_E_ENUM_OUT_OF_SYNC, pins->Skip(1));
    IEnumPins* none = reinterpret_cast<IEnumPins*>(1);
    EXPECT_EQ(VFW_E_ENUM_OUT_OF_SYNC, pins->Clone(&none));
    EXPECT_EQ(nullptr, none);
    EXPECT_EQ(1u, Drain(copy).size());
    copy->Release();
    pins->Release();
}

TEST_F(EnumeratorTest, PinRemovedWithoutNoticeIsReportedOutOfSync)
{
    IEnumPins* pins = Pins();
    delete second; // no version change: the enumerator meets a gap
    IPin* out[2] = {reinterpret_cast<IPin*>(1), reinterpret_cast<IPin*>(1)};
    ULONG fetched = 7;
    EXPECT_EQ(VFW_E_ENUM_OUT_OF_SYNC, pins->Next(2, out, &fetched));
    // The pin fetched before the gap is not left with the caller.
    EXPECT_EQ(nullptr, out[0]);
    pins->Release();
}

TEST_F(EnumeratorTest, EnumeratorKeepsItsFilterAlive)
{
    IEnumPins* pins = Pins();
    LONG live = LiveObjectCount;
    filter->Release();
    EXPECT_EQ(live, LiveObjectCount);
    IPin* out = nullptr;
    ASSERT_EQ(S_OK, pins->Next(1, &out, nullptr));
    filter->AddRef(); // the fixture's reference again
    out->Release();
    pins->Release();
}

TEST_F(EnumeratorTest, MediaTypesAreHandedOverWithTheirFormatBlocks)
{
    first->types.offered = {MakeType(MEDIATYPE_Audio, MEDIASUBTYPE_None, FORMAT_WaveFormatEx, {1, 2, 3}),
                            MakeType(MEDIATYPE_Video, MEDIASUBTYPE_None, FORMAT_None)};
    IEnumMediaTypes* types = Types(first);
    AM_MEDIA_TYPE* out[3] = {};
    EXPECT_EQ(E_INVALIDARG, types->Next(2, out, nullptr));
    EXPECT_EQ(E_POINTER, types->Next(1, nullptr, nullptr));
    ASSERT_EQ(S_OK, types->Next(1, out, nullptr));
    EXPECT_TRUE(first->types.offered[0].Equals(*out[0]));
    ASSERT_EQ(3u, out[0]->cbFormat);
    EXPECT_NE(first->types.offered[0].pbFormat, out[0]->pbFormat);
    DestroyTypeRecord(out[0]);

    ULONG fetched = 9;
    EXPECT_EQ(S_FALSE, types->Next(3, out, &fetched));
    ASSERT_EQ(1u, fetched);
    EXPECT_TRUE(IsEqualGUID(MEDIATYPE_Video, out[0]->majortype));
    DestroyTypeRecord(out[0]);
    EXPECT_EQ(S_FALSE, types->Next(1, out, &fetched));
    EXPECT_EQ(0u, fetched);
    types->Release();
}

TEST_F(EnumeratorTest, MediaTypeSkipProbesAndCloneCopiesThePosition)
{
    first->types.offered = {MakeType(MEDIATYPE_Video, MEDIASUBTYPE_None, FORMAT_None)};
    IEnumMediaTypes* types = Types(first);
    EXPECT_EQ(S_OK, types->Skip(0));
    EXPECT_EQ(S_OK, types->Skip(1));
    EXPECT_EQ(S_FALSE, types->Skip(1));
    EXPECT_EQ(S_FALSE, types->Skip(0xFFFFFFFFu));

    // Each Next moves on even past the end, so a reset is needed to return.
    types->Reset();
    AM_MEDIA_TYPE* out = nullptr;
    ULONG fetched = 0;
    EXPECT_EQ(S_FALSE, types->Skip(2));
    types->Reset();
    ASSERT_EQ(S_OK, types->Next(1, &out, &fetched));
    DestroyTypeRecord(out);
    EXPECT_EQ(S_FALSE, types->Next(1, &out, &fetched));
    first->types.offered.push_back(MakeType(MEDIATYPE_Audio, MEDIASUBTYPE_None, FORMAT_None));
    EXPECT_EQ(S_FALSE, types->Next(1, &out, &fetched)); // position 2 already
    types->Reset();
    ASSERT_EQ(S_OK, types->Next(1, &out, &fetched));
    DestroyTypeRecord(out);

    IEnumMediaTypes* copy = nullptr;
    ASSERT_EQ(S_OK, types->Clone(&copy));
    ASSERT_EQ(S_OK, copy->Next(1, &out, &fetched));
    EXPECT_TRUE(IsEqualGUID(MEDIATYPE_Audio, out->majortype));
    DestroyTypeRecord(out);
    copy->Release();

    // A change of the pin's types stops the enumerator until reset.
    first->BumpTypeVersion();
    EXPECT_EQ(VFW_E_ENUM_OUT_OF_SYNC, types->Next(1, &out, &fetched));
    EXPECT_EQ(VFW_E_ENUM_OUT_OF_SYNC, types->Skip(1));
    IEnumMediaTypes* none = reinterpret_cast<IEnumMediaTypes*>(1);
    EXPECT_EQ(VFW_E_ENUM_OUT_OF_SYNC, types->Clone(&none));
    EXPECT_EQ(nullptr, none);
    types->Reset();
    ASSERT_EQ(S_OK, types->Next(1, &out, &fetched));
    DestroyTypeRecord(out);
    types->Release();
}

} // namespace
