// The dialog manager: dialogs built from the module's resource script, their
// controls, dialog units and control lookup.
#include "ResourceScript.h"
#include "WindowTable.h"

#include <cctype>

namespace {

// Opaque handle that WM_SETFONT carries; nothing draws with it.
HFONT const dialogFont = reinterpret_cast<HFONT>(uintptr_t(0x0A0044));

// The system's class names for the controls a template may name, in the case
// in which the system reports them.
bool ControlClassName(const std::string& name, std::string* registered)
{
    static const char* const classes[] = {"Button", "Edit", "Static", "ListBox", "ComboBox", "ScrollBar"};
    for (const char* known : classes) {
        std::string candidate = known;
        if (candidate.size() != name.size())
            continue;
        bool same = true;
        for (size_t i = 0; i < name.size() && same; ++i)
            same =
                std::tolower(static_cast<unsigned char>(name[i])) == std::tolower(static_cast<unsigned char>(known[i]));
        if (same) {
            *registered = known;
            return true;
        }
    }
    return false;
}

// Dialog base units of the template's font. A proportional font's character
// cell is about an eighth taller than its em and half as wide as it is tall
// at 96 dots per inch; for the page's Arial 8 this gives 6 x 12, the numbers
// that Wine gives for the same dialog. Without a font, the system font's 8 x 16.
void BaseUnits(const DialogTemplate& dialog, int* x, int* y)
{
    if (!dialog.hasFont || dialog.pointSize <= 0) {
        *x = 8;
        *y = 16;
        return;
    }
    int em = ScaleRounded(dialog.pointSize, 96, 72);
    *y = em + em / 8;
    *x = *y / 2;
}

// Position and size are scaled each on its own, as the system does, so that
// rounding can make a control a pixel wider than its mapped edges would.
RECT ToPixels(int x, int y, int cx, int cy, int baseX, int baseY)
{
    int left = ScaleRounded(x, baseX, 4);
    int top = ScaleRounded(y, baseY, 8);
    return {left, top, left + ScaleRounded(cx, baseX, 4), top + ScaleRounded(cy, baseY, 8)};
}

// What the system does to a control's styles as the dialog manager creates it.
void AdjustControlStyles(WindowRecord* control)
{
    control->exStyle |= WS_EX_NOPARENTNOTIFY;
    if (control->className == "Edit" && (control->style & WS_BORDER)) {
        control->style &= ~DWORD(WS_BORDER);
        control->exStyle |= WS_EX_CLIENTEDGE;
    }
    if (control->className == "Static" && (control->style & SS_SUNKEN))
        control->exStyle |= WS_EX_STATICEDGE;
}

HWND Fail(DWORD error)
{
    SetLastError(error);
    return nullptr;
}

} // namespace

HWND CreateDialogParamA(HINSTANCE instance, LPCSTR templateName, HWND parent, DLGPROC dialogProc, LPARAM initParam)
{
    if (!IS_INTRESOURCE(templateName))
        return Fail(ERROR_RESOURCE_NAME_NOT_FOUND); // the module's dialogs are numbered
    DWORD error = 0;
    const ResourceSet* resources = FindModuleResources(instance, &error);
    if (!resources)
        return Fail(error);
    auto found = resources->dialogs.find(UINT(reinterpret_cast<ULONG_PTR>(templateName)));
    if (found == resources->dialogs.end())
        return Fail(resources->dialogs.empty() ? ERROR_RESOURCE_TYPE_NOT_FOUND : ERROR_RESOURCE_NAME_NOT_FOUND);
    const DialogTemplate& dialog = found->second;
    if (parent && !IsWindow(parent))
        return Fail(ERROR_INVALID_WINDOW_HANDLE);
    if ((dialog.style & WS_CHILD) && !parent)
        return Fail(ERROR_TLW_WITH_WSCHILD);
    std::vector<std::string> classNames;
    for (const DialogItemTemplate& item : dialog.items) {
        classNames.emplace_back();
        if (!ControlClassName(item.className, &classNames.back()))
            return Fail(1407); // ERROR_CANNOT_FIND_WND_CLASS
    }

    WindowRecord window;
    window.parent = parent ? parent : GetDesktopWindow();
    window.className = "#32770";
    window.text = dialog.caption;
    // Created hidden; shown after WM_INITDIALOG when the template asks for it.
    window.style = (dialog.style | DS_3DLOOK) & ~DWORD(WS_VISIBLE);
    window.exStyle = dialog.exStyle | ((dialog.style & DS_CONTROL) ? WS_EX_CONTROLPARENT : 0);
    window.isDialog = true;
    window.extra.assign(DLGWINDOWEXTRA, 0);
    BaseUnits(dialog, &window.baseUnitX, &window.baseUnitY);
    window.rect = ToPixels(dialog.x, dialog.y, dialog.cx, dialog.cy, window.baseUnitX, window.baseUnitY);
    HWND handle = AddWindow(window);
    SetWindowLongPtrA(handle, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(dialogProc));

    HWND firstTabStop = nullptr;
    for (size_t i = 0; i < dialog.items.size(); ++i) {
        const DialogItemTemplate& item = dialog.items[i];
        WindowRecord control;
        control.parent = handle;
        control.className = classNames[i];
        control.text = item.text;
        control.style = item.style;
        control.exStyle = item.exStyle;
        control.id = item.id;
        control.rect = ToPixels(item.x, item.y, item.cx, item.cy, window.baseUnitX, window.baseUnitY);
        AdjustControlStyles(&control);
        HWND controlHandle = AddWindow(control);
        DWORD focusable = WS_TABSTOP | WS_VISIBLE;
        if (!firstTabStop && (item.style & (focusable | WS_DISABLED)) == focusable)
            firstTabStop = controlHandle;
    }

    if (dialog.style & DS_SETFONT)
        DeliverMessage(handle, WM_SETFONT, reinterpret_cast<WPARAM>(dialogFont), 0);
    DeliverMessage(handle, WM_INITDIALOG, reinterpret_cast<WPARAM>(firstTabStop), initParam);
    if (!IsWindow(handle))
        return nullptr; // the procedure destroyed its dialog while it was being made
    if (dialog.style & WS_VISIBLE)
        ShowWindow(handle, SW_SHOWNORMAL);
    return handle;
}

BOOL MapDialogRect(HWND dialog, LPRECT rect)
{
    if (!rect)
        return FALSE;
    BOOL mapped = FALSE;
    WithWindow(dialog, [&](WindowRecord& record) {
        if (!record.isDialog)
            return;
        *rect = {ScaleRounded(rect->left, record.baseUnitX, 4), ScaleRounded(rect->top, record.baseUnitY, 8),
                 ScaleRounded(rect->right, record.baseUnitX, 4), ScaleRounded(rect->bottom, record.baseUnitY, 8)};
        mapped = TRUE;
    });
    return mapped;
}

HWND GetDlgItem(HWND dialog, int id)
{
    std::vector<HWND> children;
    if (!WithWindow(dialog, [&](WindowRecord& record) { children = record.children; }))
        return nullptr;
    for (HWND child : children) {
        int32_t childId = 0;
        if (WithWindow(child, [&](WindowRecord& record) { childId = record.id; }) && childId == id)
            return child;
    }
    SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
    return nullptr;
}

int GetDlgCtrlID(HWND window)
{
    int32_t id = 0;
    WithWindow(window, [&](WindowRecord& record) { id = record.id; });
    return id;
}
