// What the track information page shows of a filter, what it holds of it,
// and when it hands the edit's name back to the filter.
#include "tests/filter/PageFixture.h"

#include "framework/WideText.h"

namespace {

const char trackText[] = "Track # 1 Info:TrackID:1 -- TimeScale:600--Duration 0:1:6.500000\n"
                         "Media Info: Type:'vide' -- subType:'avc1' -- Sample count:1995\n"
                         "Handler name: ''\n"
                         "Video Info:Image size: 1280 x 720 --pixel depth: 24\n"
                         "\n";

TEST_F(PageTest, ALoadedFilterShowsItsPathTrackCountAndText)
{
    const std::wstring path = L"C:\\Movies\\caf\u00e9 trailer.mp4";
    filter.SetLoaded(path, 2, trackText);
    ASSERT_EQ(S_OK, Attach());
    ASSERT_EQ(S_OK, Activate());
    EXPECT_EQ(NarrowText(path.c_str()), Text(IDC_PATH_EDIT));
    EXPECT_EQ("2", Text(IDC_TRACK_COUNT));
    EXPECT_EQ(trackText, Text(IDC_INFO_TEXT));
    EXPECT_EQ("Track Count:", Text(IDC_TRACK_COUNT_CAPTION));
}

TEST_F(PageTest, AFilterNeverLoadedShowsItsPlaceholderName)
{
    ASSERT_EQ(S_OK, Attach());
    ASSERT_EQ(S_OK, Activate());
    EXPECT_EQ("File Source (Quarnex)", Text(IDC_PATH_EDIT));
    EXPECT_EQ("0", Text(IDC_TRACK_COUNT));
    EXPECT_EQ("Information", Text(IDC_INFO_TEXT)); // no text: the template's stays
}

TEST_F(PageTest, ANameLongerThanAPathBufferIsShownWhole)
{
    std::wstring path = L"C:\\" + std::wstring(300, L'a') + L".mp4";
    filter.SetLoaded(path, 1, "");
    ASSERT_EQ(S_OK, Attach());
    ASSERT_EQ(S_OK, Activate());
    EXPECT_EQ(NarrowText(path.c_str()), Text(IDC_PATH_EDIT));
}

TEST_F(PageTest, WithoutTheInformationInterfaceOnlyTheNameIsShown)
{
    filter.offerSourceInfo = false;
    filter.SetLoaded(L"C:\\a.mov", 3, trackText);
    ASSERT_EQ(S_OK, Attach());
    ASSERT_EQ(S_OK, Activate());
    EXPECT_EQ("C:\\a.mov", Text(IDC_PATH_EDIT));
    EXPECT_EQ("Static", Text(IDC_TRACK_COUNT));
    EXPECT_EQ("Information", Text(IDC_INFO_TEXT));
    ASSERT_EQ(S_OK, page->Deactivate());
    // Refused, yet the file and filter interfaces are let go (checked at the end).
    EXPECT_EQ(E_UNEXPECTED, page->SetObjects(0, nullptr));
}

TEST_F(PageTest, WithoutTheFileInterfaceNothingIsFilled)
{
    filter.offerFileSource = false;
    filter.SetLoaded(L"C:\\a.mov", 3, trackText);
    ASSERT_EQ(S_OK, Attach());
    ASSERT_EQ(S_OK, Activate());
    EXPECT_EQ("", Text(IDC_PATH_EDIT));
    EXPECT_EQ("Static", Text(IDC_TRACK_COUNT));
    EXPECT_EQ("Information", Text(IDC_INFO_TEXT));
    ASSERT_EQ(S_OK, page->Deactivate());
    EXPECT_EQ(S_OK, page->SetObjects(0, nullptr));
}

TEST_F(PageTest, AnObjectThatIsNoFilterIsRefusedAndReleased)
{
    filter.offerBaseFilter = false;
    EXPECT_EQ(E_NOINTERFACE, Attach());
    EXPECT_EQ(2, filter.OutstandingReferences()); // held until the object is cleared
    EXPECT_EQ(E_UNEXPECTED, page->SetObjects(0, nullptr));
    EXPECT_EQ(0, filter.OutstandingReferences());
}

TEST_F(PageTest, ASecondObjectReplacesTheFirstWithoutKeepingIt)
{
    FakeSourceFilter first;
    ASSERT_EQ(S_OK, Attach(&first));
    ASSERT_EQ(S_OK, Attach());
    EXPECT_EQ(0, first.OutstandingReferences());
    ASSERT_EQ(S_OK, Activate());
    EXPECT_EQ("File Source (Quarnex)", Text(IDC_PATH_EDIT));
}

TEST_F(PageTest, ApplyReloadsOnlyWhenTheFilterAllowsIt)
{
    filter.SetLoaded(L"C:\\first.mp4", 1, trackText);
    ASSERT_EQ(S_OK, page->SetPageSite(&site));
    ASSERT_EQ(S_OK, Attach());
    ASSERT_EQ(S_OK, Activate());
    SetWindowTextA(Control(IDC_PATH_EDIT), "C:\\second.mp4");
    EXPECT_EQ(S_OK, page->IsPageDirty()); // an edit, as a user would make it
    EXPECT_EQ(S_OK, page->Apply());
    EXPECT_TRUE(filter.loads.empty());

    filter.fileChangeAnswer = S_OK;
    SendMessageA(probe->PageWindow(), WM_COMMAND, MAKEWPARAM(IDC_PATH_EDIT, EN_CHANGE), 0);
    EXPECT_EQ(S_OK, page->Apply());
    ASSERT_EQ(1u, filter.loads.size());
    EXPECT_EQ(std::wstring(L"C:\\second.mp4"), filter.loads[0]);
    EXPECT_EQ(S_OK, page->Apply()); // clean again: nothing to do
    EXPECT_EQ(1u, filter.loads.size());
}

TEST_F(PageTest, TheSaveCommandLoadsTheEditsNameUnlessItIsEmpty)
{
    ASSERT_EQ(S_OK, Attach());
    ASSERT_EQ(S_OK, Activate());
    HWND window = probe->PageWindow();
    SetWindowTextA(Control(IDC_PATH_EDIT), "C:\\other.mov");
    SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDC_SAVE_BUTTON, BN_CLICKED), 0);
    ASSERT_EQ(1u, filter.loads.size());
    EXPECT_EQ(std::wstring(L"C:\\other.mov"), filter.loads[0]);
    // Another notification from the button is no click.
    SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDC_SAVE_BUTTON, 1), 0);
    SetWindowTextA(Control(IDC_PATH_EDIT), "");
    SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDC_SAVE_BUTTON, BN_CLICKED), 0);
    EXPECT_EQ(1u, filter.loads.size());
}

} // namespace
