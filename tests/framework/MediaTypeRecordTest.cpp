#include "framework/MediaTypeRecord.h"
#include "platform/TestHooks.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Builds a record that owns a copy of the given format bytes.
MediaTypeRecord MakeType(const GUID& major, const GUID& sub, const GUID& format, std::vector<BYTE> bytes)
{
    AM_MEDIA_TYPE raw = {};
    raw.majortype = major;
    raw.subtype = sub;
    raw.formattype = format;
    raw.cbFormat = ULONG(bytes.size());
    raw.pbFormat = bytes.empty() ? nullptr : bytes.data();
    return MediaTypeRecord(raw);
}

// Counts references so that pUnk handling can be checked.
struct CountedUnknown : IUnknown {
    ULONG count = 1;
    STDMETHODIMP QueryInterface(REFIID, void** out) override
    {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++count; }
    STDMETHODIMP_(ULONG) Release() override { return --count; }
};

TEST(MediaTypeRecord, EmptyRecordHasFixedSizeSamplesOfOne)
{
    MediaTypeRecord empty;
    EXPECT_TRUE(empty.bFixedSizeSamples);
    EXPECT_EQ(1u, empty.lSampleSize);
    EXPECT_EQ(0u, empty.cbFormat);
    EXPECT_EQ(nullptr, empty.pbFormat);
    EXPECT_TRUE(IsEqualGUID(GUID_NULL, empty.majortype));
    EXPECT_TRUE(empty.HasWildcards());
}

TEST(MediaTypeRecord, EqualsComparesGuidsAndFormatBytesOnly)
{
    MediaTypeRecord a = MakeType(MEDIATYPE_Video, MEDIASUBTYPE_MPEG2_VIDEO, FORMAT_MPEG2Video, {1, 2, 3});
    MediaTypeRecord b = MakeType(MEDIATYPE_Video, MEDIASUBTYPE_MPEG2_VIDEO, FORMAT_MPEG2Video, {1, 2, 3});
    b.lSampleSize = 99;
    b.bTemporalCompression = TRUE;
    b.bFixedSizeSamples = FALSE;
    EXPECT_TRUE(a.Equals(b));

    MediaTypeRecord oneByteOff = MakeType(MEDIATYPE_Video, MEDIASUBTYPE_MPEG2_VIDEO, FORMAT_MPEG2Video, {1, 2, 4});
    EXPECT_FALSE(a.Equals(oneByteOff));
    MediaTypeRecord shorter = MakeType(MEDIATYPE_Video, MEDIASUBTYPE_MPEG2_VIDEO, FORMAT_MPEG2Video, {1, 2});
    EXPECT_FALSE(a.Equals(shorter));
    MediaTypeRecord otherSubtype = MakeType(MEDIATYPE_Video, GUID_NULL, FORMAT_MPEG2Video, {1, 2, 3});
    EXPECT_FALSE(a.Equals(otherSubtype));
}

TEST(MediaTypeRecord, MatchesPatternTable)
{
    MediaTypeRecord candidate = MakeType(MEDIATYPE_Audio, MEDIASUBTYPE_None, FORMAT_WaveFormatEx, {7, 7});
    MediaTypeRecord noFormat = MakeType(MEDIATYPE_Audio, MEDIASUBTYPE_None, FORMAT_WaveFormatEx, {});
    struct Case {
        const char* what;
        MediaTypeRecord pattern;
        bool matchesCandidate;
        bool matchesNoFormat;
    } cases[] = {
        {"all wildcards", MakeType(GUID_NULL, GUID_NULL, GUID_NULL, {}), true, true},
        {"major only", MakeType(MEDIATYPE_Audio, GUID_NULL, GUID_NULL, {}), true, true},
        {"other major", MakeType(MEDIATYPE_Video, GUID_NULL, GUID_NULL, {}), false, false},
        {"other subtype", MakeType(GUID_NULL, MEDIASUBTYPE_MPEG2_VIDEO, GUID_NULL, {}), false, false},
        {"format set, no bytes", MakeType(GUID_NULL, GUID_NULL, FORMAT_WaveFormatEx, {}), false, true},
        {"format and bytes", MakeType(MEDIATYPE_Audio, MEDIASUBTYPE_None, FORMAT_WaveFormatEx, {7, 7}), true,
         false},
        {"other format", MakeType(GUID_NULL, GUID_NULL, FORMAT_VideoInfo, {}), false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.matchesCandidate, candidate.MatchesPattern(c.pattern)) << c.what;
        EXPECT_EQ(c.matchesNoFormat, noFormat.MatchesPattern(c.pattern)) << c.what;
    }
}

