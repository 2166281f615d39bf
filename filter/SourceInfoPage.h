// The track information page: the loaded file's name, the number of tracks
// the parser saw and the track information text, read from the filter
// through its interfaces. In practice read-only.
#pragma once

#include "filter/ISourceInfo.h"
#include "filter/PropertyPageBase.h"

// The creation routine of the page's row in the module's class table.
IUnknown* CreateSourceInfoPage(IUnknown* outer, HRESULT* result);

class SourceInfoPage : public PropertyPageBase {
public:
    explicit SourceInfoPage(IUnknown* outer);

protected:
    HRESULT OnObjectSet(IUnknown* object) override;
    HRESULT OnObjectCleared() override;
    HRESULT OnPageActivate() override;
    HRESULT OnPageDeactivate() override;
    HRESULT OnApply() override;
    INT_PTR HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    // Fills the controls from the filter, once per activation.
    void RefreshPage();
    // Hands the edit's text to the filter's Load.
    void ReloadFromEdit();

    ComPtr<ISourceInfo> infoSource;
    ComPtr<IFileSourceFilter> fileSource;
    ComPtr<IBaseFilter> filterInterface;
    HWND trackCountLabel = nullptr;
    HWND pathEdit = nullptr;
    HWND infoLabel = nullptr;
    // Set while RefreshPage writes the controls: the edit control reports
    // those writes as commands, and they are no change of the user's.
    bool refreshing = false;
};
