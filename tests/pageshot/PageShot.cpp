// Shows the track information page in a window of its own, filled from a
// stand-in filter, for scripts/render-page.sh to photograph under Wine.
// Usage: pageshot READY_FILE [SECONDS]. Once the page is on screen the
// program writes "left top width height" of its window's client area to READY_FILE, then
// keeps the window up for SECONDS (5 by default).
#include "filter/ModuleGlobals.h"
#include "filter/SourceInfoPage.h"
#include "framework/WideText.h"
#include "tests/support/FakeSourceFilter.h"

#include <cstdio>
#include <cstdlib>

namespace {

const char sampleText[] = "Track # 1 Info:TrackID:1 -- TimeScale:600--Duration 0:1:6.500000\n"
                          "Media Info: Type:'vide' -- subType:'avc1' -- Sample count:1995\n"
                          "Handler name: 'VideoHandler'\n"
                          "Video Info:Image size: 1280 x 720 --pixel depth: 24\n"
                          "\n"
                          "Track # 2 Info:TrackID:2 -- TimeScale:44100--Duration 0:1:6.501678\n"
                          "Media Info: Type:'soun' -- subType:'mp4a' -- Sample count:2865\n"
                          "Handler name: 'SoundHandler'\n"
                          "Audio Info: Channel number: 2--Sample rate: 44100 --sound depth: 16\n"
                          "\n";

const int margin = 8;

void PumpFor(DWORD milliseconds)
{
    DWORD start = GetTickCount();
    while (GetTickCount() - start < milliseconds) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        Sleep(20);
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: pageshot READY_FILE [SECONDS]\n");
        return 2;
    }
    int seconds = argc > 2 ? std::atoi(argv[2]) : 5;
    ModuleInstance = GetModuleHandleA(nullptr);
    PlatformId = VER_PLATFORM_WIN32_NT;

    FakeSourceFilter filter;
    filter.SetLoaded(L"C:\\Movies\\sample.mp4", 2, sampleText);
    HRESULT result = S_OK;
    IUnknown* unknown = CreateSourceInfoPage(nullptr, &result);
    IPropertyPage* page = nullptr;
    if (!unknown || FAILED(unknown->QueryInterface(IID_IPropertyPage, reinterpret_cast<void**>(&page))))
        return 1;

    PROPPAGEINFO info = {};
    page->GetPageInfo(&info);
    const std::string title = NarrowText(info.pszTitle);
    CoTaskMemFree(info.pszTitle);

    WNDCLASSA frameClass = {};
    frameClass.lpfnWndProc = DefWindowProcA;
    frameClass.hInstance = ModuleInstance;
    frameClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    frameClass.lpszClassName = "PageShotFrame";
    RegisterClassA(&frameClass);
    RECT frame = {0, 0, info.size.cx + 2 * margin, info.size.cy + 2 * margin};
    DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_VISIBLE;
    AdjustWindowRect(&frame, style, FALSE);
    HWND window = CreateWindowA("PageShotFrame", title.c_str(), style, 0, 0, frame.right - frame.left,
                                frame.bottom - frame.top, nullptr, nullptr, ModuleInstance, nullptr);
    if (!window)
        return 1;

    IUnknown* objects[] = {static_cast<IBaseFilter*>(&filter)};
    RECT pageRect = {margin, margin, margin + info.size.cx, margin + info.size.cy};
    if (FAILED(page->SetObjects(1, objects)) || FAILED(page->Activate(window, &pageRect, FALSE)))
        return 1;
    UpdateWindow(window);
    PumpFor(1000);

    // The client area: without a window manager on the display nobody draws the caption.
    RECT shown;
    GetClientRect(window, &shown);
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    if (FILE* ready = std::fopen(argv[1], "w")) {
        std::fprintf(ready, "%ld %ld %ld %ld\n", long(origin.x), long(origin.y), long(shown.right), long(shown.bottom));
        std::fclose(ready);
    }
    PumpFor(DWORD(seconds) * 1000);

    page->Deactivate();
    page->SetObjects(0, nullptr);
    page->Release();
    DestroyWindow(window);
    return 0;
}
