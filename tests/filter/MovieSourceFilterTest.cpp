// The source filter object: creation, its interfaces, Load and the name it
// reports, the pins the parser asks for and how they are found.
#include "framework/ComPtr.h"
#include "framework/WideText.h"
#include "parser/StreamTypes.h"
#include "platform/TestHooks.h"
#include "tests/support/ComTest.h"
#include "tests/support/Fixtures.h"
#include "tests/support/MovieGraph.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

class MovieSourceFilterTest : public ComTest {};

std::wstring CurrentFile(IFileSourceFilter* source)
{
    LPOLESTR name = nullptr;
    EXPECT_EQ(S_OK, source->GetCurFile(&name, nullptr));
    std::wstring text = name ? name : L"<null>";
    CoTaskMemFree(name);
    return text;
}

std::wstring PinId(IPin* pin)
{
    LPWSTR id = nullptr;
    EXPECT_EQ(S_OK, pin->QueryId(&id));
    std::wstring text = id ? id : L"<null>";
    CoTaskMemFree(id);
    return text;
}

// The type a pin is made with; the AAC pin's kind, with a small format block.
MediaTypeRecord AacType()
{
    MediaTypeRecord type;
    type.majortype = MEDIATYPE_Audio;
    type.subtype = AacStreamSubtype;
    type.formattype = AacStreamFormat;
    type.cbFormat = 4;
    type.pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(4));
    std::memset(type.pbFormat, 0x5A, 4);
    return type;
}

class CountingOuter : public IUnknown {
public:
    virtual ~CountingOuter() = default;
    STDMETHODIMP QueryInterface(REFIID, void** out) override
    {
        ++queries;
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ULONG(++count); }
    STDMETHODIMP_(ULONG) Release() override { return ULONG(--count); }
    int queries = 0;
    LONG count = 0;
};

TEST_F(MovieSourceFilterTest, ANewFilterHasItsPlaceholderNameAndNothingElse)
{
    HRESULT result = HRESULT(0x12345678);
    IUnknown* unknown = CreateMovieSourceFilter(nullptr, &result);
    ASSERT_NE(nullptr, unknown);
    EXPECT_EQ(HRESULT(0x12345678), result); // success leaves the result alone

    ComPtr<IFileSourceFilter> source;
    ASSERT_EQ(S_OK, unknown->QueryInterface(IID_IFileSourceFilter, source.PutVoid()));
    EXPECT_EQ(L"File Source (Quarnex)", CurrentFile(source.Get()));
    AM_MEDIA_TYPE type;
    std::memset(&type, 0xCD, sizeof type);
    LPOLESTR name = nullptr;
    ASSERT_EQ(S_OK, source->GetCurFile(&name, &type));
    CoTaskMemFree(name);
    EXPECT_EQ(0u, type.cbFormat); // cleared: a host that frees it frees nothing
    EXPECT_EQ(nullptr, type.pbFormat);
    EXPECT_EQ(nullptr, type.pUnk);
    EXPECT_EQ(E_POINTER, source->GetCurFile(nullptr, nullptr));

    ComPtr<ISourceInfo> info;
    ASSERT_EQ(S_OK, unknown->QueryInterface(IID_ISourceInfo, info.PutVoid()));
    int32_t tracks = -1;
    EXPECT_EQ(S_OK, info->GetTrackCount(&tracks));
    EXPECT_EQ(0, tracks);
    char* text = reinterpret_cast<char*>(1);
    EXPECT_EQ(S_OK, info->GetInfoText(&text));
    EXPECT_EQ(nullptr, text);
    EXPECT_EQ(S_FALSE, info->AllowsFileChange());
    EXPECT_EQ(S_OK, info->ReservedFirst(7));
    EXPECT_EQ(S_OK, info->ReservedSecond(0xFFFFFFFFu));

    ComPtr<IBaseFilter> filter;
    ASSERT_EQ(S_OK, unknown->QueryInterface(IID_IBaseFilter, filter.PutVoid()));
    EXPECT_EQ(0, static_cast<MovieSourceFilter*>(filter.Get())->PinCount());
    ComPtr<IEnumPins> pins;
    ASSERT_EQ(S_OK, filter->EnumPins(pins.Put()));
    IPin* pin = nullptr;
    ULONG fetched = 9;
    EXPECT_EQ(S_FALSE, pins->Next(1, &pin, &fetched));
    EXPECT_EQ(0u, fetched);
    CLSID classId = GUID_NULL;
    EXPECT_EQ(S_OK, filter->GetClassID(&classId));
    EXPECT_TRUE(IsEqualGUID(CLSID_MovieSourceFilter, classId));
}

