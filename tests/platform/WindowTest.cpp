// The window, dialog and resource calls of the property page, checked the same
// way against the layer and, under Wine, against the system. The dialog is the
// module's own page template, which this program carries as a resource.
#include "platform/Platform.h"
#include "resources/resource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Delivered {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// What the dialog procedure saw, and how it answers.
std::vector<Delivered> delivered;
LONG_PTR commandResult = 0;

INT_PTR CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    delivered.push_back({message, wParam, lParam});
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrA(window, DWLP_USER, lParam);
        return TRUE;
    case WM_STYLECHANGING:
        reinterpret_cast<STYLESTRUCT*>(lParam)->styleNew |= WS_EX_CONTROLPARENT;
        return TRUE;
    case WM_COMMAND:
        if (!commandResult)
            return FALSE;
        SetWindowLongPtrA(window, DWLP_MSGRESULT, commandResult);
        return TRUE;
    }
    return FALSE;
}

std::vector<UINT> MessagesSeen()
{
    std::vector<UINT> messages;
    for (const Delivered& entry : delivered)
        messages.push_back(entry.message);
    return messages;
}

std::string WindowText(HWND window)
{
    char text[256];
    int length = GetWindowTextA(window, text, sizeof text);
    return std::string(text, size_t(length));
}

class PageDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        delivered.clear();
        commandResult = 0;
        dialog = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_SOURCE_INFO), GetDesktopWindow(),
                                    RecordingProc, 0x4D2);
        ASSERT_NE(nullptr, dialog) << "no dialog (error " << GetLastError()
                                   << "); Windows builds need a display: run them under xvfb-run";
    }
    void TearDown() override
    {
        if (dialog && IsWindow(dialog))
            DestroyWindow(dialog);
    }

    // A control's rectangle relative to the dialog, in pixels.
    RECT ControlRect(int id)
    {
        RECT dialogRect, rect;
        GetWindowRect(dialog, &dialogRect);
        GetWindowRect(GetDlgItem(dialog, id), &rect);
        return {rect.left - dialogRect.left, rect.top - dialogRect.top, rect.right - dialogRect.left,
                rect.bottom - dialogRect.top};
    }
    // The dialog manager maps a control's position and size each on its own,
    // so its right edge need not be the mapped right edge of the template.
    RECT Mapped(int x, int y, int cx, int cy)
    {
        RECT position = {x, y, cx, cy};
        EXPECT_TRUE(MapDialogRect(dialog, &position));
        return {position.left, position.top, position.left + position.right, position.top + position.bottom};
    }

    HWND dialog = nullptr;
};

void ExpectRect(const RECT& expected, const RECT& actual, const char* what)
{
    EXPECT_EQ(expected.left, actual.left) << what;
    EXPECT_EQ(expected.top, actual.top) << what;
    EXPECT_EQ(expected.right, actual.right) << what;
    EXPECT_EQ(expected.bottom, actual.bottom) << what;
}

TEST_F(PageDialog, CreationDeliversFontThenInitDialogWithTheParameter)
{
    ASSERT_EQ((std::vector<UINT>{WM_SETFONT, WM_INITDIALOG}), MessagesSeen());
    EXPECT_NE(0u, delivered[0].wParam); // the template's font
    EXPECT_EQ(0x4D2, delivered[1].lParam);
    // The focus candidate is the first visible, enabled tab stop: the path edit.
    EXPECT_EQ(reinterpret_cast<WPARAM>(GetDlgItem(dialog, IDC_PATH_EDIT)), delivered[1].wParam);
    EXPECT_EQ(0x4D2, GetWindowLongPtrA(dialog, DWLP_USER));
}

