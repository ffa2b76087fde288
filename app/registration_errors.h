// The text for a failed registration with Excel, by RegAddin_Install's or RegAddin_Uninstall's
// code. Shared by the installer's finishing step and the uninstaller, so that both say the same.
#pragma once
#include <windows.h>

// Fills `text` (`size` bytes) from the string table of `instance`; codes without a text of their
// own (8, 11, 12 and anything unknown) give "Unknown Error (<code>)".
void RegistrationErrorText(HINSTANCE instance, int code, char *text, int size);