TEST_F(MovieSourceFilterTest, InterfacesOfTheFilterShareOneIdentityAndSeekingIsNotAmongThem)
{
    ComPtr<IUnknown> unknown(CreateMovieSourceFilter(nullptr, nullptr));
    const IID offered[] = {IID_IFileSourceFilter, IID_ISourceInfo, IID_ISpecifyPropertyPages, IID_IBaseFilter,
                           IID_IMediaFilter,      IID_IPersist,    IID_IAMovieSetup,          IID_IUnknown};
    for (const IID& iid : offered) {
        ComPtr<IUnknown> face;
        ASSERT_EQ(S_OK, unknown->QueryInterface(iid, face.PutVoid()));
        ComPtr<IUnknown> identity;
        ASSERT_EQ(S_OK, face->QueryInterface(IID_IUnknown, identity.PutVoid()));
        EXPECT_EQ(unknown.Get(), identity.Get());
    }
    void* seeking = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, unknown->QueryInterface(IID_IMediaSeeking, &seeking));
    EXPECT_EQ(nullptr, seeking);
    EXPECT_EQ(E_POINTER, unknown->QueryInterface(IID_ISourceInfo, nullptr));

    ComPtr<ISpecifyPropertyPages> pages;
    ASSERT_EQ(S_OK, unknown->QueryInterface(IID_ISpecifyPropertyPages, pages.PutVoid()));
    CAUUID list = {0, nullptr};
    ASSERT_EQ(S_OK, pages->GetPages(&list));
    ASSERT_EQ(1u, list.cElems);
    EXPECT_TRUE(IsEqualGUID(CLSID_SourceInfoPage, list.pElems[0]));
    CoTaskMemFree(list.pElems);
    if (FailNextTaskAllocation()) {
        EXPECT_EQ(E_OUTOFMEMORY, pages->GetPages(&list));
        EXPECT_EQ(nullptr, list.pElems);
    }
}

TEST_F(MovieSourceFilterTest, AnAggregatedFilterCountsAndAsksThroughItsOuterObject)
{
    CountingOuter outer;
    IUnknown* inner = CreateMovieSourceFilter(&outer, nullptr);
    inner->AddRef();
    ComPtr<ISourceInfo> info;
    ASSERT_EQ(S_OK, inner->QueryInterface(IID_ISourceInfo, info.PutVoid()));
    EXPECT_EQ(1, outer.count); // the interface's reference went to the outer object
    void* other = nullptr;
    EXPECT_EQ(E_NOINTERFACE, info->QueryInterface(IID_IBaseFilter, &other));
    EXPECT_EQ(1, outer.queries);
    info.Reset();
    EXPECT_EQ(0, outer.count);
    inner->Release();
}