TEST_F(PageDialog, TemplateStylesAndTheSystemsAdjustments)
{
    EXPECT_EQ(LONG(WS_CHILD | DS_SETFONT | DS_3DLOOK), GetWindowLongA(dialog, GWL_STYLE));
    EXPECT_EQ(0, GetWindowLongA(dialog, GWL_EXSTYLE));
    EXPECT_FALSE(IsWindowVisible(dialog));

    struct Expected {
        int id;
        const char* className;
        const char* text;
        DWORD style;
        DWORD exStyle;
    };
    // The edit's border becomes a client edge, SS_SUNKEN becomes a static edge,
    // and every control stops notifying its parent of creation.
    const Expected controls[] = {
        {IDC_PATH_EDIT, "Edit", "", 0x50010880, WS_EX_CLIENTEDGE | WS_EX_NOPARENTNOTIFY},
        {IDC_SAVE_BUTTON, "Button", "Save", 0x48010000, WS_EX_STATICEDGE | WS_EX_NOPARENTNOTIFY},
        {IDC_TRACK_COUNT_CAPTION, "Static", "Track Count:", 0x50020000, WS_EX_NOPARENTNOTIFY},
        {IDC_TRACK_COUNT, "Static", "Static", 0x50020000, WS_EX_NOPARENTNOTIFY},
        {IDC_INFO_TEXT, "Static", "Information", 0x5002100C, WS_EX_STATICEDGE | WS_EX_NOPARENTNOTIFY},
        {-1, "Static", "Quarnex ", 0x50020000, WS_EX_NOPARENTNOTIFY},
    };
    for (const Expected& expected : controls) {
        HWND control = GetDlgItem(dialog, expected.id);
        ASSERT_NE(nullptr, control) << expected.id;
        char className[32] = {};
        GetClassNameA(control, className, sizeof className);
        EXPECT_STREQ(expected.className, className) << expected.id;
        EXPECT_EQ(expected.text, WindowText(control)) << expected.id;
        EXPECT_EQ(DWORD(expected.style), DWORD(GetWindowLongA(control, GWL_STYLE))) << expected.id;
        EXPECT_EQ(DWORD(expected.exStyle), DWORD(GetWindowLongA(control, GWL_EXSTYLE))) << expected.id;
        EXPECT_EQ(expected.id, GetDlgCtrlID(control));
        EXPECT_EQ(dialog, GetParent(control));
    }
    EXPECT_EQ(nullptr, GetDlgItem(dialog, 0xFFFF)); // the unnamed label's id is -1, not 65535
    EXPECT_EQ(nullptr, GetDlgItem(dialog, 1002));
}

TEST_F(PageDialog, GeometryFollowsTheFontsDialogUnits)
{
    RECT units = Mapped(0, 0, 4, 8);
    // An 8-point font at 96 dots per inch.
    EXPECT_GE(units.right, 5);
    EXPECT_LE(units.right, 7);
    EXPECT_GE(units.bottom, 11);
    EXPECT_LE(units.bottom, 14);

    RECT window, client;
    ASSERT_TRUE(GetWindowRect(dialog, &window));
    ASSERT_TRUE(GetClientRect(dialog, &client));
    RECT size = Mapped(0, 0, 263, 136);
    EXPECT_EQ(size.right, window.right - window.left);
    EXPECT_EQ(size.bottom, window.bottom - window.top);
    ExpectRect(size, client, "client");
    // 263 units of 6 pixels per 4 units is 394.5: the system rounds halves up.
    if (units.right == 6) {
        EXPECT_EQ(395, size.right);
    }

    ExpectRect(Mapped(4, 3, 206, 14), ControlRect(IDC_PATH_EDIT), "path edit");
    ExpectRect(Mapped(213, 3, 40, 14), ControlRect(IDC_SAVE_BUTTON), "save");
    ExpectRect(Mapped(55, 21, 19, 8), ControlRect(IDC_TRACK_COUNT), "track count");
    ExpectRect(Mapped(4, 30, 251, 88), ControlRect(IDC_INFO_TEXT), "information");
    ExpectRect(Mapped(217, 120, 35, 8), ControlRect(-1), "label");

    ASSERT_TRUE(MoveWindow(dialog, 10, 20, 300, 200, TRUE));
    ASSERT_TRUE(GetWindowRect(dialog, &window));
    ExpectRect({10, 20, 310, 220}, window, "moved");
    ExpectRect(Mapped(4, 3, 206, 14), ControlRect(IDC_PATH_EDIT), "edit moves along");
    EXPECT_TRUE(InvalidateRect(dialog, nullptr, TRUE));
}

