// The installer's process: command line, main window and its message handling.
#pragma once
#include <windows.h>

#include "app/installer_state.h"

constexpr char kMainWindowClass[] = "VarnexSpreadsheetAddInInstallerClass";
// 0x223: the window redraws whole when resized, keeps its own device context, has no Close.
constexpr UINT kMainWindowClassStyle = CS_VREDRAW | CS_HREDRAW | CS_OWNDC | CS_NOCLOSE;
static_assert(kMainWindowClassStyle == 0x223, "main window class style");

// False when start-up is to go on, true when the program is to end at once with exit code 1.
// Sets the state's test mode for the test-mode switch.
bool ParseCommandLine(InstallerState &state, const char *commandLine);
// The main window's procedure; the window carries its InstallerState from its creation on.
LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
ATOM RegisterMainWindowClass(HINSTANCE instance);
// Creates the main window for `state`, centred on the screen and raised by 15 pixels.
HWND CreateMainWindow(InstallerState &state);
// Moves a window so that its centre is the primary display's centre plus (shiftX, shiftY), with
// the screen size from HORZRES and VERTRES and integer halves that truncate.
void MoveToScreenCentre(HWND window, int shiftX, int shiftY);
