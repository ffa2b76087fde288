// The wizard's run, driven by the main window: the dialog sequence on the first paint, the
// finishing step on WM_INSTALL_FINISHED, the release notes when the window goes.
#pragma once
#include <windows.h>

#include "app/installer_state.h"

// Runs the dialog sequence (welcome, Excel check, agreement, folder, closing the add-in's
// runtime, progress) and posts WM_INSTALL_FINISHED to `window` when it is over, cancelled or
// not. Each dialog's result 0 means cancel.
void RunWizard(InstallerState &state, HWND window);
// The outcome of the run: the cancel or failure note, the PATH note, the registry record, the
// configuration move after an upgrade, the finish dialog or the registration warning.
void FinishWizard(InstallerState &state);
// Opens the installed release notes through the desktop's shell, else from the installer.
void OpenReleaseNotes(const InstallerState &state);