TEST_F(MovieSourceFilterTest, LoadingAMovieMakesOnePinPerStreamFoundByItsName)
{
    const std::string path = FixturePath("h264-aac-faststart.mp4");
    if (path.empty())
        GTEST_SKIP() << "fixture movies not made";
    MovieGraph movie;
    ASSERT_EQ(S_OK, movie.Load(path));
    EXPECT_EQ(WideText(path), CurrentFile(movie.filter));
    ASSERT_EQ(2, movie.PinCount());
    EXPECT_EQ(L"QT H264 Out", PinId(movie.PinInterface(0)));
    EXPECT_EQ(L"QT AAC Out", PinId(movie.PinInterface(1)));
    EXPECT_EQ(StreamKind::Avc, movie.Pin(0)->Kind());
    EXPECT_EQ(StreamKind::Aac, movie.Pin(1)->Kind());
    int32_t tracks = 0;
    EXPECT_EQ(S_OK, movie.filter->GetTrackCount(&tracks));
    EXPECT_EQ(2, tracks);
    char* text = nullptr;
    EXPECT_EQ(S_OK, movie.filter->GetInfoText(&text));
    ASSERT_NE(nullptr, text);
    EXPECT_NE(nullptr, std::strstr(text, "avc1"));

    for (int i = 0; i < 2; ++i) {
        ComPtr<IPin> found;
        ASSERT_EQ(S_OK, movie.filter->FindPin(PinId(movie.PinInterface(i)).c_str(), found.Put()));
        EXPECT_EQ(movie.PinInterface(i), found.Get());
    }
    IPin* none = reinterpret_cast<IPin*>(1);
    EXPECT_EQ(VFW_E_NOT_FOUND, movie.filter->FindPin(L"1", &none)); // numbers are no pin ids here
    EXPECT_EQ(nullptr, none);
    EXPECT_EQ(VFW_E_NOT_FOUND, movie.filter->FindPin(L"qt h264 out", &none));
    EXPECT_EQ(E_POINTER, movie.filter->FindPin(L"QT AAC Out", nullptr));

    // A second Load changes nothing.
    EXPECT_EQ(E_UNEXPECTED, movie.Load(FixturePath("mp4v.mp4")));
    EXPECT_EQ(2, movie.PinCount());
    EXPECT_EQ(WideText(path), CurrentFile(movie.filter));
}

// The MPEG-4 video pin offers its own type first and the MPEG-2 video type it
// once had second; a connection with either streams the same samples.
TEST_F(MovieSourceFilterTest, TheMpeg4VideoPinOffersBothItsTypesAndConnectsWithEither)
{
    const std::string path = FixturePath("mp4v.mp4");
    if (path.empty())
        GTEST_SKIP() << "fixture movies not made";
    struct Offered {
        GUID subtype;
        GUID formatType;
    };
    const Offered offered[] = {{Mp4vStreamSubtype, FORMAT_VideoInfo}, {MEDIASUBTYPE_MPEG2_VIDEO, FORMAT_MPEG2Video}};
    std::vector<std::vector<BYTE>> delivered[2];
    for (int which = 0; which < 2; ++which) {
        SCOPED_TRACE(which);
        MovieGraph movie;
        ASSERT_EQ(S_OK, movie.Load(path));
        ASSERT_EQ(1, movie.PinCount());
        IPin* pin = movie.PinInterface(0);
        ComPtr<IEnumMediaTypes> types;
        ASSERT_EQ(S_OK, pin->EnumMediaTypes(types.Put()));
        AM_MEDIA_TYPE* listed[3] = {};
        ULONG count = 0;
        EXPECT_EQ(S_FALSE, types->Next(3, listed, &count));
        ASSERT_EQ(2u, count);
        for (ULONG i = 0; i < count; ++i) {
            EXPECT_TRUE(IsEqualGUID(MEDIATYPE_Video, listed[i]->majortype));
            EXPECT_TRUE(IsEqualGUID(offered[i].subtype, listed[i]->subtype)) << i;
            EXPECT_TRUE(IsEqualGUID(offered[i].formatType, listed[i]->formattype)) << i;
            EXPECT_EQ(S_OK, pin->QueryAccept(listed[i])) << i;
        }
        MediaTypeRecord chosen;
        ASSERT_EQ(S_OK, chosen.Assign(*listed[which]));
        MediaTypeRecord foreign;
        ASSERT_EQ(S_OK, foreign.Assign(*listed[which]));
        foreign.subtype = AvcStreamSubtype;
        EXPECT_NE(S_OK, pin->QueryAccept(&foreign));
        for (ULONG i = 0; i < count; ++i)
            DestroyTypeRecord(listed[i]);

        HRESULT result = E_FAIL;
        SinkPin& sink = movie.Connect(pin, &chosen, &result);
        ASSERT_EQ(S_OK, result);
        EXPECT_TRUE(sink.ConnectionType().Equals(chosen));
        EXPECT_EQ(StreamKind::Mpeg4Video, movie.Pin(0)->Kind());
        ASSERT_EQ(S_OK, movie.Run());
        ASSERT_TRUE(movie.WaitForEndOfStreams(1, 60000));
        for (const ReceivedSample& sample : sink.Samples())
            delivered[which].push_back(sample.bytes);
    }
    EXPECT_FALSE(delivered[0].empty());
    EXPECT_EQ(delivered[0], delivered[1]);
}

