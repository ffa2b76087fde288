// Opening a document for the user from the elevated installer: through the shell of the desktop
// (Explorer), which runs the viewer with the user's own, unelevated rights, instead of the
// installer's administrator rights.
#pragma once

// Asks the desktop's shell window to open `path` (IShellDispatch2::ShellExecute, reached through
// IShellWindows' desktop, its top-level browser, its view's background object). False when
// there is no desktop shell to ask, it refuses, or it does not answer within `timeoutMs`: the
// caller then opens the file itself.
bool OpenThroughDesktopShell(const char *path, unsigned long timeoutMs);
