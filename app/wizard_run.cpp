// The wizard's run from the first paint to its end: the dialog sequence and the installation it
// starts, the finishing step once WM_INSTALL_FINISHED arrives, and the release notes the finish
// dialog may have asked for.
#include "app/wizard_run.h"

#include <shellapi.h>

#include <cstdio>

#include "app/install_run.h"
#include "app/message_boxes.h"
#include "app/shared_texts.h"
#include "app/shell_launch.h"
#include "app/wizard.h"
#include "resources/resource_ids.h"

namespace {

// How long the desktop's shell may take to open the release notes. It answers in a fraction of
// a second; on a loaded machine the shell's process may need seconds more, and giving up too
// early opens the notes from here as well (the shell's request is still on its way). The
// installer's windows are gone by then, so a longer wait is not seen.
constexpr unsigned long kDesktopShellWaitMs = 15000;

INT_PTR RunDialog(const InstallerState &state, int id, DLGPROC procedure, void *parameter) {
    return DialogBoxParamA(state.instance, MAKEINTRESOURCEA(id), state.mainWindow, procedure,
                           reinterpret_cast<LPARAM>(parameter));
}

// The progress dialog over a new installation run; false when the user cancelled in it.
bool RunInstallation(InstallerState &state) {
    InstallRun run(state);
    ProgressDialog progress;
    progress.state = &state;
    progress.run = &run;
    return RunDialog(state, IDD_PROGRESS, ProgressDlgProc, &progress) != 0;
}

} // namespace

void RunWizard(InstallerState &state, HWND window) {
    if (RunDialog(state, IDD_WELCOME, WelcomeDlgProc, &state) == 0) {
        state.wizardCancelled = true; // silent: the welcome dialog was not accepted
    } else {
        state.cancelIsSilent = false;
        if (UserGivesUpOnRunningExcel(state, window) ||
            RunDialog(state, IDD_AGREEMENT, AgreementDlgProc, &state) == 0 ||
            RunDialog(state, IDD_FOLDER, FolderDlgProc, &state) == 0) {
            state.wizardCancelled = true;
        } else {
            state.LogKeyValue("Install Dir", state.installDir);
            if (state.testMode) { // a rehearsal leaves the running add-in alone
                LogLine("Test Mode: Skip closing TarveloProc.exe");
            } else {
                char closed[16];
                std::snprintf(closed, sizeof(closed), "%d", RegAddin_CloseTarveloProc());
                state.LogKeyValue("Instances of TarveloProc.exe closed", closed);
            }
            if (!RunInstallation(state))
                state.wizardCancelled = true;
        }
    }
    PostMessageA(window, WM_INSTALL_FINISHED, 0, 0);
}

void FinishWizard(InstallerState &state) {
    if (state.wizardCancelled) {
        if (!state.cancelIsSilent)
            Warn(state.ProductString(IDS_CANCELLED));
        return;
    }
    if (state.installResult < kInstallSucceeded) {
        Warn(state.ProductString(IDS_UNSUCCESSFUL));
        return;
    }
    state.LogKeyValue("Evaluating PATH environment setting, looking for", state.installDir);
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
        state.LogKeyValue("Error Information", text);
    Warn(state.ProductString(IDS_REGISTRATION_FAILED));
}

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