TEST_F(MovieSourceFilterTest, LoadsThatFindNoMovie)
{
    {
        MovieGraph movie;
        EXPECT_EQ(E_FAIL, movie.Load(TempPath("no-such-movie.mp4")));
        EXPECT_EQ(0, movie.PinCount());
        EXPECT_EQ(WideText(TempPath("no-such-movie.mp4")), CurrentFile(movie.filter)); // the name is kept
        EXPECT_EQ(E_POINTER, movie.filter->Load(nullptr, nullptr));
    }
    const std::string path = FixturePath("aac-44100-mono.mp4");
    if (path.empty())
        GTEST_SKIP() << "fixture movies not made";
    MovieGraph movie;
    // Whose narrow form does not fit a path buffer: nothing is opened, the
    // name stays, and a later Load of a real name works.
    std::string tooLong = path.substr(0, path.rfind('.')) + std::string(300, 'x') + ".mp4";
    EXPECT_EQ(E_FAIL, movie.Load(tooLong));
    EXPECT_EQ(L"File Source (Quarnex)", CurrentFile(movie.filter));
    EXPECT_EQ(0, movie.PinCount());
    // 259 characters and the terminator fit exactly.
    std::string longest(MAX_PATH - 1, 'y');
    EXPECT_EQ(E_FAIL, movie.filter->Load(WideText(longest).c_str(), nullptr));
    EXPECT_EQ(WideText(longest), CurrentFile(movie.filter));
}

// Two sound tracks make two pins of one name; a graph saved and loaded again
// finds each by its id, so the ids must differ while the names stay.
TEST_F(MovieSourceFilterTest, PinsOfOneKindAnswerIdsOfTheirOwn)
{
    const std::string path = FixturePath("two-aac.mp4");
    if (path.empty())
        GTEST_SKIP() << "fixture movies not made";
    MovieGraph movie;
    ASSERT_EQ(S_OK, movie.Load(path));
    ASSERT_EQ(2, movie.PinCount());
    EXPECT_EQ(L"QT AAC Out", PinId(movie.PinInterface(0)));
    EXPECT_EQ(L"QT AAC Out 2", PinId(movie.PinInterface(1)));
    for (int i = 0; i < 2; ++i) {
        PIN_INFO info;
        ASSERT_EQ(S_OK, movie.PinInterface(i)->QueryPinInfo(&info));
        info.pFilter->Release();
        EXPECT_STREQ(L"QT AAC Out", info.achName);
        ComPtr<IPin> found;
        ASSERT_EQ(S_OK, movie.filter->FindPin(PinId(movie.PinInterface(i)).c_str(), found.Put()));
        EXPECT_EQ(movie.PinInterface(i), found.Get());
    }
    IPin* none = nullptr;
    EXPECT_EQ(VFW_E_NOT_FOUND, movie.filter->FindPin(L"QT AAC Out 1", &none));
    EXPECT_EQ(VFW_E_NOT_FOUND, movie.filter->FindPin(L"QT AAC Out 3", &none));
}

