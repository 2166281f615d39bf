#include "filter/SourceInfoPage.h"

#include "framework/MediaTypeRecord.h"
#include "framework/WideText.h"
#include "resources/resource.h"

#include <cstdio>
#include <new>
#include <string>

IUnknown* CreateSourceInfoPage(IUnknown* outer, HRESULT* result)
{
    auto* page = new (std::nothrow) SourceInfoPage(outer);
    if (!page) {
        *result = E_OUTOFMEMORY;
        return nullptr;
    }
    return page->InnerUnknown();
}

SourceInfoPage::SourceInfoPage(IUnknown* outer)
    : PropertyPageBase(nullptr, outer, IDD_SOURCE_INFO, IDS_SOURCE_INFO_TITLE)
{
}

HRESULT SourceInfoPage::OnObjectSet(IUnknown* object)
{
    // Each slot lets go of what an earlier object gave before it takes the new
    // interface, so a second object without clearing strands no references.
    object->QueryInterface(IID_ISourceInfo, infoSource.PutVoid());
    object->QueryInterface(IID_IFileSourceFilter, fileSource.PutVoid());
    if (FAILED(object->QueryInterface(IID_IBaseFilter, filterInterface.PutVoid())))
        return E_NOINTERFACE;
    return S_OK;
}

HRESULT SourceInfoPage::OnObjectCleared()
{
    // Every interface held is let go, even when the answer says that the
    // object was not one this page accepts in full.
    HRESULT result = S_OK;
    if (!infoSource)
        result = E_UNEXPECTED;
    infoSource.Reset();
    if (!filterInterface)
        result = E_UNEXPECTED;
    filterInterface.Reset();
    fileSource.Reset();
    return result;
}

HRESULT SourceInfoPage::OnPageActivate()
{
    RefreshPage();
    return S_OK;
}

HRESULT SourceInfoPage::OnPageDeactivate()
{
    return S_OK;
}

HRESULT SourceInfoPage::OnApply()
{
    if (infoSource && infoSource->AllowsFileChange() == S_OK)
        ReloadFromEdit();
    return S_OK;
}

INT_PTR SourceInfoPage::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        trackCountLabel = GetDlgItem(window, IDC_TRACK_COUNT);
        pathEdit = GetDlgItem(window, IDC_PATH_EDIT);
        infoLabel = GetDlgItem(window, IDC_INFO_TEXT);
    } else if (message == WM_COMMAND) {
        if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == IDC_SAVE_BUTTON)
            ReloadFromEdit();
        if (!refreshing)
            MarkDirty();
    }
    return PropertyPageBase::HandleMessage(window, message, wParam, lParam);
}

void SourceInfoPage::RefreshPage()
{
    if (!fileSource)
        return;
    refreshing = true;
    MediaTypeRecord type;
    LPOLESTR name = nullptr;
    std::string path;
    if (SUCCEEDED(fileSource->GetCurFile(&name, &type)) && name) {
        // Sized to the name, so that a long name is shown whole rather than cut
        // inside a character.
        path = NarrowText(name);
        CoTaskMemFree(name);
    }
    SetWindowTextA(pathEdit, path.c_str());
    if (infoSource) {
        int32_t trackCount = 0;
        infoSource->GetTrackCount(&trackCount);
        char countText[16];
        std::snprintf(countText, sizeof countText, "%d", int(trackCount));
        SetWindowTextA(trackCountLabel, countText);
        char* infoText = nullptr;
        infoSource->GetInfoText(&infoText);
        if (infoText)
            SetWindowTextA(infoLabel, infoText);
    }
    refreshing = false;
}

void SourceInfoPage::ReloadFromEdit()
{
    if (!fileSource)
        return;
    char path[MAX_PATH];
    if (GetWindowTextA(pathEdit, path, MAX_PATH) == 0)
        return;
    WCHAR wide[MAX_PATH];
    if (FAILED(CopyWide(path, wide, MAX_PATH)))
        return; // no name is better than a cut one
    fileSource->Load(wide, nullptr);
}
