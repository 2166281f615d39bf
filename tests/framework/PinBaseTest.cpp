// Connection negotiation of the pin base: which types are tried in which
// order, how failures are reduced, and the connection's life around them.
#include "tests/framework/FrameworkFakes.h"
#include "tests/support/ComTest.h"
#include "tests/support/SinkFilter.h"

#include <cstring>
#include <string>

namespace {

// {00000001-....}: subtypes of the test's own, told apart by their first field.
GUID Subtype(uint32_t n) { return {n, 0x1111, 0x2222, {0x80, 0, 0, 0xaa, 0, 0x38, 0x9b, 0x71}}; }

MediaTypeRecord Video(uint32_t n) { return MakeType(MEDIATYPE_Video, Subtype(n), FORMAT_VideoInfo, {BYTE(n), 7}); }
MediaTypeRecord Audio(uint32_t n) { return MakeType(MEDIATYPE_Audio, Subtype(n), FORMAT_WaveFormatEx); }
MediaTypeRecord Pattern(const GUID& major) { return MakeType(major, GUID_NULL, GUID_NULL); }

class PinBaseTest : public ComTest {
protected:
    void SetUp() override
    {
        ComTest::SetUp();
        filter = TestFilter::Create();
        pin = new TestPin(filter, L"out");
        sink = SinkFilter::Create();
    }
    void TearDown() override
    {
        filter->Stop();
        pin->Disconnect();
        sink->Input().Disconnect();
        sink->Release();
        filter->Release();
        ComTest::TearDown();
    }

    // The subtypes, by number, of every type the sink was asked to take.
    std::vector<uint32_t> Attempts()
    {
        std::vector<uint32_t> numbers;
        for (const MediaTypeRecord& type : sink->Input().ConnectionAttempts())
            numbers.push_back(type.subtype.Data1);
        return numbers;
    }

    // The sink lists three types and takes none of them unless told.
    void SinkOffersAndRejects()
    {
        sink->Input().OfferTypes({Video(1), Audio(2), Video(3)});
        sink->Input().AcceptOnly(Pattern(MEDIATYPE_Text));
        pin->types.offered = {Audio(4), Video(5)};
    }

    IPin* Peer() { return sink->Input().AsPin(); }

