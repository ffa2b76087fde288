// Where the installer's windows go on the screen; the main window and the wizard's dialogs are
// placed by the same rule.
#pragma once
#include <windows.h>

// Moves a window so that its centre is the primary display's centre plus (shiftX, shiftY), with
// the screen size from HORZRES and VERTRES and integer halves that truncate.
void MoveToScreenCentre(HWND window, int shiftX, int shiftY);