TEST_F(PageDialog, SettingTheEditsTextNotifiesTheDialogStaticsDoNot)
{
    HWND edit = GetDlgItem(dialog, IDC_PATH_EDIT);
    delivered.clear();
    ASSERT_TRUE(SetWindowTextA(GetDlgItem(dialog, IDC_TRACK_COUNT), "2"));
    EXPECT_TRUE(delivered.empty());
    EXPECT_EQ("2", WindowText(GetDlgItem(dialog, IDC_TRACK_COUNT)));

    ASSERT_TRUE(SetWindowTextA(edit, "C:\\movie.mp4"));
    ASSERT_EQ((std::vector<UINT>{WM_COMMAND, WM_COMMAND}), MessagesSeen());
    EXPECT_EQ(MAKEWPARAM(IDC_PATH_EDIT, EN_UPDATE), delivered[0].wParam);
    EXPECT_EQ(MAKEWPARAM(IDC_PATH_EDIT, EN_CHANGE), delivered[1].wParam);
    EXPECT_EQ(reinterpret_cast<LPARAM>(edit), delivered[1].lParam);

    char small[5];
    EXPECT_EQ(4, GetWindowTextA(edit, small, sizeof small));
    EXPECT_STREQ("C:\\m", small);
    EXPECT_EQ(12, GetWindowTextLengthA(edit));
}

TEST_F(PageDialog, SentMessagesAnswerThroughTheMessageResultSlot)
{
    delivered.clear();
    EXPECT_EQ(0, SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_SAVE_BUTTON, BN_CLICKED), 0));
    ASSERT_EQ(1u, delivered.size());
    EXPECT_EQ(MAKEWPARAM(IDC_SAVE_BUTTON, BN_CLICKED), delivered[0].wParam);
    commandResult = 77;
    EXPECT_EQ(77, SendMessageA(dialog, WM_COMMAND, 0, 0));
}

TEST_F(PageDialog, StyleChangesPassThroughTheDialogProcedure)
{
    delivered.clear();
    EXPECT_EQ(0, SetWindowLongA(dialog, GWL_EXSTYLE, WS_EX_CLIENTEDGE));
    ASSERT_EQ((std::vector<UINT>{WM_STYLECHANGING, WM_STYLECHANGED}), MessagesSeen());
    EXPECT_EQ(GWL_EXSTYLE, static_cast<int>(delivered[0].wParam));
    // The procedure's change to the new style is the one that sticks.
    EXPECT_EQ(LONG(WS_EX_CLIENTEDGE | WS_EX_CONTROLPARENT), GetWindowLongA(dialog, GWL_EXSTYLE));

    EXPECT_EQ(0x4D2, SetWindowLongPtrA(dialog, DWLP_USER, 99));
    EXPECT_EQ(99, GetWindowLongPtrA(dialog, DWLP_USER));
}

TEST_F(PageDialog, ShowingAndDestroying)
{
    HWND edit = GetDlgItem(dialog, IDC_PATH_EDIT);
    EXPECT_FALSE(ShowWindow(dialog, SW_SHOWNORMAL)); // the answer is the previous state
    EXPECT_TRUE(IsWindowVisible(dialog));
    EXPECT_TRUE(IsWindowVisible(edit));
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(dialog, IDC_SAVE_BUTTON)));
    EXPECT_TRUE(ShowWindow(dialog, SW_SHOW));
    EXPECT_TRUE(ShowWindow(dialog, SW_HIDE));
    EXPECT_FALSE(IsWindowVisible(edit));

    delivered.clear();
    ASSERT_TRUE(DestroyWindow(dialog));
    std::vector<UINT> seen = MessagesSeen();
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(1, std::count(seen.begin(), seen.end(), UINT(WM_DESTROY)));
    EXPECT_EQ(WM_NCDESTROY, seen.back());
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_FALSE(IsWindow(edit)); // the controls go with their dialog
    EXPECT_FALSE(DestroyWindow(dialog));
    EXPECT_EQ(0, GetWindowLongA(dialog, GWL_STYLE));
}

