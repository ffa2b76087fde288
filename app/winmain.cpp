// The installer's entry point: start-up, the message loop and the clean-up. The run state is the
// process's one InstallerState; everything below WinMain gets it handed in.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>

#include "app/install_run.h"
#include "app/installer_state.h"
#include "app/main_window.h"
#include "app/message_boxes.h"
#include "app/version_box.h"
#include "archive/install_log.h"
#include "syslib/system_library.h"
#include "product/names.h"
#include "resources/resource_ids.h"

namespace {

void ReadPreviousInstallation(InstallerState &state) {
    char keyName[kStringCapacity];
    lstrcpynA(keyName, state.ProductString(IDS_INSTALLINFO_NAME), sizeof(keyName));
    if (RegAddin_GetInstallInfo(keyName, &state.previous) && state.previous.installDir[0])
        lstrcpynA(state.installDir, state.previous.installDir, sizeof(state.installDir));
}

void LoadGradientLibrary(InstallerState &state) {
    state.graphicsLibrary = syslib::LoadSystemLibrary("msimg32.dll");
    if (!state.graphicsLibrary)
        return;
    state.gradientAvailable = true;
    state.gradientFill = syslib::Function<GradientFillFn>(state.graphicsLibrary, "GradientFill");
}

void OpenInstallLog(InstallerState &state) {
    // The log stays in the folder known now, whatever folder the wizard chooses later.
    state.log =
        new InstallLog(state.installDir, state.ProductString(IDS_LOG_FILE_NAME),
                       state.ProductString(IDS_LOG_TITLE), state.ProductString(IDS_PRODUCT_BUILD));
    char banner[32];
    std::snprintf(banner, sizeof(banner), "Kobal Installer %s", product::kInstallerVersion);
    LogLine(banner);
    if (state.previous.installDir[0]) {
        state.log->WritePreviousInstall(state.previous.installDir, state.previous.version,
                                        state.previous.build);
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
    // Before anything else can load a library: none may come from the downloads folder.
    syslib::RestrictLibrarySearch();
    InstallerState &state = g_state;
    // A result as large as the buffer is the size a longer folder would need: none then.
    const DWORD started = GetCurrentDirectoryA(sizeof(state.startFolder), state.startFolder);
    if (started == 0 || started >= sizeof(state.startFolder))
        state.startFolder[0] = '\0';
    syslib::EnterSystemFolder();
    LoadProductStrings(state, instance);
    if (ParseCommandLine(state, commandLine))
        return 1;
    // A damaged installer, or one that cannot be checked, must not install anything: it says so
    // and ends before the log, the registry or a folder is touched.
    const std::string refusal = PayloadRefusal(instance);
    if (!refusal.empty()) {
        MessageBoxA(nullptr, refusal.c_str(), state.ProductString(IDS_CAPTION),
                    MB_OK | MB_ICONERROR);
        return 1;
    }
    InitCommonControls();

    state.instance = instance;
    lstrcpynA(state.installDir, state.ProductString(IDS_DEFAULT_FOLDER), sizeof(state.installDir));
    ReadPreviousInstallation(state);
    LoadGradientLibrary(state);
    OpenInstallLog(state);

    if (!previousInstance)
        RegisterMainWindowClass(instance);
    state.mainWindow = CreateMainWindow(state);
    int exitCode = 1;
    if (state.mainWindow) {
        ShowWindow(state.mainWindow, SW_SHOWNORMAL);
        exitCode = RunMessageLoop();
    }

    LogLine("* Exit Install");
    state.log->Close();
    delete state.log;
    state.log = nullptr;
    UnregisterClassA(kMainWindowClass, instance);
    if (state.graphicsLibrary)
        FreeLibrary(state.graphicsLibrary);
    return exitCode;
}
