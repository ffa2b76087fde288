// The registry as the tests read it back.
#pragma once
#include <windows.h>

#include <string>

// True when `key` under `root` opens for reading; `view` is 0 for the program's own view of the
// registry, or KEY_WOW64_32KEY / KEY_WOW64_64KEY for the one a program of that size writes.
bool KeyExists(HKEY root, const std::string &key, REGSAM view = 0);
