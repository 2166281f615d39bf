#include "filter/PropertyPageBase.h"

#include "filter/ModuleGlobals.h"
#include "framework/WideText.h"

#include <cwchar>

namespace {

// The size reported when the dialog cannot be measured.
const SIZE defaultPageSize = {340, 150};

} // namespace

PropertyPageBase::PropertyPageBase(const char* objectName, IUnknown* outer, int dialogId, int titleStringId)
    : UnknownBase(objectName, outer), titleStringId(titleStringId), dialogId(dialogId)
{
}

HRESULT PropertyPageBase::InnerQueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    if (IsEqualGUID(iid, IID_IPropertyPage))
        return ReturnInterface(static_cast<IPropertyPage*>(this), out);
    return UnknownBase::InnerQueryInterface(iid, out);
}

ULONG PropertyPageBase::InnerRelease()
{
    LONG count = InterlockedDecrement(&ReferenceCount());
    if (count != 0)
        return count > 1 ? ULONG(count) : 1u;
    // Held at one while the page lets go of what the frame left attached, so
    // that references taken and dropped on the way do not destroy it twice.
    InterlockedExchange(&ReferenceCount(), 1);
    // A frame that never deactivated would leave a dialog whose user data
    // points at the freed page.
    if (pageWindow)
        Deactivate();
    SetPageSite(nullptr);
    SetObjects(0, nullptr);
    delete this;
    return 0;
}

HRESULT PropertyPageBase::SetPageSite(IPropertyPageSite* site)
{
    if (site) {
        if (pageSite)
            return E_UNEXPECTED;
        pageSite = site;
        return S_OK;
    }
    if (!pageSite)
        return E_UNEXPECTED;
    pageSite.Reset();
    return S_OK;
}

HRESULT PropertyPageBase::Activate(HWND parent, LPCRECT rect, BOOL)
{
    if (!rect)
        return E_POINTER;
    if (!objectsSet || pageWindow)
        return E_UNEXPECTED;
    HWND window = CreateDialogParamA(ModuleInstance, MAKEINTRESOURCEA(dialogId), parent, PageDialogProc,
                                     reinterpret_cast<LPARAM>(static_cast<PropertyPageBase*>(this)));
    if (!window)
        return E_OUTOFMEMORY;
    pageWindow = window;
    OnPageActivate();
    Move(rect);
    return Show(SW_SHOWNORMAL);
}

HRESULT PropertyPageBase::Deactivate()
{
    if (!pageWindow)
        return E_UNEXPECTED;
    HWND window = pageWindow;
    LONG extendedStyle = GetWindowLongA(window, GWL_EXSTYLE);
    // With no page window the message handler leaves the style change alone.
    pageWindow = nullptr;
    SetWindowLongA(window, GWL_EXSTYLE, extendedStyle & ~LONG(WS_EX_CONTROLPARENT));
    pageWindow = window;
    OnPageDeactivate();
    DestroyWindow(window);
    pageWindow = nullptr;
    dialogWindow = nullptr;
    return S_OK;
}

HRESULT PropertyPageBase::GetPageInfo(PROPPAGEINFO* info)
{
    if (!info)
        return E_POINTER;
    WCHAR title[titleBufferLength];
    LoadResourceStringW(title, titleStringId);
    size_t length = std::wcslen(title);
    auto* block = static_cast<LPOLESTR>(CoTaskMemAlloc((length + 1) * sizeof(WCHAR)));
    if (!block)
        return E_OUTOFMEMORY;
    std::wmemcpy(block, title, length + 1);
    info->cb = sizeof(PROPPAGEINFO);
    info->pszTitle = block;
    info->size = defaultPageSize;
    info->pszDocString = nullptr;
    info->pszHelpFile = nullptr;
    info->dwHelpContext = 0;
    MeasureDialog(dialogId, PageDialogProc, 0, &info->size);
    return S_OK;
}

