// Makes a folder, and the folders above it that are missing, as the installer makes its
// destination folder (RegAddin_MakeDir). Header only: its users link the registration library.
#pragma once
#include <windows.h>

#include <string>

#include "regaddin/regaddin.h"

// False when the folder could not be made.
inline bool MakeFolder(const std::string &folder) {
    char buffer[MAX_PATH];
    lstrcpynA(buffer, folder.c_str(), sizeof(buffer));
    return RegAddin_MakeDir(buffer) == 1;
}
