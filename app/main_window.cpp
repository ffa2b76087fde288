#include "app/main_window.h"

#include <shellapi.h>

#include <cstdio>

#include "app/command_line.h"
#include "app/install_run.h"
#include "app/message_boxes.h"
#include "app/paint.h"
#include "app/registration_errors.h"
#include "app/shell_launch.h"
#include "app/wizard.h"
#include "archive/install_log.h"
#include "product/names.h"
#include "resources/resource_ids.h"

bool ParseCommandLine(InstallerState &state, const char *commandLine) {
    switch (ClassifyCommandLine(commandLine)) {
    case CommandLineRequest::Install:
        return false;
    case CommandLineRequest::Version: {
        char caption[kStringCapacity + 32];
        std::snprintf(caption, sizeof(caption), "%s  (v%s)", state.ProductString(IDS_CAPTION),
                      product::kInstallerVersion);
        char text[4 * kStringCapacity + 32];
        std::snprintf(text, sizeof(text), "Version %s  (build %s  -  %s)\n\n%s",
                      state.ProductString(IDS_PRODUCT_VERSION),
                      state.ProductString(IDS_PRODUCT_BUILD), state.ProductString(IDS_BUILD_DATE),
                      state.ProductString(IDS_COPYRIGHT));
        MessageBoxA(nullptr, text, caption, MB_OK | MB_ICONINFORMATION);
        return true;
    }
    case CommandLineRequest::TestMode:
        state.testMode = 1;
        return false;
    case CommandLineRequest::Invalid:
        break;
    }
    MessageBoxA(nullptr, "Invalid command line option!", state.ProductString(IDS_CAPTION),
                MB_OK | MB_ICONERROR);
    return true;
}

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

void MoveToScreenCentre(HWND window, int shiftX, int shiftY) {
    HDC screen = GetDC(nullptr);
    const int screenWidth = GetDeviceCaps(screen, HORZRES);
    const int screenHeight = GetDeviceCaps(screen, VERTRES);
    ReleaseDC(nullptr, screen);
    RECT frame = {};
    GetWindowRect(window, &frame);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    SetWindowPos(window, nullptr, screenWidth / 2 + shiftX - width / 2,
                 screenHeight / 2 + shiftY - height / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

namespace {

INT_PTR RunDialog(const InstallerState &state, int id, DLGPROC procedure, void *parameter) {
    return DialogBoxParamA(state.instance, MAKEINTRESOURCEA(id), state.mainWindow, procedure,
                           reinterpret_cast<LPARAM>(parameter));
}

void WriteKeyValue(const InstallerState &state, const char *key, const char *value) {
    if (state.log)
        state.log->WriteKeyValue(key, value);
}

// The progress dialog over a new installation run; false when the user cancelled in it.
bool RunInstallation(InstallerState &state) {
    InstallRun run(state);
    ProgressDialog progress;
    progress.state = &state;
    progress.run = &run;
    return RunDialog(state, IDD_PROGRESS, ProgressDlgProc, &progress) != 0;
}

// The wizard, run once from the first paint: each dialog's result 0 means cancel.
void RunDialogSequence(InstallerState &state, HWND window) {
    if (RunDialog(state, IDD_WELCOME, WelcomeDlgProc, &state) == 0) {
        state.wizardCancelled = true; // silent: the welcome dialog was not accepted
    } else {
        state.cancelIsSilent = false;
        if (CheckExcelRunning(state, window) ||
            RunDialog(state, IDD_AGREEMENT, AgreementDlgProc, &state) == 0 ||
            RunDialog(state, IDD_FOLDER, FolderDlgProc, &state) == 0) {
            state.wizardCancelled = true;
        } else {
            WriteKeyValue(state, "Install Dir", state.installDir);
            if (state.testMode) { // a rehearsal leaves the running add-in alone
                LogLine("Test Mode: Skip closing TarveloProc.exe");
            } else {
                char closed[16];
                std::snprintf(closed, sizeof(closed), "%d", RegAddin_CloseTarveloProc());
                WriteKeyValue(state, "Instances of TarveloProc.exe closed", closed);
            }
            if (!RunInstallation(state))
                state.wizardCancelled = true;
        }
    }
    PostMessageA(window, WM_INSTALL_FINISHED, 0, 0);
}

void Finish(InstallerState &state) {
    if (state.wizardCancelled) {
        if (!state.cancelIsSilent)
            Warn(state.ProductString(IDS_CANCELLED));
        return;
    }
    if (state.installResult < kInstallSucceeded) {
        Warn(state.ProductString(IDS_UNSUCCESSFUL));
        return;
    }
    WriteKeyValue(state, "Evaluating PATH environment setting, looking for", state.installDir);
    if (RegAddin_IsDirOnPath(state.installDir)) {
        char text[kStringCapacity];
        Warn(state.LoadResString(IDS_PATH_NOTE, text, sizeof(text)));
    }
    if (!state.testMode) // a rehearsal leaves the registry alone
        RecordInstallInfo(state);
    if (state.installResult == kInstallSucceeded) {
        char line[kStringCapacity + 4];
        std::snprintf(line, sizeof(line), "* %s", state.ProductString(IDS_COMPLETE));
        LogLine(line);
        if (state.upgrade && !state.testMode)
            MigrateUserConfig(state);
        RunDialog(state, IDD_FINISH, FinishDlgProc, &state);
        return;
    }
    char text[kStringCapacity];
    RegistrationErrorText(state.instance, state.installResult, text, sizeof(text));
    if (text[0])
        WriteKeyValue(state, "Error Information", text);
    Warn(state.ProductString(IDS_REGISTRATION_FAILED));
}

// How long the desktop's shell may take to open the release notes.
constexpr unsigned long kDesktopShellWaitMs = 5000;

void OpenReleaseNotes(const InstallerState &state) {
    char name[kStringCapacity], path[MAX_PATH + kStringCapacity];
    std::snprintf(path, sizeof(path), "%s\\%s", state.installDir,
                  state.LoadResString(IDS_RELEASE_NOTES, name, sizeof(name)));
    // Not with the installer's administrator rights: the desktop's shell opens them as the
    // user. Where it cannot be had, or does not answer, they open from here as before.
    bool opened = OpenThroughDesktopShell(path, kDesktopShellWaitMs);
    INT_PTR result = 0;
    if (!opened) {
        result = reinterpret_cast<INT_PTR>(
            ShellExecuteA(nullptr, "open", path, nullptr, nullptr, SW_SHOWNORMAL));
        opened = result > 32;
    }
    char line[96];
    if (opened)
        std::snprintf(line, sizeof(line), "* Release Notes Launched - return: successful");
    else
        std::snprintf(line, sizeof(line), "* Release Notes Launched - return: errcode=%d",
                      static_cast<int>(result));
    LogLine(line);
}

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
        RunDialogSequence(state, window);
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
        Finish(*state);
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
