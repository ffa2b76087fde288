// The main window's painted face and the size it is based on.
#pragma once
#include <windows.h>

#include "app/installer_state.h"

// A "Dialog" font of the given point size for the device context (the banner font has 15
// points, the small font 8).
HFONT CreateDialogFont(HDC dc, int points);

// The width the main window is based on: the product title in the banner font plus half the
// width of a sample text, or `minimum` when that is not greater.
int ComputeMainWindowWidth(const InstallerState &state, int minimum);
// The same for any title (null counts as empty); ComputeMainWindowWidth measures the product
// title (string id 2).
int ComputeMainWindowWidthFor(const char *title, int minimum);

// Paints the whole client area of the main window on `dc` (the paint context between
// BeginPaint and EndPaint). The bitmaps are loaded from the state's instance on first use and
// kept in its paint cache.
void PaintMainWindow(InstallerState &state, HWND window, HDC dc);

// A new 32-bit copy of `bitmap` in which every pixel of exactly the colour `from` has the colour
// `to`; the source is left as it is. Null when the source is null or the copy cannot be made.
HBITMAP ReplaceColor(HBITMAP bitmap, COLORREF from, COLORREF to);

// The logo strip made from the logo as loaded: its white ground and the two pale pinks of its
// anti-aliased edge replaced by `background`. Null when any pass fails; `logo` is not deleted.
HBITMAP MakeLogoStrip(HBITMAP logo, COLORREF background);

// Deletes the cached title-bar icon (the main window does so when it is destroyed); the next
// paint loads it again.
void ReleaseTitleIcon(InstallerState &state);
// Deletes every cached bitmap, so that the next paint starts afresh (the installer keeps the
// side picture and the logo strip until the process ends; tests start each case clean).
void ReleasePaintCache(InstallerState &state);
