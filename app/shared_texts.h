// The texts the installer shares with the uninstaller (vnx_shared_texts, the one part of app/
// that Uninstall.exe links), so that both say the same: the text for a failed registration with
// Excel, by RegAddin_Install's or RegAddin_Uninstall's code.
#pragma once
#include <windows.h>

// Fills `text` (`size` bytes) from the string table of `instance`; codes without a text of their
// own (8, 11, 12 and anything unknown) give "Unknown Error (<code>)".
void RegistrationErrorText(HINSTANCE instance, int code, char *text, int size);
