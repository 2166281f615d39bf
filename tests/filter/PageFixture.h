// A track information page on the desktop with a fake filter and a fake
// frame site; every test ends by checking that the page gave back every
// reference it took.
#pragma once

#include "filter/ModuleGlobals.h"
#include "filter/SourceInfoPage.h"
#include "resources/resource.h"
#include "tests/support/FakeSourceFilter.h"

#include <gtest/gtest.h>

#include <string>

// The page with its dialog window in view, and the extended style it had
// when it was told that it is being deactivated.
class ProbePage : public SourceInfoPage {
public:
    ProbePage() : SourceInfoPage(nullptr) {}
    using PropertyPageBase::PageWindow;
    LONG styleAtDeactivation = -1;

protected:
    HRESULT OnPageDeactivate() override
    {
        styleAtDeactivation = GetWindowLongA(PageWindow(), GWL_EXSTYLE);
        return SourceInfoPage::OnPageDeactivate();
    }
};

class PageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        savedInstance = ModuleInstance;
        savedPlatform = PlatformId;
        // Until the module exists, this program carries the page's resources.
        ModuleInstance = GetModuleHandleA(nullptr);
        PlatformId = VER_PLATFORM_WIN32_NT;
        probe = new ProbePage();
        page = probe;
        page->AddRef();
    }
    void TearDown() override
    {
        if (page)
            page->Release();
        EXPECT_EQ(0, filter.OutstandingReferences()) << "the page kept the filter";
        EXPECT_EQ(0, site.OutstandingReferences()) << "the page kept its site";
        ModuleInstance = savedInstance;
        PlatformId = savedPlatform;
    }

    HRESULT Attach(FakeSourceFilter* object = nullptr)
    {
        IUnknown* objects[] = {static_cast<IBaseFilter*>(object ? object : &filter)};
        return page->SetObjects(1, objects);
    }
    HRESULT Activate() { return page->Activate(GetDesktopWindow(), &pageRect, FALSE); }
    HWND Control(int id) { return GetDlgItem(probe->PageWindow(), id); }
    std::string Text(int id)
    {
        char text[1024];
        int length = GetWindowTextA(Control(id), text, sizeof text);
        return std::string(text, size_t(length > 0 ? length : 0));
    }

    FakeSourceFilter filter;
    FakePageSite site;
    ProbePage* probe = nullptr;
    IPropertyPage* page = nullptr;
    const RECT pageRect = {10, 20, 410, 240};

private:
    HINSTANCE savedInstance = nullptr;
    DWORD savedPlatform = 0;
};
