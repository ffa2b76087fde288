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
