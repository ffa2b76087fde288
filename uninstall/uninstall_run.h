// The uninstaller's run: checks its folder argument, asks once, hands the work to a copy of
// itself in the temporary folder (a running program cannot delete its own file), and the copy
// removes what the installation put on disk, its registry records and the add-in's registration
// with Excel. Every step goes to "uninstall.log" in the temporary folder.
#pragma once
#include <windows.h>

#include "uninstall/uninstall_rules.h"

namespace uninstall {

// The exit code, which administrators script on: the caller of the original sees the copy's.
enum ExitCode : int {
    kExitRemoved = 0,   // everything listed was removed
    kExitRefused = 1,   // bad argument, no installation there, or a damaged uninstaller
    kExitCancelled = 2, // the user said No, or gave up while Excel ran (silent: Excel ran)
    kExitLeftovers = 3, // removed, but something listed stays (in use, or holds other files)
};

// Runs the whole uninstallation for `command` with the resources of `instance` (product strings,
// the installation list) and returns the exit code.
int RunUninstaller(HINSTANCE instance, const Command &command);

} // namespace uninstall
