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

// Writes one raw line to the install log. Also the log callback of every RegAddin_* call.
void LogLine(const char *text);
