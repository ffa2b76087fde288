// Files and programs through the Win32 calls, as the installer meets them.
#pragma once
#include <windows.h>

#include <string>

bool PathExists(const std::string &path);
bool IsFolder(const std::string &path);
// Creates or replaces the file with exactly `text`. False when it cannot be written whole.
bool WriteFileText(const std::string &path, const std::string &text);

// Runs a command line to its end. With an `outputFile`, the program's stdout and stderr go there
// and, with `output`, are read back into *output. Returns the exit code, or -1 when the program
// could not be started or did not end within `timeoutMs` (it is then ended).
int RunProgram(const std::string &commandLine, const std::string &outputFile = "",
               std::string *output = nullptr, DWORD timeoutMs = 120000);
