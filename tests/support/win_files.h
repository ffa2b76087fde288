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

// The registry view that a program's build writes to on 64-bit Windows: KEY_WOW64_32KEY for a
// 32-bit (i386) program, KEY_WOW64_64KEY for a 64-bit one, read from its PE header. 0 when the
// file is no Windows program.
REGSAM RegistryViewOf(const std::string &programPath);
