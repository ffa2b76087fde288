// The wizard's dialogs: welcome, agreement, destination folder, progress and finish.
#pragma once
#include <windows.h>

INT_PTR CALLBACK WelcomeDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AgreementDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK FolderDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ProgressDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK FinishDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Moves a dialog 34 pixels right of the screen's centre.
void CenterDialog(HWND window);
// 1 when the user gave up while Excel was running, 0 when no Excel is running.
int CheckExcelRunning(HWND owner);
// 1 to accept the folder, 0 to stay in the folder dialog.
int ConfirmUpgrade(HWND owner, const char *folder);
// The chosen folder in `buffer` (MAX_PATH characters), or an empty text.
char *BrowseForFolder(HWND owner, char *buffer);
int CALLBACK BrowseCallback(HWND window, UINT message, LPARAM lParam, LPARAM data);

constexpr UINT_PTR kProgressTimerId = 10000;
constexpr UINT kProgressTimerMs = 10;
