// Uninstall.exe: removes an installation of the product. The Control Panel starts it as
//   "<folder>\Uninstall.exe" "<folder>"
// and administrators as Uninstall.exe /S "<folder>" (no question, no message box).
#include <windows.h>
#include <commctrl.h>

#include "uninstall/uninstall_run.h"
#include "uninstall/uninstall_rules.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    InitCommonControls();
    return uninstall::RunUninstaller(instance, uninstall::ParseCommandLine(commandLine));
}
