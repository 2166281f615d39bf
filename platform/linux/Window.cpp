// Window records, their data slots, text, geometry and message delivery.
// Behaviour follows what the system does for the same calls (the tests of
// tests/platform run against both).
#include "WindowTable.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <utility>

namespace {

// Handles look like the system's: small even numbers, never reused.
const uintptr_t desktopHandle = 0x10010;
uintptr_t nextHandle = 0x10020;

// The size of the virtual screen that Xvfb gives the Windows test runs.
const LONG desktopWidth = 1280;
const LONG desktopHeight = 1024;

std::recursive_mutex& TableLock()
{
    static std::recursive_mutex lock;
    return lock;
}

std::map<HWND, std::unique_ptr<WindowRecord>>& Table()
{
    static std::map<HWND, std::unique_ptr<WindowRecord>> table;
    if (table.empty()) {
        auto desktop = std::make_unique<WindowRecord>();
        desktop->handle = reinterpret_cast<HWND>(desktopHandle);
        desktop->className = "#32769";
        desktop->style = WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
        desktop->rect = {0, 0, desktopWidth, desktopHeight};
        table[desktop->handle] = std::move(desktop);
    }
    return table;
}

WindowRecord* Find(HWND window)
{
    auto found = Table().find(window);
    return found == Table().end() ? nullptr : found->second.get();
}

bool IsDesktop(HWND window)
{
    return window == reinterpret_cast<HWND>(desktopHandle);
}

// Messages whose dialog procedure answer is the result itself rather than a
// flag that points at DWLP_MSGRESULT.
bool AnswersDirectly(UINT message)
{
    return message == WM_INITDIALOG || (message >= 0x0132 && message <= 0x0138) || message == 0x0039 ||
           message == 0x002E || message == 0x002F || message == 0x0037;
}

LONG_PTR ReadExtra(const WindowRecord& record, int offset, size_t size)
{
    LONG_PTR value = 0;
    if (size == sizeof(LONG)) {
        LONG narrow = 0;
        std::memcpy(&narrow, record.extra.data() + offset, sizeof narrow);
        value = narrow;
    } else {
        std::memcpy(&value, record.extra.data() + offset, sizeof value);
    }
    return value;
}

void WriteExtra(WindowRecord& record, int offset, size_t size, LONG_PTR value)
{
    if (size == sizeof(LONG)) {
        LONG narrow = LONG(value);
        std::memcpy(record.extra.data() + offset, &narrow, sizeof narrow);
    } else {
        std::memcpy(record.extra.data() + offset, &value, sizeof value);
    }
}

// The built-in procedure of the controls: text, and the notifications an edit
// control sends its parent when its text is set.
LRESULT ControlProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_SETTEXT)
        return DefWindowProcA(window, message, wParam, lParam);
    DefWindowProcA(window, message, wParam, lParam);
    bool isEdit = false;
    HWND parent = nullptr;
    int32_t id = 0;
    WithWindow(window, [&](WindowRecord& record) {
        isEdit = record.className == "Edit";
        parent = record.parent;
        id = record.id;
    });
    if (isEdit && parent) {
        DeliverMessage(parent, WM_COMMAND, MAKEWPARAM(id, EN_UPDATE), reinterpret_cast<LPARAM>(window));
        DeliverMessage(parent, WM_COMMAND, MAKEWPARAM(id, EN_CHANGE), reinterpret_cast<LPARAM>(window));
    }
    return TRUE;
}

// Style changes go past the window first, which may adjust the new value.
LONG_PTR ChangeStyle(HWND window, int index, LONG_PTR value)
{
    DWORD old = 0;
    WithWindow(window, [&](WindowRecord& record) { old = index == GWL_STYLE ? record.style : record.exStyle; });
    STYLESTRUCT change = {old, DWORD(value)};
    WPARAM which = WPARAM(INT_PTR(index));
    DeliverMessage(window, WM_STYLECHANGING, which, reinterpret_cast<LPARAM>(&change));
    WithWindow(window,
               [&](WindowRecord& record) { (index == GWL_STYLE ? record.style : record.exStyle) = change.styleNew; });
    DeliverMessage(window, WM_STYLECHANGED, which, reinterpret_cast<LPARAM>(&change));
    return LONG_PTR(LONG(old));
}

LONG_PTR GetLong(HWND window, int index, size_t size)
{
    LONG_PTR value = 0;
    bool known = WithWindow(window, [&](WindowRecord& record) {
        switch (index) {
        case GWL_STYLE:
            value = LONG(record.style);
            return;
        case GWL_EXSTYLE:
            value = LONG(record.exStyle);
            return;
        case GWLP_ID:
            value = record.id;
            return;
        case GWLP_USERDATA:
            value = size == sizeof(LONG) ? LONG(record.userData) : record.userData;
            return;
        }
        if (index >= 0 && size_t(index) + size <= record.extra.size())
            value = ReadExtra(record, index, size);
        else
            SetLastError(ERROR_INVALID_INDEX);
    });
    return known ? value : 0;
}

