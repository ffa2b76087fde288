// The wizard's dialogs: welcome, agreement, destination folder, progress and finish. Each is
// opened with DialogBoxParam and gets what it needs through its parameter: the run state
// (InstallerState *) for all but the progress dialog, which gets a ProgressDialog.
#pragma once
#include <windows.h>

#include "app/install_run.h"
#include "app/installer_state.h"

// What the progress dialog works with: the run state and the installation run it drives, whose
// view it is. The busy flag keeps timer ticks out while a step or a question runs; Cancel is
// usable only while cancelEnabled holds.
struct ProgressDialog final : InstallRunView {
    InstallerState *state = nullptr;
    InstallRun *run = nullptr;
    HWND window = nullptr;
    bool busy = false;
    bool cancelEnabled = false;

    void ShowProgress(int percent, const char *status) override;
    void ShowStep(const char *caption, const char *text) override;
    bool UserGivesUpOnExcel() override;
    void Warn(const char *text) override;
};

INT_PTR CALLBACK WelcomeDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AgreementDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK FolderDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ProgressDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK FinishDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Moves a dialog 34 pixels right of the screen's centre.
void PlaceDialogRightOfCentre(HWND window);
// True when the user gave up while Excel was running, false when no Excel is running.
bool UserGivesUpOnRunningExcel(const InstallerState &state, HWND owner);
// True to accept the folder, false to stay in the folder dialog.
bool ConfirmUpgrade(InstallerState &state, HWND owner, const char *folder);
// The chosen folder in `buffer` (MAX_PATH characters), or an empty text. The browser records
// its selection in the state's install folder as it goes.
char *BrowseForFolder(InstallerState &state, HWND owner, char *buffer);
// The folder browser's callback; `data` is the InstallerState.
int CALLBACK BrowseCallback(HWND window, UINT message, LPARAM lParam, LPARAM data);

constexpr UINT_PTR kProgressTimerId = 10000;
constexpr UINT kProgressTimerMs = 10;