HRESULT PropertyPageBase::SetObjects(ULONG count, IUnknown** objects)
{
    if (count == 1) {
        if (!objects || !objects[0])
            return E_POINTER;
        objectsSet = TRUE;
        return OnObjectSet(objects[0]);
    }
    if (count == 0) {
        objectsSet = FALSE;
        return OnObjectCleared();
    }
    return E_UNEXPECTED;
}

HRESULT PropertyPageBase::Show(UINT command)
{
    if (!pageWindow)
        return E_UNEXPECTED;
    if (command != SW_HIDE && command != SW_SHOWNORMAL && command != SW_SHOW)
        return E_INVALIDARG;
    ShowWindow(pageWindow, int(command));
    InvalidateRect(pageWindow, nullptr, TRUE);
    return S_OK;
}

HRESULT PropertyPageBase::Move(LPCRECT rect)
{
    if (!rect)
        return E_POINTER;
    if (!pageWindow)
        return E_UNEXPECTED;
    MoveWindow(pageWindow, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, TRUE);
    return S_OK;
}

HRESULT PropertyPageBase::IsPageDirty()
{
    return dirty ? S_OK : S_FALSE;
}

HRESULT PropertyPageBase::Apply()
{
    if (!objectsSet || !pageSite)
        return E_UNEXPECTED;
    if (!dirty)
        return S_OK;
    HRESULT result = OnApply();
    if (SUCCEEDED(result))
        dirty = FALSE;
    return result;
}

HRESULT PropertyPageBase::Help(LPCOLESTR)
{
    return E_NOTIMPL;
}

HRESULT PropertyPageBase::TranslateAccelerator(MSG*)
{
    return E_NOTIMPL;
}

void PropertyPageBase::MarkDirty()
{
    dirty = TRUE;
    if (pageSite)
        pageSite->OnStatusChange(PROPPAGESTATUS_DIRTY);
}

INT_PTR PropertyPageBase::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!pageWindow)
        return 0;
    // The frame turns on WS_EX_CONTROLPARENT to tab into the page; keep it on
    // while the page is shown (Deactivate takes it off with no page window).
    if (message == WM_STYLECHANGING && static_cast<int>(wParam) == GWL_EXSTYLE) {
        reinterpret_cast<STYLESTRUCT*>(lParam)->styleNew |= WS_EX_CONTROLPARENT;
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

INT_PTR CALLBACK PropertyPageBase::PageDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        // 64-bit: the pointer-sized slot; the same as DWL_USER on 32-bit.
        SetWindowLongPtrA(window, DWLP_USER, lParam);
        if (!lParam)
            return TRUE; // only being measured
        reinterpret_cast<PropertyPageBase*>(lParam)->dialogWindow = window;
    }
    auto* page = reinterpret_cast<PropertyPageBase*>(GetWindowLongPtrA(window, DWLP_USER));
    if (!page)
        return TRUE;
    return page->HandleMessage(window, message, wParam, lParam);
}

void PropertyPageBase::LoadResourceStringW(WCHAR* buffer, int id)
{
    buffer[0] = 0;
    if (PlatformId == VER_PLATFORM_WIN32_NT) {
        LoadStringW(ModuleInstance, UINT(id), buffer, titleBufferLength);
        return;
    }
    char narrow[titleBufferLength];
    int length = LoadStringA(ModuleInstance, UINT(id), narrow, titleBufferLength);
    if (length > 0)
        CopyWide(narrow, buffer, titleBufferLength);
    buffer[titleBufferLength - 1] = 0;
}

BOOL PropertyPageBase::MeasureDialog(int dialogId, DLGPROC dialogProc, LPARAM parameter, SIZE* out)
{
    HWND window =
        CreateDialogParamA(ModuleInstance, MAKEINTRESOURCEA(dialogId), GetDesktopWindow(), dialogProc, parameter);
    if (!window)
        return FALSE;
    RECT rect;
    GetWindowRect(window, &rect);
    *out = {rect.right - rect.left, rect.bottom - rect.top};
    DestroyWindow(window);
    return TRUE;
}
