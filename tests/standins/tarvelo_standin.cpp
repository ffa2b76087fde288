// Stand-in for the add-in's runtime: one top-level window of class "TarApplyWin" titled
// "tarveloapplywin" that closes the program when it receives WM_USER + 2.
//
//   tarvelo_standin                 exits 0 on WM_USER + 2 if the window had been retitled
//                                   "Varnex - Closing Down" by then, else 3
//   tarvelo_standin --ignore        answers WM_USER + 2 at once and keeps running
//   tarvelo_standin --hang          does not answer WM_USER + 2 (sleeps in its handler)
//   tarvelo_standin --freeze        creates the window and then stops pumping messages
//   tarvelo_standin --exit N        shows no window and exits with code N
//
// Every mode ends by itself after two minutes, so a failed test leaves nothing behind for long.
#include <windows.h>

#include <cstdlib>
#include <cstring>

namespace {

enum class Mode { kClose, kIgnore, kHang, kFreeze };

Mode g_mode = Mode::kClose;
const UINT kCloseMessage = WM_USER + 2;
const UINT_PTR kLifetimeTimer = 1;
const UINT kLifetimeMs = 120000;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case kCloseMessage: {
        if (g_mode == Mode::kIgnore)
            return 0;
        if (g_mode == Mode::kHang) {
            Sleep(kLifetimeMs);
            ExitProcess(4);
        }
        char title[64] = "";
        GetWindowTextA(window, title, sizeof title);
        const int code = std::strcmp(title, "Varnex - Closing Down") == 0 ? 0 : 3;
        DestroyWindow(window);
        PostQuitMessage(code);
        return 0;
    }
    case WM_TIMER:
        if (wParam == kLifetimeTimer)
            ExitProcess(5);
        break;
    default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    if (std::strncmp(commandLine, "--exit ", 7) == 0)
        return std::atoi(commandLine + 7);
    if (std::strcmp(commandLine, "--ignore") == 0)
        g_mode = Mode::kIgnore;
    else if (std::strcmp(commandLine, "--hang") == 0)
        g_mode = Mode::kHang;
    else if (std::strcmp(commandLine, "--freeze") == 0)
        g_mode = Mode::kFreeze;

    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = "TarApplyWin";
    if (!RegisterClassA(&windowClass))
        return 10;
    HWND window = CreateWindowA("TarApplyWin", "tarveloapplywin", WS_OVERLAPPEDWINDOW, 0, 0, 200,
                                100, nullptr, nullptr, instance, nullptr);
    if (window == nullptr)
        return 11;
    if (g_mode == Mode::kFreeze) {
        Sleep(kLifetimeMs);
        return 6;
    }
    SetTimer(window, kLifetimeTimer, kLifetimeMs, nullptr);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}
