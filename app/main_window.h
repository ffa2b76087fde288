// The installer's process: command line, main window and its message handling.
#pragma once
#include <windows.h>

constexpr char kMainWindowClass[] = "VarnexSpreadsheetAddInInstallerClass";
constexpr char kInstallerVersion[] = "1.7";

// 0 when start-up is to go on, 1 when the program is to end at once with exit code 1.
int ParseCommandLine(const char *commandLine);
LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
ATOM RegisterMainWindowClass(HINSTANCE instance);
HWND CreateMainWindow(HINSTANCE instance);
// Moves a window so that its centre is the primary display's centre plus (shiftX, shiftY), with
// the screen size from HORZRES and VERTRES and integer halves that truncate.
void MoveToScreenCentre(HWND window, int shiftX, int shiftY);
