#include "app/main_window.h"

#include <cstdio>

#include "app/command_line.h"
#include "app/installer_state.h"
#include "app/paint.h"
#include "resources/resource_ids.h"

int ParseCommandLine(const char *commandLine) {
    switch (ClassifyCommandLine(commandLine)) {
    case CommandLineRequest::Install:
        return 0;
    case CommandLineRequest::Version: {
        char caption[kStringCapacity + 32];
        std::snprintf(caption, sizeof(caption), "%s  (v%s)", ProductString(IDS_CAPTION),
                      kInstallerVersion);
        char text[4 * kStringCapacity + 32];
        std::snprintf(text, sizeof(text), "Version %s  (build %s  -  %s)\n\n%s",
                      ProductString(IDS_PRODUCT_VERSION), ProductString(IDS_PRODUCT_BUILD),
                      ProductString(IDS_BUILD_DATE), ProductString(IDS_COPYRIGHT));
        MessageBoxA(nullptr, text, caption, MB_OK | MB_ICONINFORMATION);
        return 1;
    }
    case CommandLineRequest::TestMode: // not admitted until the run has something to rehearse
    case CommandLineRequest::Invalid:
        break;
    }
    MessageBoxA(nullptr, "Invalid command line option!", ProductString(IDS_CAPTION),
                MB_OK | MB_ICONERROR);
    return 1;
}

ATOM RegisterMainWindowClass(HINSTANCE instance) {
    WNDCLASSA windowClass = {};
    windowClass.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS | CS_NOCLOSE;
    windowClass.lpfnWndProc = MainWndProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kMainWindowClass;
    return RegisterClassA(&windowClass);
}

HWND CreateMainWindow(HINSTANCE instance) {
    const int base = ComputeMainWindowWidth(80);
    const int width = base + 30;
    const int height = static_cast<int>(base * 0.66);
    HWND window = CreateWindowExA(WS_EX_DLGMODALFRAME | WS_EX_STATICEDGE | WS_EX_APPWINDOW,
                                  kMainWindowClass, ProductString(IDS_CAPTION), WS_POPUP, 0, 0,
                                  width, height, nullptr, nullptr, instance, nullptr);
    if (!window)
        return nullptr;

    // Centred on the primary display, then raised by 15 pixels.
    HDC screen = GetDC(nullptr);
    const int screenWidth = GetDeviceCaps(screen, HORZRES);
    const int screenHeight = GetDeviceCaps(screen, VERTRES);
    ReleaseDC(nullptr, screen);
    RECT frame = {};
    GetWindowRect(window, &frame);
    const int frameWidth = frame.right - frame.left;
    const int frameHeight = frame.bottom - frame.top;
    SetWindowPos(window, nullptr, screenWidth / 2 - frameWidth / 2,
                 screenHeight / 2 - frameHeight / 2 - 15, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    return window;
}

namespace {

LRESULT OnPaint(HWND window) {
    PAINTSTRUCT paint;
    BeginPaint(window, &paint);
    PaintMainWindow(window, paint.hdc);
    EndPaint(window, &paint);
    if (!g_state.wizardStarted) {
        g_state.wizardStarted = true;
        // The wizard's dialogs are not part of this build yet: end the run cleanly through the
        // message loop and the clean-up.
        PostMessageA(window, WM_DESTROY, 0, 0);
    }
    return 0;
}

} // namespace

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT:
        return OnPaint(window);
    case WM_DESTROY:
        ReleaseTitleIcon();
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}