TEST_F(MovieSourceFilterTest, DefaultPinNamesCountEveryCreationAttempt)
{
    MovieGraph movie;
    MediaTypeRecord type = AacType();
    ComPtr<IPin> first;
    ASSERT_EQ(S_OK, movie.filter->AddOutputPin(&type, nullptr, first.Put()));
    EXPECT_EQ(L"Output1", PinId(first.Get()));
    // A pin that refuses its type is destroyed, yet its number is used up.
    IPin* refused = reinterpret_cast<IPin*>(1);
    EXPECT_EQ(E_POINTER, movie.filter->AddOutputPin(nullptr, nullptr, &refused));
    EXPECT_EQ(nullptr, refused);
    ComPtr<IPin> named;
    ASSERT_EQ(S_OK, movie.filter->AddOutputPin(&type, L"Named", named.Put()));
    ComPtr<IPin> third;
    ASSERT_EQ(S_OK, movie.filter->AddOutputPin(&type, nullptr, third.Put()));
    EXPECT_EQ(L"Output4", PinId(third.Get()));
    if (FailNextTaskAllocation()) { // the pin's copy of the format block
        EXPECT_EQ(E_OUTOFMEMORY, movie.filter->AddOutputPin(&type, nullptr, &refused));
        ComPtr<IPin> sixth;
        ASSERT_EQ(S_OK, movie.filter->AddOutputPin(&type, nullptr, sixth.Put()));
        EXPECT_EQ(L"Output6", PinId(sixth.Get()));
    }
    EXPECT_EQ(E_POINTER, movie.filter->AddOutputPin(&type, nullptr, nullptr));

    // Pins in creation order; each offers exactly the type it was made with.
    ASSERT_GE(movie.PinCount(), 3);
    EXPECT_EQ(named.Get(), movie.PinInterface(1));
    MediaTypeRecord offered;
    ASSERT_EQ(S_OK, movie.Pin(1)->GetTypeAt(0, &offered));
    EXPECT_TRUE(type.Equals(offered));
    EXPECT_EQ(nullptr, movie.filter->PinAt(movie.PinCount()));
    EXPECT_EQ(nullptr, movie.filter->PinAt(-1));
    EXPECT_EQ(movie.filter->GetPinSetup(named.Get()), static_cast<StreamPinSetup*>(movie.Pin(1)));
    EXPECT_EQ(nullptr, movie.filter->GetPinSetup(nullptr));
}

TEST_F(MovieSourceFilterTest, APinSeeksThroughItsOwnInterfaceAndCountsOnTheFilter)
{
    MovieGraph movie;
    MediaTypeRecord type = AacType();
    ComPtr<IPin> pin;
    ASSERT_EQ(S_OK, movie.filter->AddOutputPin(&type, L"QT AAC Out", pin.Put()));
    ComPtr<IMediaSeeking> seeking;
    ASSERT_EQ(S_OK, pin->QueryInterface(IID_IMediaSeeking, seeking.PutVoid()));
    ComPtr<IPin> back;
    ASSERT_EQ(S_OK, seeking->QueryInterface(IID_IPin, back.PutVoid()));
    EXPECT_EQ(pin.Get(), back.Get());
    ComPtr<IQualityControl> quality;
    EXPECT_EQ(S_OK, seeking->QueryInterface(IID_IQualityControl, quality.PutVoid()));
    ComPtr<IUnknown> a, b;
    ASSERT_EQ(S_OK, pin->QueryInterface(IID_IUnknown, a.PutVoid()));
    ASSERT_EQ(S_OK, seeking->QueryInterface(IID_IUnknown, b.PutVoid()));
    EXPECT_EQ(a.Get(), b.Get());

    // References on the pin are the filter's.
    IBaseFilter* filter = movie.filter;
    filter->AddRef();
    ULONG before = filter->Release();
    seeking->AddRef();
    filter->AddRef();
    EXPECT_EQ(before + 1, filter->Release());
    seeking->Release();

    // A new pin reports one second until the parser gives it its timing.
    LONGLONG duration = 0, stop = 0;
    EXPECT_EQ(S_OK, seeking->GetDuration(&duration));
    EXPECT_EQ(S_OK, seeking->GetStopPosition(&stop));
    EXPECT_EQ(10000000, duration);
    EXPECT_EQ(10000000, stop);
    EXPECT_EQ(S_OK, movie.Pin(0)->SetStreamTiming(1000, 123456789));
    EXPECT_EQ(S_OK, seeking->GetDuration(&duration));
    EXPECT_EQ(S_OK, seeking->GetStopPosition(&stop));
    EXPECT_EQ(123456789, duration);
    EXPECT_EQ(123456789, stop);
    EXPECT_EQ(123456, movie.Pin(0)->AverageSampleDuration());
}

} // namespace
