#include "app/main_window.h"

#include "app/paint.h"
#include "app/screen_place.h"
#include "app/wizard_run.h"
#include "resources/resource_ids.h"

ATOM RegisterMainWindowClass(HINSTANCE instance) {
    WNDCLASSA windowClass = {};
    windowClass.style = kMainWindowClassStyle;
    windowClass.lpfnWndProc = MainWndProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kMainWindowClass;
    return RegisterClassA(&windowClass);
}

HWND CreateMainWindow(InstallerState &state) {
    const int base = ComputeMainWindowWidth(state, 80);
    const int width = base + 30;
    const int height = static_cast<int>(base * 0.66);
    HWND window = CreateWindowExA(WS_EX_DLGMODALFRAME | WS_EX_STATICEDGE | WS_EX_APPWINDOW,
                                  kMainWindowClass, state.ProductString(IDS_CAPTION), WS_POPUP, 0,
                                  0, width, height, nullptr, nullptr, state.instance, &state);
    if (!window)
        return nullptr;

    // Centred on the primary display, then raised by 15 pixels.
    MoveToScreenCentre(window, 0, -15);
    return window;
}

namespace {

// The wizard starts inside the first paint: its modal dialogs run nested message loops, so the
// paint handler returns only when the whole dialog sequence is over. Later paints come through
// those loops and only paint.
LRESULT OnPaint(InstallerState &state, HWND window) {
    PAINTSTRUCT paint;
    BeginPaint(window, &paint);
    PaintMainWindow(state, window, paint.hdc);
    EndPaint(window, &paint);
    if (!state.wizardStarted) {
        state.wizardStarted = true;
        RunWizard(state, window);
    }
    return 0;
}

} // namespace

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto *create = reinterpret_cast<const CREATESTRUCTA *>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto *state = reinterpret_cast<InstallerState *>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (!state)
        return DefWindowProcA(window, message, wParam, lParam);
    switch (message) {
    case WM_PAINT:
        return OnPaint(*state, window);
    case WM_INSTALL_FINISHED:
        FinishWizard(*state);
        PostMessageA(window, WM_DESTROY, 0, 0);
        return 0;
    case WM_DESTROY:
        ReleaseTitleIcon(*state);
        if (state->openReleaseNotes)
            OpenReleaseNotes(*state);
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}
