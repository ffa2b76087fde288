#include "regaddin/registration.h"

#include "regaddin/environment.h"
#include "regaddin/excel_flow.h"
#include "reglog/log.h"
#include "regaddin/regaddin.h"
#include "regaddin/uninstall_entry.h"

#include <cstdio>
#include <cstring>

namespace {

// Sizes of the run's own copies; longer texts cannot name a usable folder or file.
const std::size_t kFolderCapacity = 312;
const std::size_t kAddinNameCapacity = 100;

// True when `text` fits, with its NUL, into `capacity` bytes and was copied.
bool CopyText(char *out, std::size_t capacity, const char *text) {
    const std::size_t length = std::strlen(text);
    if (length + 1 > capacity)
        return false;
    std::memcpy(out, text, length + 1);
    return true;
}

// Step 6: make sure the folder is listed in the system PATH. 0 or kRegAddinPathNotUpdated.
int EnsureFolderOnPath(char *folder) {
    if (RegAddin_IsDirOnPath(folder)) {
        LogMessage("PATH does not need updating.");
        return kRegAddinOk;
    }
    LogMessage("PATH needs updating");
    if (!AddDirToPath(folder)) {
        LogMessage("PATH could not be updated - registration of Varnok Spreadsheet Add-In cannot "
                   "continue!");
        LogMessage("RegAddin returned %d", kRegAddinPathNotUpdated);
        return kRegAddinPathNotUpdated;
    }
    LogMessage("PATH was updated successfully");
    return kRegAddinOk;
}

} // namespace

int RunRegistration(RegistrationDirection direction, int flags, const char *folder,
                    const char *addinFile) {
    char folderCopy[kFolderCapacity];
    const char *shown = folder != nullptr ? folder : "";
    if (!CopyText(folderCopy, sizeof folderCopy, shown)) {
        LogMessage("Directory \"%s\" does not exist!", shown);
        return kRegAddinNoFolder;
    }
    const std::size_t length = std::strlen(folderCopy);
    if (length > 0 && (folderCopy[length - 1] == '\\' || folderCopy[length - 1] == '/'))
        folderCopy[length - 1] = '\0';

    char addinName[kAddinNameCapacity];
    const bool nameFits =
        CopyText(addinName, sizeof addinName, addinFile != nullptr ? addinFile : kDefaultAddinFile);

    if (folderCopy[0] == '\0' || !IsDirectory(folderCopy)) {
        LogMessage("Directory \"%s\" does not exist!", folderCopy);
        return kRegAddinNoFolder;
    }
    char addinPath[kFolderCapacity];
    const int written =
        std::snprintf(addinPath, sizeof addinPath, "%s\\%s", folderCopy, nameFits ? addinName : "");
    if (!nameFits || written < 0 || static_cast<std::size_t>(written) >= sizeof addinPath ||
        !FileExists(addinPath))
        return kRegAddinNoAddinFile;

    const int keepCom = flags & kRegAddinKeepCom;
    if (direction == RegistrationDirection::kUninstall) {
        LogMessage("Uninstalling...");
        return UnregisterFromExcel(keepCom);
    }
    if ((flags & kRegAddinAddToPath) != 0) {
        const int pathResult = EnsureFolderOnPath(folderCopy);
        if (pathResult != kRegAddinOk)
            return pathResult;
    }
    return RegisterWithExcel(keepCom, folderCopy, addinPath, addinName);
}

int RegAddin_Install(int flags, char *folder, char *addinFile, RegAddinLogCallback log) {
    BeginLoggedCall(log);
    return EndLoggedCall(
        RunRegistration(RegistrationDirection::kInstall, flags, folder, addinFile));
}

int RegAddin_Uninstall(int flags, char *folder, char *addinFile, RegAddinLogCallback log) {
    BeginLoggedCall(log);
    return EndLoggedCall(
        RunRegistration(RegistrationDirection::kUninstall, flags, folder, addinFile));
}

int RegAddin_RegisterUninstall(char *displayName, char *keyName, char *folder,
                               RegAddinLogCallback log) {
    BeginLoggedCall(log);
    const bool ok = WriteUninstallEntry(displayName, keyName, folder);
    return EndLoggedCall(ok ? kRegAddinOk : kRegAddinUninstallEntryFailed);
}
