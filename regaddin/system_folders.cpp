#include "regaddin/system_folders.h"

#include <windows.h>
#include <shlobj.h>

#include "regaddin/folder_rules.h"

namespace folders {

std::vector<std::string> SystemFolders() {
    std::vector<std::string> found;
    const int ids[] = {CSIDL_WINDOWS,          CSIDL_SYSTEM,           CSIDL_SYSTEMX86,
                       CSIDL_PROGRAM_FILES,    CSIDL_PROGRAM_FILESX86, CSIDL_PROGRAM_FILES_COMMON,
                       CSIDL_PROFILE,          CSIDL_APPDATA,          CSIDL_LOCAL_APPDATA,
                       CSIDL_COMMON_APPDATA,   CSIDL_DESKTOPDIRECTORY, CSIDL_PERSONAL,
                       CSIDL_COMMON_DOCUMENTS, CSIDL_STARTMENU,        CSIDL_COMMON_STARTMENU};
    for (int id : ids) {
        char path[MAX_PATH];
        if (SUCCEEDED(SHGetFolderPathA(nullptr, id, nullptr, SHGFP_TYPE_CURRENT, path)) && path[0])
            found.push_back(NormalizeFolder(path));
    }
    // A 32-bit program on 64-bit Windows is told of the 32-bit Program Files only; the
    // environment names the other one.
    for (const char *name : {"ProgramW6432", "CommonProgramW6432"}) {
        char path[MAX_PATH];
        const DWORD length = GetEnvironmentVariableA(name, path, sizeof(path));
        if (length > 0 && length < sizeof(path))
            found.push_back(NormalizeFolder(path));
    }
    char temp[MAX_PATH];
    const DWORD length = GetTempPathA(sizeof(temp), temp);
    if (length > 0 && length < sizeof(temp))
        found.push_back(NormalizeFolder(temp));
    return found;
}

} // namespace folders
