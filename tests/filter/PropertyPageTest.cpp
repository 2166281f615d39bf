// The property page frame as a property frame drives it: activation, showing,
// objects, the dirty flag, page information and the last release.
#include "tests/filter/PageFixture.h"

#include <cstring>
#include <cwchar>

namespace {

INT_PTR CALLBACK QuietProc(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}

TEST_F(PageTest, ActivationNeedsAnObjectAndHappensOnce)
{
    EXPECT_EQ(E_UNEXPECTED, Activate());
    ASSERT_EQ(S_OK, Attach());
    EXPECT_EQ(E_POINTER, page->Activate(GetDesktopWindow(), nullptr, FALSE));
    EXPECT_EQ(nullptr, probe->PageWindow());

    ASSERT_EQ(S_OK, Activate());
    HWND window = probe->PageWindow();
    ASSERT_NE(nullptr, window);
    EXPECT_TRUE(IsWindowVisible(window));
    RECT rect;
    ASSERT_TRUE(GetWindowRect(window, &rect));
    EXPECT_EQ(pageRect.left, rect.left);
    EXPECT_EQ(pageRect.top, rect.top);
    EXPECT_EQ(pageRect.right, rect.right);
    EXPECT_EQ(pageRect.bottom, rect.bottom);

    EXPECT_EQ(E_UNEXPECTED, Activate());
    EXPECT_EQ(window, probe->PageWindow());

    EXPECT_EQ(S_OK, page->Deactivate());
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(nullptr, probe->PageWindow());
    EXPECT_EQ(E_UNEXPECTED, page->Deactivate());
    EXPECT_EQ(S_OK, Activate()); // a frame may come back to the page
}

TEST_F(PageTest, ShowAndMoveNeedTheDialogAndTakeOnlyPlainCommands)
{
    RECT moved = {0, 0, 200, 100};
    EXPECT_EQ(E_UNEXPECTED, page->Show(SW_SHOW));
    EXPECT_EQ(E_UNEXPECTED, page->Move(&moved));
    ASSERT_EQ(S_OK, Attach());
    ASSERT_EQ(S_OK, Activate());
    HWND window = probe->PageWindow();

    EXPECT_EQ(E_INVALIDARG, page->Show(SW_MAXIMIZE));
    EXPECT_EQ(E_INVALIDARG, page->Show(SW_MINIMIZE));
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_EQ(S_OK, page->Show(SW_HIDE));
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_EQ(S_OK, page->Show(SW_SHOW));
    EXPECT_TRUE(IsWindowVisible(window));

    EXPECT_EQ(E_POINTER, page->Move(nullptr));
    EXPECT_EQ(S_OK, page->Move(&moved));
    RECT client;
    ASSERT_TRUE(GetClientRect(window, &client));
    EXPECT_EQ(200, client.right);
    EXPECT_EQ(100, client.bottom);
}

TEST_F(PageTest, SetObjectsTakesOneOrNoneAndLeavesTheStateAloneOtherwise)
{
    IUnknown* two[] = {static_cast<IBaseFilter*>(&filter), static_cast<IBaseFilter*>(&filter)};
    EXPECT_EQ(E_UNEXPECTED, page->SetObjects(2, two));
    EXPECT_EQ(E_UNEXPECTED, Activate()); // still no object
    EXPECT_EQ(0, filter.OutstandingReferences());

    ASSERT_EQ(S_OK, Attach());
    EXPECT_EQ(E_UNEXPECTED, page->SetObjects(2, two));
    EXPECT_EQ(S_OK, Activate()); // the object is still set
    EXPECT_EQ(S_OK, page->Deactivate());

    IUnknown* none[] = {nullptr};
    EXPECT_EQ(E_POINTER, page->SetObjects(1, nullptr));
    EXPECT_EQ(E_POINTER, page->SetObjects(1, none));
    EXPECT_EQ(S_OK, page->SetObjects(0, nullptr));
    EXPECT_EQ(0, filter.OutstandingReferences());
    EXPECT_EQ(E_UNEXPECTED, Activate());
}

TEST_F(PageTest, CommandsMarkTheSiteDirtyAndApplyCleansWithoutLoading)
{
    EXPECT_EQ(S_FALSE, page->IsPageDirty());
    ASSERT_EQ(S_OK, Attach());
    EXPECT_EQ(E_UNEXPECTED, page->Apply()); // no site
    ASSERT_EQ(S_OK, page->SetPageSite(&site));
    EXPECT_EQ(E_UNEXPECTED, page->SetPageSite(&site));
    ASSERT_EQ(S_OK, Activate());
    // Filling the controls is no change of the user's, although the edit
    // control reports it as commands.
    EXPECT_EQ(S_FALSE, page->IsPageDirty());
    EXPECT_EQ(0, site.dirtyReports);
    EXPECT_EQ(S_OK, page->Apply());

    // Even a focus notification from the read-only edit counts.
    SendMessageA(probe->PageWindow(), WM_COMMAND, MAKEWPARAM(IDC_PATH_EDIT, EN_SETFOCUS),
                 reinterpret_cast<LPARAM>(Control(IDC_PATH_EDIT)));
    EXPECT_EQ(S_OK, page->IsPageDirty());
    EXPECT_EQ(1, site.dirtyReports);

    EXPECT_EQ(S_OK, page->Apply());
    EXPECT_EQ(S_FALSE, page->IsPageDirty());
    EXPECT_TRUE(filter.loads.empty()); // the filter refuses file changes

    EXPECT_EQ(S_OK, page->SetObjects(0, nullptr));
    EXPECT_EQ(E_UNEXPECTED, page->Apply()); // no object
    EXPECT_EQ(S_OK, page->SetPageSite(nullptr));
    EXPECT_EQ(E_UNEXPECTED, page->SetPageSite(nullptr));
}

TEST_F(PageTest, PageInfoGivesTheTitleAndTheDialogsMeasuredSize)
{
    EXPECT_EQ(E_POINTER, page->GetPageInfo(nullptr));

    HWND dialog =
        CreateDialogParamA(ModuleInstance, MAKEINTRESOURCEA(IDD_SOURCE_INFO), GetDesktopWindow(), QuietProc, 0);
    ASSERT_NE(nullptr, dialog);
    RECT size = {0, 0, 263, 136};
    ASSERT_TRUE(MapDialogRect(dialog, &size));
    DestroyWindow(dialog);

    // Both ways of loading the title: wide on NT-family systems, narrow before
    // the platform is known.
    for (DWORD platform : {DWORD(VER_PLATFORM_WIN32_NT), DWORD(1)}) {
        PlatformId = platform;
        PROPPAGEINFO info;
        std::memset(&info, 0xCD, sizeof info);
        ASSERT_EQ(S_OK, page->GetPageInfo(&info));
        EXPECT_EQ(ULONG(sizeof(PROPPAGEINFO)), info.cb);
        ASSERT_NE(nullptr, info.pszTitle);
        EXPECT_EQ(std::wstring(L"Source Information"), info.pszTitle) << "platform " << platform;
        EXPECT_EQ(size.right, info.size.cx);
        EXPECT_EQ(size.bottom, info.size.cy);
        EXPECT_EQ(nullptr, info.pszDocString);
        EXPECT_EQ(nullptr, info.pszHelpFile);
        EXPECT_EQ(0u, DWORD(info.dwHelpContext));
        CoTaskMemFree(info.pszTitle);
    }
}

TEST_F(PageTest, TheFramesControlParentStyleHoldsUntilDeactivation)
{
    ASSERT_EQ(S_OK, Attach());
    ASSERT_EQ(S_OK, Activate());
    HWND window = probe->PageWindow();
    SetWindowLongA(window, GWL_EXSTYLE, 0);
    EXPECT_EQ(LONG(WS_EX_CONTROLPARENT), GetWindowLongA(window, GWL_EXSTYLE) & LONG(WS_EX_CONTROLPARENT));
    ASSERT_EQ(S_OK, page->Deactivate());
    EXPECT_EQ(0, probe->styleAtDeactivation & LONG(WS_EX_CONTROLPARENT));
}

TEST_F(PageTest, LastReleaseDetachesSiteAndObject)
{
    LONG live = LiveObjectCount;
    ASSERT_EQ(S_OK, page->SetPageSite(&site));
    ASSERT_EQ(S_OK, Attach());
    ASSERT_EQ(S_OK, Activate());
    ASSERT_EQ(S_OK, page->Deactivate());
    EXPECT_EQ(1, site.OutstandingReferences());
    EXPECT_EQ(3, filter.OutstandingReferences()); // its three interfaces
    EXPECT_EQ(0u, page->Release());
    page = nullptr;
    EXPECT_EQ(0, site.OutstandingReferences());
    EXPECT_EQ(0, filter.OutstandingReferences());
    EXPECT_EQ(live - 1, LiveObjectCount);
}

TEST_F(PageTest, LastReleaseOfAnActivePageTakesItsDialogAlong)
{
    ASSERT_EQ(S_OK, Attach());
    ASSERT_EQ(S_OK, Activate());
    HWND window = probe->PageWindow();
    EXPECT_EQ(0u, page->Release());
    page = nullptr;
    EXPECT_FALSE(IsWindow(window));
    // Messages to the window can no longer reach the freed page.
    EXPECT_EQ(0, SendMessageA(window, WM_COMMAND, 0, 0));
}

TEST(SourceInfoPageCreation, MakesAPropertyPageAndNothingElse)
{
    LONG live = LiveObjectCount;
    HRESULT result = 0x1234;
    IUnknown* unknown = CreateSourceInfoPage(nullptr, &result);
    ASSERT_NE(nullptr, unknown);
    EXPECT_EQ(0x1234, result);
    IPropertyPage* page = nullptr;
    ASSERT_EQ(S_OK, unknown->QueryInterface(IID_IPropertyPage, reinterpret_cast<void**>(&page)));
    IBaseFilter* filter = nullptr;
    EXPECT_EQ(E_NOINTERFACE, page->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(&filter)));
    EXPECT_EQ(nullptr, filter);
    EXPECT_EQ(E_NOTIMPL, page->Help(L"C:\\"));
    EXPECT_EQ(E_NOTIMPL, page->TranslateAccelerator(nullptr));
    EXPECT_EQ(0u, page->Release());
    EXPECT_EQ(live, LiveObjectCount);
}

} // namespace
