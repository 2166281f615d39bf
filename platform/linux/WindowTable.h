// The layer's headless windows: one record per window handle, shared by the
// window calls and the dialog manager.
#pragma once

#include "Window.h"

#include <functional>
#include <string>
#include <vector>

struct WindowRecord {
    HWND handle = nullptr;
    HWND parent = nullptr;
    std::vector<HWND> children;
    std::string className;
    std::string text;
    DWORD style = 0;
    DWORD exStyle = 0;
    int32_t id = 0;
    // Relative to the parent's client area, in pixels. The layer draws no
    // frames, so a window's client area is its whole rectangle.
    RECT rect = {0, 0, 0, 0};
    LONG_PTR userData = 0;
    // A dialog's extra bytes (DLGWINDOWEXTRA): message result, procedure, user data.
    std::vector<unsigned char> extra;
    bool isDialog = false;
    // The dialog's base units, from its font, for MapDialogRect.
    int baseUnitX = 0;
    int baseUnitY = 0;
};

// Runs action on the window's record under the table's lock. False, with
// ERROR_INVALID_WINDOW_HANDLE, when the handle names no window. The action
// must not call back into the window calls.
bool WithWindow(HWND window, const std::function<void(WindowRecord&)>& action);

// Enters a new window in the table under its parent and answers its handle.
HWND AddWindow(WindowRecord record);

// Sends a message the way SendMessageA does: to the dialog procedure of a
// dialog (through the dialog manager's rules for results) or to the built-in
// procedure of a control.
LRESULT DeliverMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Rounds a * b / c to the nearest integer, halves away from zero.
int ScaleRounded(int a, int b, int c);
