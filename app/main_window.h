// The installer's borderless main window: its class, its creation and place on the screen, and
// its procedure, which starts the wizard on the first paint (app/wizard_run.h).
#pragma once
#include <windows.h>

#include "app/installer_state.h"

constexpr char kMainWindowClass[] = "VarnexSpreadsheetAddInInstallerClass";
// 0x223: the window redraws whole when resized, keeps its own device context, has no Close.
constexpr UINT kMainWindowClassStyle = CS_VREDRAW | CS_HREDRAW | CS_OWNDC | CS_NOCLOSE;
static_assert(kMainWindowClassStyle == 0x223, "main window class style");

// The main window's procedure; the window carries its InstallerState from its creation on.
LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
ATOM RegisterMainWindowClass(HINSTANCE instance);
// Creates the main window for `state`, centred on the screen and raised by 15 pixels.
HWND CreateMainWindow(InstallerState &state);