LONG_PTR SetLong(HWND window, int index, LONG_PTR value, size_t size)
{
    if (index == GWL_STYLE || index == GWL_EXSTYLE)
        return IsWindow(window) ? ChangeStyle(window, index, value) : (SetLastError(ERROR_INVALID_WINDOW_HANDLE), 0);
    LONG_PTR old = 0;
    WithWindow(window, [&](WindowRecord& record) {
        if (index == GWLP_ID) {
            old = std::exchange(record.id, int32_t(value));
        } else if (index == GWLP_USERDATA) {
            old = std::exchange(record.userData, size == sizeof(LONG) ? LONG(value) : value);
        } else if (index >= 0 && size_t(index) + size <= record.extra.size()) {
            old = ReadExtra(record, index, size);
            WriteExtra(record, index, size, value);
        } else {
            SetLastError(ERROR_INVALID_INDEX);
        }
    });
    return old;
}

void DestroyTree(HWND window)
{
    DeliverMessage(window, WM_DESTROY, 0, 0);
    std::vector<HWND> children;
    WithWindow(window, [&](WindowRecord& record) { children = record.children; });
    for (HWND child : children)
        if (IsWindow(child))
            DestroyTree(child);
    DeliverMessage(window, WM_NCDESTROY, 0, 0);
    std::lock_guard<std::recursive_mutex> lock(TableLock());
    if (WindowRecord* record = Find(window)) {
        if (WindowRecord* parent = Find(record->parent)) {
            auto& siblings = parent->children;
            siblings.erase(std::remove(siblings.begin(), siblings.end(), window), siblings.end());
        }
        Table().erase(window);
    }
}

} // namespace

bool WithWindow(HWND window, const std::function<void(WindowRecord&)>& action)
{
    std::lock_guard<std::recursive_mutex> lock(TableLock());
    WindowRecord* record = Find(window);
    if (!record) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return false;
    }
    action(*record);
    return true;
}

HWND AddWindow(WindowRecord record)
{
    std::lock_guard<std::recursive_mutex> lock(TableLock());
    HWND handle = reinterpret_cast<HWND>(nextHandle);
    nextHandle += 2;
    record.handle = handle;
    if (WindowRecord* parent = Find(record.parent))
        parent->children.push_back(handle);
    Table()[handle] = std::make_unique<WindowRecord>(std::move(record));
    return handle;
}

LRESULT DeliverMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    bool isDialog = false;
    DLGPROC procedure = nullptr;
    bool alive = WithWindow(window, [&](WindowRecord& record) {
        isDialog = record.isDialog;
        if (isDialog) {
            procedure = reinterpret_cast<DLGPROC>(ReadExtra(record, DWLP_DLGPROC, sizeof(LONG_PTR)));
            WriteExtra(record, DWLP_MSGRESULT, sizeof(LONG_PTR), 0);
        }
    });
    if (!alive || IsDesktop(window))
        return 0;
    if (!isDialog)
        return ControlProcedure(window, message, wParam, lParam);
    INT_PTR answer = procedure ? procedure(window, message, wParam, lParam) : 0;
    if (answer == 0)
        return IsWindow(window) ? DefWindowProcA(window, message, wParam, lParam) : 0;
    if (AnswersDirectly(message))
        return answer;
    LRESULT result = 0;
    WithWindow(window, [&](WindowRecord& record) { result = ReadExtra(record, DWLP_MSGRESULT, sizeof(LONG_PTR)); });
    return result;
}

int ScaleRounded(int a, int b, int c)
{
    if (c == 0)
        return -1;
    long long product = (long long)a * b;
    long long half = (c < 0 ? -c : c) / 2;
    long long rounded = product >= 0 ? (product + half) / c : (product - half) / c;
    return int(rounded);
}

BOOL IsWindow(HWND window)
{
    std::lock_guard<std::recursive_mutex> lock(TableLock());
    return Find(window) != nullptr;
}

HWND GetDesktopWindow()
{
    std::lock_guard<std::recursive_mutex> lock(TableLock());
    Table();
    return reinterpret_cast<HWND>(desktopHandle);
}

HWND GetParent(HWND window)
{
    HWND parent = nullptr;
    WithWindow(window, [&](WindowRecord& record) {
        if (record.style & WS_CHILD)
            parent = record.parent;
    });
    return parent;
}

