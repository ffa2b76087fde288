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

namespace {

// Splits `folder` into its deepest existing part and the names below it.
bool SplitAtExisting(const std::string &folder, std::string *existing, std::string *rest) {
    std::string head = folder;
    while (GetFileAttributesA(head.c_str()) == INVALID_FILE_ATTRIBUTES) {
        const size_t slash = head.find_last_of('\\');
        if (slash == std::string::npos || slash < 2)
            return false;
        head.resize(slash == 2 ? 3 : slash); // "C:\" keeps its backslash
    }
    *existing = head;
    *rest = folder.substr(head.size());
    if (!rest->empty() && rest->front() == '\\')
        rest->erase(0, 1);
    return true;
}

std::string Joined(const std::string &folder, const std::string &rest) {
    if (rest.empty())
        return folder;
    return folder.back() == '\\' ? folder + rest : folder + "\\" + rest;
}

// The long form of the existing part: short 8.3 names spelled out.
std::string LongForm(const std::string &existing) {
    char path[MAX_PATH];
    const DWORD length = GetLongPathNameA(existing.c_str(), path, sizeof(path));
    return length > 0 && length < sizeof(path) ? std::string(path) : std::string();
}

// Where the existing part leads, links and junctions followed, as a drive path.
std::string FinalForm(const std::string &existing) {
    HANDLE handle =
        CreateFileA(existing.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return {};
    char path[MAX_PATH + 8];
    const DWORD length = GetFinalPathNameByHandleA(handle, path, sizeof(path),
                                                   FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    CloseHandle(handle);
    if (length == 0 || length >= sizeof(path))
        return {};
    std::string final = path;
    if (final.compare(0, 4, "\\\\?\\") == 0)
        final.erase(0, 4);
    return final;
}

} // namespace

FolderRefusal RefuseFolderHere(const std::string &folder, std::string *system) {
    const std::vector<std::string> systemFolders = SystemFolders();
    const FolderRefusal refusal = RefuseFolder(folder, systemFolders, system);
    std::string existing, rest;
    if (refusal != FolderRefusal::None || !SplitAtExisting(folder, &existing, &rest))
        return refusal;
    for (const std::string &named : {LongForm(existing), FinalForm(existing)}) {
        if (named.empty())
            continue;
        const std::string alias = NormalizeFolder(Joined(named, rest));
        if (!SameFolder(alias, folder) &&
            RefuseFolder(alias, systemFolders, system) == FolderRefusal::SystemFolder)
            return FolderRefusal::SystemFolder;
    }
    return FolderRefusal::None;
}

} // namespace folders