TEST(DialogCreation, FailsForMissingTemplatesAndOrphanedChildren)
{
    HINSTANCE self = GetModuleHandleA(nullptr);
    EXPECT_EQ(nullptr, CreateDialogParamA(self, MAKEINTRESOURCEA(999), GetDesktopWindow(), RecordingProc, 0));
    EXPECT_EQ(DWORD(ERROR_RESOURCE_NAME_NOT_FOUND), GetLastError());
    // The template is a child dialog: it needs a parent.
    EXPECT_EQ(nullptr, CreateDialogParamA(self, MAKEINTRESOURCEA(IDD_SOURCE_INFO), nullptr, RecordingProc, 0));

    HWND desktop = GetDesktopWindow();
    RECT screen;
    ASSERT_TRUE(GetWindowRect(desktop, &screen));
    EXPECT_EQ(0, screen.left);
    EXPECT_EQ(0, screen.top);
    EXPECT_GT(screen.right, 0);
}

TEST(ResourceStrings, LoadFromTheModulesStringTable)
{
    HINSTANCE self = GetModuleHandleA(nullptr);
    char narrow[256];
    EXPECT_EQ(18, LoadStringA(self, IDS_SOURCE_INFO_TITLE, narrow, sizeof narrow));
    EXPECT_STREQ("Source Information", narrow);
    EXPECT_EQ(4, LoadStringA(self, IDS_SOURCE_INFO_TITLE, narrow, 5));
    EXPECT_STREQ("Sour", narrow);
    EXPECT_EQ(0, LoadStringA(self, 77, narrow, sizeof narrow));
    EXPECT_STREQ("", narrow);

    WCHAR wide[256];
    EXPECT_EQ(18, LoadStringW(self, IDS_SOURCE_INFO_TITLE, wide, 256));
    EXPECT_EQ(std::wstring(L"Source Information"), wide);
    EXPECT_EQ(4, LoadStringW(self, IDS_SOURCE_INFO_TITLE, wide, 5));
    EXPECT_EQ(std::wstring(L"Sour"), wide);
    // A zero-length buffer asks for the read-only text itself.
    const WCHAR* text = nullptr;
    ASSERT_EQ(18, LoadStringW(self, IDS_SOURCE_INFO_TITLE, reinterpret_cast<LPWSTR>(&text), 0));
    ASSERT_NE(nullptr, text);
    EXPECT_EQ(std::wstring(L"Source Information"), std::wstring(text, 18));
}

TEST(ModuleCalls, FileNameVersionAndThreadNotifications)
{
    HMODULE self = GetModuleHandleA(nullptr);
    ASSERT_NE(nullptr, self);
    char viaHandle[MAX_PATH], viaNull[MAX_PATH];
    DWORD length = GetModuleFileNameA(self, viaHandle, MAX_PATH);
    ASSERT_GT(length, 0u);
    EXPECT_EQ(length, DWORD(std::strlen(viaHandle)));
    EXPECT_EQ(length, GetModuleFileNameA(nullptr, viaNull, MAX_PATH));
    EXPECT_STREQ(viaHandle, viaNull);
    EXPECT_NE(nullptr, std::strstr(viaHandle, "test_platform"));

    OSVERSIONINFOA version = {};
    EXPECT_FALSE(GetVersionExA(&version)); // the size field must be set
    version.dwOSVersionInfoSize = sizeof version;
    ASSERT_TRUE(GetVersionExA(&version));
    EXPECT_EQ(DWORD(VER_PLATFORM_WIN32_NT), version.dwPlatformId);

    // Thread notifications are a library's to turn off, not the program's.
    EXPECT_FALSE(DisableThreadLibraryCalls(self));
}

} // namespace
