// Uninstall.exe: removes an installation of the product. The Control Panel starts it as
//   "<folder>\Uninstall.exe" "<folder>"
// and administrators as Uninstall.exe /S "<folder>" (no question, no message box).
#include <windows.h>
#include <commctrl.h>

#include "syslib/system_library.h"
#include "uninstall/uninstall_run.h"
#include "uninstall/uninstall_rules.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    // Before anything else can load a library: none may come from the program's folder (the
    // installation folder, or the copy's folder in %TEMP%).
    syslib::RestrictLibrarySearch();
    syslib::EnterSystemFolder();
    InitCommonControls();
    return uninstall::RunUninstaller(instance, uninstall::ParseCommandLine(commandLine));
}
