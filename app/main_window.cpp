#include "app/main_window.h"

#include <shellapi.h>

#include <cstdio>

#include "app/command_line.h"
#include "app/installer_state.h"
#include "app/install_run.h"
#include "app/message_boxes.h"
#include "app/paint.h"
#include "app/wizard.h"
#include "archive/install_log.h"
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
    case CommandLineRequest::TestMode:
        g_state.testMode = 1;
        return 0;
    case CommandLineRequest::Invalid:
        break;
    }
    MessageBoxA(nullptr, "Invalid command line option!", ProductString(IDS_CAPTION),
                MB_OK | MB_ICONERROR);
    return 1;
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

INT_PTR RunDialog(int id, DLGPROC procedure) {
    return DialogBoxParamA(g_state.instance, MAKEINTRESOURCEA(id), g_state.mainWindow, procedure,
                           0);
}

void WriteKeyValue(const char *key, const char *value) {
    if (g_state.log)
        g_state.log->WriteKeyValue(key, value);
}

// The wizard, run once from the first paint: each dialog's result 0 means cancel.
void RunDialogSequence(HWND window) {
    if (RunDialog(IDD_WELCOME, WelcomeDlgProc) == 0) {
        g_state.wizardCancelled = true; // silent: the welcome dialog was not accepted
    } else {
        g_state.cancelIsSilent = false;
        if (CheckExcelRunning(window) || RunDialog(IDD_AGREEMENT, AgreementDlgProc) == 0 ||
            RunDialog(IDD_FOLDER, FolderDlgProc) == 0) {
            g_state.wizardCancelled = true;
        } else {
            WriteKeyValue("Install Dir", g_state.installDir);
            if (g_state.testMode) { // a rehearsal leaves the running add-in alone
                LogLine("Test Mode: Skip closing TarveloProc.exe");
            } else {
                char closed[16];
                std::snprintf(closed, sizeof(closed), "%d", RegAddin_CloseTarveloProc());
                WriteKeyValue("Instances of TarveloProc.exe closed", closed);
            }
            if (RunDialog(IDD_PROGRESS, ProgressDlgProc) == 0)
                g_state.wizardCancelled = true;
        }
    }
    PostMessageA(window, WM_INSTALL_FINISHED, 0, 0);
}

} // namespace

void RegistrationErrorText(int code, char *text, int size) {
    int id = 0;
    switch (code) {
    case 1:
        id = IDS_ERR_EXCEL_START;
        break;
    case 2:
        id = IDS_ERR_EXCEL_VERSION;
        break;
    case 3:
    case 4:
    case 5:
        id = IDS_ERR_EXCEL_COMM;
        break;
    case 6:
    case 7:
        id = IDS_ERR_REGISTRY;
        break;
    case 9:
    case 10:
        id = IDS_ERR_FILE_NOT_FOUND;
        break;
    default:
        std::snprintf(text, size, "Unknown Error (%d)", code);
        return;
    }
    LoadResString(id, text, size);
}

namespace {

void Finish() {
    if (g_state.wizardCancelled) {
        if (!g_state.cancelIsSilent)
            Warn(ProductString(IDS_CANCELLED));
        return;
    }
    if (g_state.installResult < 0) {
        Warn(ProductString(IDS_UNSUCCESSFUL));
        return;
    }
    WriteKeyValue("Evaluating PATH environment setting, looking for", g_state.installDir);
    if (RegAddin_IsDirOnPath(g_state.installDir)) {
        char text[kStringCapacity];
        Warn(LoadResString(IDS_PATH_NOTE, text, sizeof(text)));
    }
    if (!g_state.testMode) // a rehearsal leaves the registry alone
        RecordInstallInfo();
    if (g_state.installResult == 0) {
        char line[kStringCapacity + 4];
        std::snprintf(line, sizeof(line), "* %s", ProductString(IDS_COMPLETE));
        LogLine(line);
        if (g_state.upgrade && !g_state.testMode)
            MigrateUserConfig();
        RunDialog(IDD_FINISH, FinishDlgProc);
        return;
    }
    char text[kStringCapacity];
    RegistrationErrorText(g_state.installResult, text, sizeof(text));
    if (text[0])
        WriteKeyValue("Error Information", text);
    Warn(ProductString(IDS_REGISTRATION_FAILED));
}

void OpenReleaseNotes() {
    char name[kStringCapacity], path[MAX_PATH + kStringCapacity];
    std::snprintf(path, sizeof(path), "%s\\%s", g_state.installDir,
                  LoadResString(IDS_RELEASE_NOTES, name, sizeof(name)));
    const INT_PTR result = reinterpret_cast<INT_PTR>(
        ShellExecuteA(nullptr, "open", path, nullptr, nullptr, SW_SHOWNORMAL));
    char line[96];
    if (result > 32)
        std::snprintf(line, sizeof(line), "* Release Notes Launched - return: successful");
    else
        std::snprintf(line, sizeof(line), "* Release Notes Launched - return: errcode=%d",
                      static_cast<int>(result));
    LogLine(line);
}

LRESULT OnPaint(HWND window) {
    PAINTSTRUCT paint;
    BeginPaint(window, &paint);
    PaintMainWindow(window, paint.hdc);
    EndPaint(window, &paint);
    if (!g_state.wizardStarted) {
        g_state.wizardStarted = true;
        RunDialogSequence(window);
    }
    return 0;
}

} // namespace

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT:
        return OnPaint(window);
    case WM_INSTALL_FINISHED:
        Finish();
        PostMessageA(window, WM_DESTROY, 0, 0);
        return 0;
    case WM_DESTROY:
        ReleaseTitleIcon();
        if (g_state.openReleaseNotes)
            OpenReleaseNotes();
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}
