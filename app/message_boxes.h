// Every warning and question goes through these helpers: the text is written to the install log
// as a note before the box is shown, and the caption is always the product caption.
#pragma once
#include <windows.h>

void ShowWarning(HWND owner, const char *text);
void Warn(const char *text); // owner: the main window
int Ask(HWND owner, const char *text, UINT buttonsAndIcon, UINT extraFlags);
int AskYesNo(HWND owner, const char *text, UINT extraFlags);
int AskOkCancel(HWND owner, const char *text, UINT extraFlags);
int AskYesNoMain(const char *text);

// Writes one raw line to the install log.
void LogLine(const char *text);
// The same in the shape of the registration library's log callback, handed to every RegAddin_*
// call that takes one.
inline void LogLine(char *text) {
    LogLine(static_cast<const char *>(text));
}
