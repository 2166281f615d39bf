// The generic property page: IPropertyPage over a modeless dialog from the
// module's resources. It keeps the page site and the dirty flag, creates and
// destroys the dialog as the property frame activates and deactivates the
// page, reports title and size, and routes the dialog's messages to the page.
#pragma once

#include "framework/ComPtr.h"
#include "framework/UnknownBase.h"

class PropertyPageBase : public IPropertyPage, public UnknownBase {
public:
    PropertyPageBase(const char* objectName, IUnknown* outer, int dialogId, int titleStringId);

    DECLARE_OWNER_UNKNOWN

    HRESULT InnerQueryInterface(REFIID iid, void** out) override;
    ULONG InnerRelease() override;

    STDMETHODIMP SetPageSite(IPropertyPageSite* site) override;
    STDMETHODIMP Activate(HWND parent, LPCRECT rect, BOOL modal) override;
    STDMETHODIMP Deactivate() override;
    STDMETHODIMP GetPageInfo(PROPPAGEINFO* info) override;
    STDMETHODIMP SetObjects(ULONG count, IUnknown** objects) override;
    STDMETHODIMP Show(UINT command) override;
    STDMETHODIMP Move(LPCRECT rect) override;
    STDMETHODIMP IsPageDirty() override;
    STDMETHODIMP Apply() override;
    STDMETHODIMP Help(LPCOLESTR directory) override;
    STDMETHODIMP TranslateAccelerator(MSG* message) override;

    // The dialog procedure of every page; the page rides in the dialog's user data.
    static INT_PTR CALLBACK PageDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    static const int titleBufferLength = 256;
    // Loads string id of the module into a buffer of titleBufferLength wide characters.
    static void LoadResourceStringW(WCHAR* buffer, int id);
    // Creates the dialog hidden under the desktop to learn its size in pixels.
    static BOOL MeasureDialog(int dialogId, DLGPROC dialogProc, LPARAM parameter, SIZE* out);

protected:
    // Hooks of the derived page.
    virtual HRESULT OnObjectSet(IUnknown* object) = 0;
    virtual HRESULT OnObjectCleared() = 0;
    virtual HRESULT OnPageActivate() = 0;
    virtual HRESULT OnPageDeactivate() { return S_OK; }
    virtual HRESULT OnApply() = 0;
    virtual INT_PTR HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    void MarkDirty();
    HWND PageWindow() const { return pageWindow; }

private:
    ComPtr<IPropertyPageSite> pageSite;
    HWND pageWindow = nullptr;
    HWND dialogWindow = nullptr;
    BOOL dirty = FALSE;
    int titleStringId;
    int dialogId;
    BOOL objectsSet = FALSE;
};