BOOL DestroyWindow(HWND window)
{
    if (IsDesktop(window)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (!IsWindow(window)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    DestroyTree(window);
    return TRUE;
}

int GetClassNameA(HWND window, LPSTR name, int maxCount)
{
    std::string className;
    if (!WithWindow(window, [&](WindowRecord& record) { className = record.className; }) || !name || maxCount <= 0)
        return 0;
    int count = std::min(int(className.size()), maxCount - 1);
    std::memcpy(name, className.data(), size_t(count));
    name[count] = 0;
    return count;
}

BOOL SetWindowTextA(HWND window, LPCSTR text)
{
    if (!IsWindow(window))
        return FALSE;
    DeliverMessage(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text ? text : ""));
    return TRUE;
}

int GetWindowTextA(HWND window, LPSTR text, int maxCount)
{
    if (!text || maxCount <= 0)
        return 0;
    text[0] = 0;
    return int(DefWindowProcA(window, WM_GETTEXT, WPARAM(maxCount), reinterpret_cast<LPARAM>(text)));
}

int GetWindowTextLengthA(HWND window)
{
    return int(DefWindowProcA(window, WM_GETTEXTLENGTH, 0, 0));
}

LONG GetWindowLongA(HWND window, int index)
{
    return LONG(GetLong(window, index, sizeof(LONG)));
}
LONG SetWindowLongA(HWND window, int index, LONG value)
{
    return LONG(SetLong(window, index, value, sizeof(LONG)));
}
LONG_PTR GetWindowLongPtrA(HWND window, int index)
{
    return GetLong(window, index, sizeof(LONG_PTR));
}
LONG_PTR SetWindowLongPtrA(HWND window, int index, LONG_PTR value)
{
    return SetLong(window, index, value, sizeof(LONG_PTR));
}

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    switch (message) {
    case WM_SETTEXT:
        WithWindow(window, [&](WindowRecord& record) {
            record.text = lParam ? reinterpret_cast<const char*>(lParam) : "";
            result = TRUE;
        });
        return result;
    case WM_GETTEXT:
        WithWindow(window, [&](WindowRecord& record) {
            auto* buffer = reinterpret_cast<char*>(lParam);
            if (!buffer || wParam == 0)
                return;
            size_t count = std::min(record.text.size(), size_t(wParam) - 1);
            std::memcpy(buffer, record.text.data(), count);
            buffer[count] = 0;
            result = LRESULT(count);
        });
        return result;
    case WM_GETTEXTLENGTH:
        WithWindow(window, [&](WindowRecord& record) { result = LRESULT(record.text.size()); });
        return result;
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    default:
        return 0;
    }
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DeliverMessage(window, message, wParam, lParam);
}

BOOL ShowWindow(HWND window, int command)
{
    bool wasVisible = false;
    if (!WithWindow(window, [&](WindowRecord& record) { wasVisible = (record.style & WS_VISIBLE) != 0; }))
        return FALSE;
    bool show = command != SW_HIDE;
    if (show != wasVisible) {
        DeliverMessage(window, WM_SHOWWINDOW, show, 0);
        WithWindow(window, [&](WindowRecord& record) {
            record.style = show ? record.style | WS_VISIBLE : record.style & ~DWORD(WS_VISIBLE);
        });
    }
    return wasVisible;
}

BOOL IsWindowVisible(HWND window)
{
    std::lock_guard<std::recursive_mutex> lock(TableLock());
    for (WindowRecord* record = Find(window); record; record = Find(record->parent)) {
        if (!(record->style & WS_VISIBLE))
            return FALSE;
        if (IsDesktop(record->handle) || !(record->style & WS_CHILD))
            return TRUE;
    }
    return FALSE;
}

BOOL InvalidateRect(HWND window, const RECT*, BOOL)
{
    // Nothing is drawn; the call only has to agree on which handles are windows.
    return window == nullptr || IsWindow(window);
}

BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL)
{
    return WithWindow(window, [&](WindowRecord& record) { record.rect = {x, y, x + width, y + height}; });
}

BOOL GetWindowRect(HWND window, LPRECT rect)
{
    if (!rect)
        return FALSE;
    std::lock_guard<std::recursive_mutex> lock(TableLock());
    WindowRecord* record = Find(window);
    if (!record) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    RECT screen = record->rect;
    for (WindowRecord* parent = Find(record->parent); parent && (record->style & WS_CHILD);
         record = parent, parent = Find(parent->parent)) {
        screen.left += parent->rect.left;
        screen.right += parent->rect.left;
        screen.top += parent->rect.top;
        screen.bottom += parent->rect.top;
    }
    *rect = screen;
    return TRUE;
}

BOOL GetClientRect(HWND window, LPRECT rect)
{
    if (!rect)
        return FALSE;
    return WithWindow(window, [&](WindowRecord& record) {
        *rect = {0, 0, record.rect.right - record.rect.left, record.rect.bottom - record.rect.top};
    });
}