    TestFilter* filter = nullptr;
    TestPin* pin = nullptr;
    SinkFilter* sink = nullptr;
};

TEST_F(PinBaseTest, FullySpecifiedTypeIsTheOnlyOneTried)
{
    SinkOffersAndRejects();
    MediaTypeRecord wanted = Video(5);
    EXPECT_EQ(VFW_E_TYPE_NOT_ACCEPTED, pin->Connect(Peer(), &wanted));
    EXPECT_EQ(std::vector<uint32_t>{5}, Attempts());
    EXPECT_FALSE(pin->IsConnected());
    EXPECT_GE(pin->breaks, 1);

    sink->Input().AcceptAll();
    EXPECT_EQ(S_OK, pin->Connect(Peer(), &wanted));
    IPin* peer = nullptr;
    EXPECT_EQ(S_OK, pin->ConnectedTo(&peer));
    EXPECT_EQ(Peer(), peer);
    peer->Release();
    AM_MEDIA_TYPE agreed;
    ASSERT_EQ(S_OK, pin->ConnectionMediaType(&agreed));
    EXPECT_TRUE(wanted.Equals(agreed));
    ASSERT_EQ(2u, agreed.cbFormat);
    EXPECT_NE(wanted.pbFormat, agreed.pbFormat); // a deep copy, the caller's to free
    ReleaseTypeFields(&agreed);
    EXPECT_TRUE(wanted.Equals(sink->Input().ConnectionType()));
}

TEST_F(PinBaseTest, WildcardTriesPeerTypesThenOwnAndOnlyThoseMatching)
{
    SinkOffersAndRejects();
    MediaTypeRecord video = Pattern(MEDIATYPE_Video);
    EXPECT_EQ(VFW_E_NO_ACCEPTABLE_TYPES, pin->Connect(Peer(), &video));
    EXPECT_EQ((std::vector<uint32_t>{1, 3, 5}), Attempts());

    // No pattern at all: every type, the peer's first.
    sink->Input().ClearRecords();
    EXPECT_EQ(VFW_E_NO_ACCEPTABLE_TYPES, pin->Connect(Peer(), nullptr));
    EXPECT_EQ((std::vector<uint32_t>{1, 2, 3, 4, 5}), Attempts());

    // A pattern with a major type but no format type is still a wildcard.
    sink->Input().ClearRecords();
    pin->TryMyTypesFirst(true);
    MediaTypeRecord audio = MakeType(MEDIATYPE_Audio, Subtype(4), GUID_NULL);
    EXPECT_EQ(VFW_E_NO_ACCEPTABLE_TYPES, pin->Connect(Peer(), &audio));
    EXPECT_EQ(std::vector<uint32_t>{4}, Attempts());

    sink->Input().ClearRecords();
    EXPECT_EQ(VFW_E_NO_ACCEPTABLE_TYPES, pin->Connect(Peer(), &video));
    EXPECT_EQ((std::vector<uint32_t>{5, 1, 3}), Attempts());
}

TEST_F(PinBaseTest, NegotiationStopsAtTheFirstAcceptedType)
{
    sink->Input().OfferTypes({Video(1), Audio(2), Video(3)});
    sink->Input().AcceptOnly(Pattern(MEDIATYPE_Audio));
    EXPECT_EQ(S_OK, pin->Connect(Peer(), nullptr));
    EXPECT_EQ((std::vector<uint32_t>{1, 2}), Attempts());
    EXPECT_EQ(2u, pin->ConnectionType().subtype.Data1);
    EXPECT_EQ(VFW_E_ALREADY_CONNECTED, pin->Connect(Peer(), nullptr));
}

TEST_F(PinBaseTest, PlainRejectionsReduceWhileOtherFailuresComeThrough)
{
    SinkOffersAndRejects();
    SinkPin& in = sink->Input();
    in.AnswerForType(Video(1), E_FAIL);
    in.AnswerForType(Audio(2), E_INVALIDARG);
    EXPECT_EQ(VFW_E_NO_ACCEPTABLE_TYPES, pin->Connect(Peer(), nullptr));

    // One telling failure among rejections is what the caller hears, even
    // after a type that the pattern passed over.
    in.AnswerForType(Video(3), E_OUTOFMEMORY);
    MediaTypeRecord video = Pattern(MEDIATYPE_Video);
    EXPECT_EQ(E_OUTOFMEMORY, pin->Connect(Peer(), &video));
    MediaTypeRecord major = Pattern(MEDIATYPE_Video);
    major.subtype = Subtype(3);
    EXPECT_EQ(E_OUTOFMEMORY, pin->Connect(Peer(), &major));
    EXPECT_EQ(E_OUTOFMEMORY, pin->Connect(Peer(), nullptr));

    // The first telling failure of a round is kept over later ones.
    in.AcceptAll();
    in.AcceptOnly(Pattern(MEDIATYPE_Text));
    in.AnswerForType(Video(1), VFW_E_BADALIGN);
    in.AnswerForType(Video(3), E_OUTOFMEMORY);
    EXPECT_EQ(VFW_E_BADALIGN, pin->Connect(Peer(), nullptr));
    EXPECT_FALSE(pin->IsConnected());
}

TEST_F(PinBaseTest, CheckTypeMustAnswerExactlyOk)
{
    SinkOffersAndRejects();
    sink->Input().AcceptAll();
    pin->types.checkAnswer = S_FALSE;
    MediaTypeRecord wanted = Video(1);
    EXPECT_EQ(VFW_E_TYPE_NOT_ACCEPTED, pin->Connect(Peer(), &wanted));
    EXPECT_EQ(VFW_E_NO_ACCEPTABLE_TYPES, pin->Connect(Peer(), nullptr));
    EXPECT_TRUE(Attempts().empty());

    pin->types.checkAnswer = E_OUTOFMEMORY;
    EXPECT_EQ(E_OUTOFMEMORY, pin->Connect(Peer(), &wanted));

    // QueryAccept turns a refusal into S_FALSE and passes successes on.
    pin->types.checkAnswer = E_FAIL;
    EXPECT_EQ(S_FALSE, pin->QueryAccept(&wanted));
    pin->types.checkAnswer = S_OK;
    EXPECT_EQ(S_OK, pin->QueryAccept(&wanted));
    pin->types.checkAnswer = S_FALSE;
    EXPECT_EQ(S_FALSE, pin->QueryAccept(&wanted));
}

TEST_F(PinBaseTest, PeerTypeListFailureSkipsToOwnTypes)
{
    sink->Input().FailTypeEnumeration(E_NOTIMPL);
    pin->types.offered = {Audio(4), Video(5)};
    sink->Input().AcceptOnly(Pattern(MEDIATYPE_Video));
    EXPECT_EQ(S_OK, pin->Connect(Peer(), nullptr));
    EXPECT_EQ((std::vector<uint32_t>{4, 5}), Attempts());
}

TEST_F(PinBaseTest, ConnectionNeedsAStoppedFilterAndAnOppositePin)
{
    MediaTypeRecord wanted = Video(1);
    EXPECT_EQ(E_POINTER, pin->Connect(nullptr, &wanted));

    TestPin* sameDirection = new TestPin(filter, L"other");
    EXPECT_EQ(VFW_E_INVALID_DIRECTION, pin->Connect(sameDirection, &wanted));
    EXPECT_FALSE(sameDirection->IsConnected());

    ASSERT_EQ(S_OK, filter->Pause());
    EXPECT_EQ(VFW_E_NOT_STOPPED, pin->Connect(Peer(), &wanted));
    EXPECT_TRUE(Attempts().empty());
}

TEST_F(PinBaseTest, ReceivedConnectionChecksPeerAndType)
{
    TestFilter* other = TestFilter::Create();
    TestPin* input = new TestPin(other, L"in", PINDIR_INPUT);
    MediaTypeRecord wanted = Video(9);

    EXPECT_EQ(E_POINTER, input->ReceiveConnection(nullptr, &wanted));
    EXPECT_EQ(E_POINTER, input->ReceiveConnection(pin, nullptr));

    input->types.checkAnswer = S_FALSE;
    EXPECT_EQ(VFW_E_TYPE_NOT_ACCEPTED, pin->Connect(input, &wanted));
    EXPECT_FALSE(input->IsConnected());
    EXPECT_GE(input->breaks, 1);

    input->types.checkAnswer = S_OK;
    ASSERT_EQ(S_OK, pin->Connect(input, &wanted));
    EXPECT_EQ(static_cast<IPin*>(pin), input->ConnectedPin());
    EXPECT_TRUE(wanted.Equals(input->ConnectionType()));
    EXPECT_EQ(VFW_E_ALREADY_CONNECTED, input->ReceiveConnection(pin, &wanted));

    // Each side holds the other's filter: both must let go.
    EXPECT_EQ(S_OK, input->Disconnect());
    EXPECT_EQ(S_OK, pin->Disconnect());
    other->Release();
}

TEST_F(PinBaseTest, DisconnectKeepsTheConnectionUnlessStoppedAndReleased)
{
    EXPECT_EQ(S_FALSE, pin->Disconnect());
    MediaTypeRecord wanted = Video(1);
    ASSERT_EQ(S_OK, pin->Connect(Peer(), &wanted));

    ASSERT_EQ(S_OK, filter->Pause());
    EXPECT_EQ(VFW_E_NOT_STOPPED, pin->Disconnect());
    EXPECT_TRUE(pin->IsConnected());
    ASSERT_EQ(S_OK, filter->Stop());

    pin->breakAnswer = VFW_E_BUFFERS_OUTSTANDING;
    EXPECT_EQ(VFW_E_BUFFERS_OUTSTANDING, pin->Disconnect());
    EXPECT_TRUE(pin->IsConnected());

    pin->breakAnswer = S_OK;
    EXPECT_EQ(S_OK, pin->Disconnect());
    IPin* peer = reinterpret_cast<IPin*>(1);
    EXPECT_EQ(VFW_E_NOT_CONNECTED, pin->ConnectedTo(&peer));
    EXPECT_EQ(nullptr, peer);
    // The agreed type outlives the connection.
    EXPECT_TRUE(wanted.Equals(pin->ConnectionType()));
}

TEST_F(PinBaseTest, UnconnectedPinReportsTheEmptyType)
{
    AM_MEDIA_TYPE type;
    std::memset(static_cast<void*>(&type), 0xCD, sizeof type);
    EXPECT_EQ(VFW_E_NOT_CONNECTED, pin->ConnectionMediaType(&type));
    EXPECT_TRUE(IsEqualGUID(GUID_NULL, type.majortype));
    EXPECT_TRUE(IsEqualGUID(GUID_NULL, type.formattype));
    EXPECT_EQ(TRUE, type.bFixedSizeSamples);
    EXPECT_EQ(1u, type.lSampleSize);
    EXPECT_EQ(0u, type.cbFormat);
    EXPECT_EQ(nullptr, type.pbFormat);
    EXPECT_EQ(nullptr, type.pUnk);
    EXPECT_EQ(E_POINTER, pin->ConnectionMediaType(nullptr));
}

TEST_F(PinBaseTest, PinInformationAndIdentity)
{
    new TestPin(filter, L"second");
    std::wstring longName(200, L'p');
    longName[126] = L'z';
    TestPin* third = new TestPin(filter, longName.c_str(), PINDIR_INPUT);

    LPWSTR id = nullptr;
    ASSERT_EQ(S_OK, third->QueryId(&id));
    EXPECT_EQ(std::wstring(L"3"), std::wstring(id));
    IPin* found = nullptr;
    ASSERT_EQ(S_OK, filter->FindPin(id, &found)); // the id finds the pin again
    EXPECT_EQ(static_cast<IPin*>(third), found);
    found->Release();
    CoTaskMemFree(id);

    filter->RemovePin(third);
    EXPECT_EQ(VFW_E_NOT_FOUND, third->QueryId(&id));
    EXPECT_EQ(nullptr, id);
    filter->AddPin(third);

    PIN_INFO info;
    ASSERT_EQ(S_OK, third->QueryPinInfo(&info));
    EXPECT_EQ(longName.substr(0, 127), std::wstring(info.achName));
    EXPECT_EQ(PINDIR_INPUT, info.dir);
    EXPECT_EQ(static_cast<IBaseFilter*>(filter), info.pFilter);
    info.pFilter->Release();
    PIN_DIRECTION direction;
    EXPECT_EQ(S_OK, pin->QueryDirection(&direction));
    EXPECT_EQ(PINDIR_OUTPUT, direction);

    // An output pin takes no stream calls from downstream.
    EXPECT_EQ(E_UNEXPECTED, pin->EndOfStream());
    EXPECT_EQ(E_UNEXPECTED, pin->BeginFlush());
    EXPECT_EQ(E_UNEXPECTED, pin->EndFlush());
    EXPECT_EQ(E_NOTIMPL, pin->QueryInternalConnections(nullptr, nullptr));
    Quality quality = {Famine, 1000, 0, 0};
    EXPECT_EQ(E_NOTIMPL, pin->Notify(filter, quality));

    EXPECT_EQ(0, pin->SegmentStart());
    EXPECT_EQ(0x7FFFFFFFFFFFFFFFLL, pin->SegmentStop());
    EXPECT_EQ(S_OK, pin->NewSegment(10, 20, 0.5));
    EXPECT_EQ(10, pin->SegmentStart());
    EXPECT_EQ(20, pin->SegmentStop());
    EXPECT_EQ(0.5, pin->SegmentRate());

    IQualityControl* control = nullptr;
    ASSERT_EQ(S_OK, pin->QueryInterface(IID_IQualityControl, reinterpret_cast<void**>(&control)));
    EXPECT_EQ(S_OK, control->SetSink(control));
    EXPECT_EQ(control, pin->QualitySink());
    control->Release();
}

} // namespace
