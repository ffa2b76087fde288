// The main window's painted face and the size it is based on.
#pragma once
#include <windows.h>

// A "Dialog" font of the given point size for the device context (the banner font has 15
// points, the small font 8).
HFONT CreateDialogFont(HDC dc, int points);

// The width the main window is based on: the product title in the banner font plus half the
// width of a sample text, or `minimum` when that is not greater.
int ComputeMainWindowWidth(int minimum);
