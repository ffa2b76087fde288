// A hook library that the GUI driver installs globally (WH_GETMESSAGE), so that the system loads
// it into the program under test. Right after the first WM_PAINT of a top-level window of the
// class the driver asked for has been handled, it holds that thread until the driver lets it go (or
// 30 s pass): the painted window can be read and photographed however briefly it would live.
#include <windows.h>

#include "tests/guidriver/paint_hold_protocol.h"

namespace {

bool g_done = false;
HWND g_paintedWindow = nullptr;

bool WantsHold(HWND window, char *className, int size) {
    HANDLE mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, kPaintHoldConfig);
    if (!mapping)
        return false;
    bool wanted = false;
    if (const auto *config =
            static_cast<const PaintHoldConfig *>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0))) {
        GetClassNameA(window, className, size);
        wanted = lstrcmpA(className, config->className) == 0;
        UnmapViewOfFile(config);
    }
    CloseHandle(mapping);
    return wanted;
}

void Hold() {
    HANDLE painted = OpenEventA(EVENT_MODIFY_STATE, FALSE, kPaintHoldPainted);
    HANDLE release = OpenEventA(SYNCHRONIZE, FALSE, kPaintHoldRelease);
    if (painted && release) {
        GdiFlush();
        SetEvent(painted);
        WaitForSingleObject(release, 30000);
    }
    if (painted)
        CloseHandle(painted);
    if (release)
        CloseHandle(release);
}

} // namespace

// Called for every message the program takes from its queue. The hold happens at the first
// message taken after the window's first WM_PAINT, that is, once that paint has been handled.
extern "C" __declspec(dllexport) LRESULT CALLBACK
    PaintHoldProc(int code, WPARAM wParam, LPARAM lParam) {
    const auto *message = reinterpret_cast<const MSG *>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE && !g_done) {
        char className[256] = {};
        if (g_paintedWindow) {
            g_done = true;
            Hold();
        } else if (message->message == WM_PAINT && message->hwnd &&
                   GetParent(message->hwnd) == nullptr &&
                   WantsHold(message->hwnd, className, sizeof(className))) {
            g_paintedWindow = message->hwnd;
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
