// What the command line asks for at start-up, answered before anything else runs: the version
// box, the test-mode switch, or the refusal of an option the installer does not know.
#pragma once

#include "app/installer_state.h"

// Returns 1 (true) for "end now": the version box was shown, or the option was refused; WinMain
// then ends with exit code 1. Returns 0 (false) when start-up is to go on, with the state's test
// mode set for the test-mode switch.
bool ParseCommandLine(InstallerState &state, const char *commandLine);