TEST(MediaTypeRecord, HasWildcardsLooksAtMajorAndFormatType)
{
    EXPECT_TRUE(MakeType(GUID_NULL, MEDIASUBTYPE_None, GUID_NULL, {}).HasWildcards());
    EXPECT_TRUE(MakeType(MEDIATYPE_Audio, GUID_NULL, GUID_NULL, {}).HasWildcards());
    EXPECT_TRUE(MakeType(GUID_NULL, GUID_NULL, FORMAT_WaveFormatEx, {}).HasWildcards());
    EXPECT_FALSE(MakeType(MEDIATYPE_Audio, GUID_NULL, FORMAT_WaveFormatEx, {}).HasWildcards());
}

TEST(MediaTypeRecord, AssignCopiesDeeplyAndSelfAssignmentKeepsTheBlock)
{
    MediaTypeRecord a = MakeType(MEDIATYPE_Audio, MEDIASUBTYPE_None, FORMAT_WaveFormatEx, {9, 8, 7});
    BYTE* block = a.pbFormat;
    EXPECT_EQ(S_OK, a.Assign(a));
    EXPECT_EQ(block, a.pbFormat);
    EXPECT_EQ(9, a.pbFormat[0]);

    MediaTypeRecord b;
    EXPECT_EQ(S_OK, b.Assign(a));
    EXPECT_NE(a.pbFormat, b.pbFormat);
    EXPECT_TRUE(b.Equals(a));
    a.pbFormat[0] = 1;
    EXPECT_EQ(9, b.pbFormat[0]);
}

TEST(MediaTypeRecord, PunkIsCountedAcrossCloneAndRelease)
{
    CountedUnknown unknown;
    AM_MEDIA_TYPE raw = {};
    raw.pUnk = &unknown;
    {
        MediaTypeRecord copy(raw);
        EXPECT_EQ(2u, unknown.count);
        MediaTypeRecord second(copy);
        EXPECT_EQ(3u, unknown.count);
    }
    EXPECT_EQ(1u, unknown.count);
}

TEST(MediaTypeRecord, ReleaseLeavesAFormatPointerWithZeroLengthAlone)
{
    BYTE notOwned[4] = {};
    AM_MEDIA_TYPE raw = {};
    raw.pbFormat = notOwned;
    ReleaseTypeFields(&raw);
    EXPECT_EQ(notOwned, raw.pbFormat);
    DestroyTypeRecord(nullptr);
}

TEST(MediaTypeRecord, DestroyTypeRecordFreesTaskMemoryRecords)
{
    MediaTypeRecord source = MakeType(MEDIATYPE_Video, GUID_NULL, FORMAT_VideoInfo, std::vector<BYTE>(88, 5));
    auto* handedOut = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    ASSERT_NE(nullptr, handedOut);
    ASSERT_EQ(S_OK, CloneTypeFields(handedOut, &source));
    EXPECT_EQ(88u, handedOut->cbFormat);
    DestroyTypeRecord(handedOut); // the sanitizer build checks nothing leaks
}

TEST(MediaTypeRecord, FailedAllocationLeavesAWellFormedRecord)
{
    if (!FailNextTaskAllocation())
        GTEST_SKIP() << "the system's task allocator cannot be made to fail";
    CountedUnknown unknown;
    BYTE bytes[16] = {1};
    AM_MEDIA_TYPE source = {};
    source.majortype = MEDIATYPE_Video;
    source.cbFormat = sizeof bytes;
    source.pbFormat = bytes;
    source.pUnk = &unknown;
    MediaTypeRecord target = MakeType(MEDIATYPE_Audio, GUID_NULL, FORMAT_WaveFormatEx, {3, 3});
    ASSERT_TRUE(FailNextTaskAllocation());
    EXPECT_EQ(E_OUTOFMEMORY, target.Assign(source));
    EXPECT_EQ(0u, target.cbFormat);
    EXPECT_EQ(nullptr, target.pbFormat);
    EXPECT_TRUE(IsEqualGUID(MEDIATYPE_Video, target.majortype));
    EXPECT_EQ(2u, unknown.count) << "pUnk is taken so that the later release balances";

    HRESULT result = S_OK;
    ASSERT_TRUE(FailNextTaskAllocation());
    MediaTypeRecord constructed(source, &result);
    EXPECT_EQ(E_OUTOFMEMORY, result);
    EXPECT_EQ(0u, constructed.cbFormat);
}

} // namespace
