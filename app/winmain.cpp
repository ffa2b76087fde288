// The installer's entry point: start-up, the message loop and the clean-up.
#include <windows.h>
#include <commctrl.h>

#include "app/installer_state.h"
#include "app/main_window.h"
#include "app/message_boxes.h"
#include "archive/install_log.h"
#include "resources/resource_ids.h"

namespace {

void ReadPreviousInstallation() {
    char keyName[kStringCapacity];
    lstrcpynA(keyName, ProductString(IDS_INSTALLINFO_NAME), sizeof(keyName));
    if (RegAddin_GetInstallInfo(keyName, &g_state.previous) && g_state.previous.installDir[0])
        lstrcpynA(g_state.installDir, g_state.previous.installDir, sizeof(g_state.installDir));
}

void LoadGradientLibrary() {
    g_state.graphicsLibrary = LoadLibraryA("msimg32.dll");
    if (!g_state.graphicsLibrary)
        return;
    g_state.gradientAvailable = true;
    g_state.gradientFill = reinterpret_cast<GradientFillFn>(
        reinterpret_cast<void *>(GetProcAddress(g_state.graphicsLibrary, "GradientFill")));
}

void OpenInstallLog() {
    // The log stays in the folder known now, whatever folder the wizard chooses later.
    g_state.log = new InstallLog(g_state.installDir, ProductString(IDS_LOG_FILE_NAME),
                                 ProductString(IDS_LOG_TITLE), ProductString(IDS_PRODUCT_BUILD));
    LogLine("Kobal Installer 1.7");
    if (g_state.previous.installDir[0]) {
        g_state.log->WritePreviousInstall(g_state.previous.installDir, g_state.previous.version,
                                          g_state.previous.build);
    } else {
        LogLine("No previous install info found.");
    }
}

int RunMessageLoop() {
    MSG message;
    for (;;) {
        const BOOL result = GetMessageA(&message, nullptr, 0, 0);
        if (result == 0)
            return static_cast<int>(message.wParam);
        if (result == -1)
            continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine, int) {
    LoadProductStrings(instance);
    if (ParseCommandLine(commandLine))
        return 1;
    InitCommonControls();

    g_state.instance = instance;
    lstrcpynA(g_state.installDir, ProductString(IDS_DEFAULT_FOLDER), sizeof(g_state.installDir));
    ReadPreviousInstallation();
    LoadGradientLibrary();
    OpenInstallLog();

    if (!previousInstance)
        RegisterMainWindowClass(instance);
    g_state.mainWindow = CreateMainWindow(instance);
    int exitCode = 1;
    if (g_state.mainWindow) {
        ShowWindow(g_state.mainWindow, SW_SHOWNORMAL);
        exitCode = RunMessageLoop();
    }

    LogLine("* Exit Install");
    g_state.log->Close();
    delete g_state.log;
    g_state.log = nullptr;
    UnregisterClassA(kMainWindowClass, instance);
    if (g_state.graphicsLibrary)
        FreeLibrary(g_state.graphicsLibrary);
    return exitCode;
}
