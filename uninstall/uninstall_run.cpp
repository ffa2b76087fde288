#include "uninstall/uninstall_run.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/shared_texts.h"
#include "archive/install_list.h"
#include "archive/install_log.h"
#include "archive/resource_checksum.h"
#include "product/names.h"
#include "regaddin/folder_rules.h"
#include "regaddin/folder_security.h"
#include "regaddin/regaddin.h"
#include "regaddin/system_folders.h"
#include "resources/resource_ids.h"

namespace uninstall {

using folders::NormalizeFolder;
using folders::SameFolder;

namespace {

constexpr char kLogStem[] = "uninstall";
constexpr char kLogName[] = "uninstall.log";
// How many names the log may try when the ones before it are links.
constexpr int kLogNamesTried = 9;
// A file in use gets this many more tries, this far apart, before its removal is put off.
constexpr int kDeleteTries = 5;
constexpr DWORD kDeleteRetryMs = 200;
// How many fresh names the working folder may try when one was taken in the meantime.
constexpr int kCopyFolderTries = 10;
// How long the copy waits for the original to end before it removes the original's file.
constexpr DWORD kOriginalExitWaitMs = 60000;

// The log of the run. The registration library calls LogLine with the line alone, so the log is
// reached here rather than handed in.
InstallLog *g_log = nullptr;

void LogLine(char *line) {
    if (g_log)
        g_log->WriteLine(line);
}
void Log(const std::string &line) {
    if (g_log)
        g_log->WriteLine(line.c_str());
}
void LogKeyValue(const char *key, const std::string &value) {
    if (g_log)
        g_log->WriteKeyValue(key, value.c_str());
}

// The product's names, from the same string table as the installer's.
struct Product {
    HINSTANCE instance;
    std::string displayName; // the Control Panel's name of the product
    std::string keyName;     // the Control Panel entry's key
    std::string infoName;    // the install information's record
    std::string build;

    explicit Product(HINSTANCE module) : instance(module) {
        displayName = Load(IDS_UNINSTALL_NAME);
        keyName = Load(IDS_UNINSTALL_KEY);
        infoName = Load(IDS_INSTALLINFO_NAME);
        build = Load(IDS_PRODUCT_BUILD);
    }
    std::string Load(int id) const {
        char text[512];
        return LoadStringA(instance, id, text, sizeof(text)) > 0 ? text : "";
    }
    std::string Caption() const { return displayName + " - Uninstall"; }
};

// What the user sees; in silent mode nothing is shown and every question takes its safe answer.
struct Ui {
    const Product &product;
    bool silent;

    void Show(const std::string &text, UINT icon) const {
        if (g_log)
            g_log->WriteNote(text.c_str());
        if (!silent)
            MessageBoxA(nullptr, text.c_str(), product.Caption().c_str(), MB_OK | icon);
    }
    int Ask(const std::string &text, UINT buttons, int silentAnswer) const {
        if (g_log)
            g_log->WriteNote(text.c_str());
        if (silent)
            return silentAnswer;
        return MessageBoxA(nullptr, text.c_str(), product.Caption().c_str(),
                           buttons | MB_ICONQUESTION | MB_DEFBUTTON2);
    }
};

std::string TempFolder() {
    char path[MAX_PATH];
    const DWORD length = GetTempPathA(sizeof(path), path);
    if (length == 0 || length >= sizeof(path))
        return "C:\\";
    return NormalizeFolder(path);
}

// Whether an open file is a plain one: no link (a reparse point) and no second name (a hard link).
bool IsPlainFile(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION info;
    return GetFileInformationByHandle(file, &info) && info.nNumberOfLinks == 1 &&
           !(info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY));
}

// Opens `path` to append to it, the file made when missing; null unless it is a plain file.
std::FILE *OpenPlainToAppend(const std::string &path) {
    HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return nullptr;
    if (!IsPlainFile(file)) {
        CloseHandle(file);
        return nullptr;
    }
    const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_APPEND | _O_WRONLY);
    if (descriptor < 0) {
        CloseHandle(file);
        return nullptr;
    }
    std::FILE *stream = _fdopen(descriptor, "a");
    if (!stream)
        _close(descriptor);
    return stream;
}

// The log lies in the temporary folder, which the user's own programs may change, and the
// uninstaller runs elevated: it is never written through a link. A file at its name that is a
// link, or that has another name too, is left alone, and the log goes on in a fresh file beside
// it ("uninstall-2.log", and so on).
std::FILE *OpenLogNotThroughALink(char *path) {
    if (std::FILE *file = OpenPlainToAppend(path))
        return file;
    std::string folder = path;
    folder.resize(folder.find_last_of('\\') + 1);
    for (int number = 2; number <= kLogNamesTried; ++number) {
        const std::string fresh = folder + kLogStem + "-" + std::to_string(number) + ".log";
        if (fresh.size() >= size_t(InstallLog::kPathSize))
            return nullptr;
        if (std::FILE *file = OpenPlainToAppend(fresh)) {
            lstrcpynA(path, fresh.c_str(), InstallLog::kPathSize);
            return file;
        }
    }
    return nullptr;
}

bool IsFolder(const std::string &path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Whether the registry records an installation of this product in `folder`: the install
// information or the Control Panel entry names it.
bool RecordedInstallation(const Product &product, const std::string &folder) {
    installinfo_tag info = {};
    std::vector<char> infoName(product.infoName.begin(), product.infoName.end());
    infoName.push_back('\0');
    if (RegAddin_GetInstallInfo(infoName.data(), &info) && info.installDir[0] &&
        SameFolder(info.installDir, folder))
        return true;
    char key[600];
    std::snprintf(key, sizeof(key), product::kUninstallKeyFormat, product.keyName.c_str());
    char location[MAX_PATH] = {};
    DWORD size = sizeof(location) - 1;
    return RegGetValueA(HKEY_LOCAL_MACHINE, key, "InstallLocation", RRF_RT_REG_SZ, nullptr,
                        location, &size) == ERROR_SUCCESS &&
           location[0] && SameFolder(location, folder);
}

// The list of what the installation put on disk, checked against the SHA-256 stored beside it:
// a damaged list could name the wrong files, and so could one that cannot be checked. Else the
// text for the user.
bool LoadInstallList(HINSTANCE instance, payload::InstallList *list, std::string *refusal) {
    const auto damaged = [refusal](const std::string &why) {
        *refusal = "The uninstaller is damaged (" + why + "): nothing was removed.";
        return false;
    };
    size_t size = 0;
    const uint8_t *data = payload::ResourceBytes(instance, payload::kInstallListResourceType,
                                                 payload::kInstallListResourceId, &size);
    if (!data)
        return damaged("the list of installed files is missing");
    switch (payload::CheckResourceChecksum(instance, payload::kInstallListResourceType,
                                           payload::kInstallListResourceId,
                                           payload::kListChecksumResourceId)) {
    case payload::ChecksumResult::Mismatch:
        return damaged("the list of installed files does not match its checksum");
    case payload::ChecksumResult::Unavailable:
        *refusal = std::string("The uninstaller cannot check its list of installed files: ") +
                   payload::kChecksumUnavailableReason + ", so nothing was removed.";
        return false;
    case payload::ChecksumResult::Matches:
    case payload::ChecksumResult::NotStored:
        break;
    }
    std::string error;
    if (!payload::ParseInstallList(reinterpret_cast<const char *>(data), size, list, &error))
        return damaged(error);
    return true;
}

// Checks the argument: a full folder, not a drive root or a system folder, that holds an
// installation of this product. The text for the user when it is refused, else empty.
std::string RefusalOf(const Product &product, const Command &command, std::string *folder) {
    const std::string usage = "Start Uninstall.exe from the list of programs of the Control "
                              "Panel, or as:\n\n    Uninstall.exe [/S] \"<installation folder>\"";
    if (command.kind == Command::Kind::MissingFolder)
        return "No installation folder was given.\n\n" + usage;
    if (command.kind == Command::Kind::Malformed)
        return "The command line is not understood (" + command.problem + ").\n\n" + usage;
    // The installer's folder dialog refuses the same folders (regaddin/folder_rules.h).
    *folder = NormalizeFolder(command.folder);
    switch (folders::RefuseFolderHere(*folder)) {
    case folders::FolderRefusal::NotFullPath:
        return "\"" + command.folder + "\" is not a full folder path.\n\n" + usage;
    case folders::FolderRefusal::DriveRoot:
        return "\"" + *folder + "\" is a drive root: nothing is removed from it.";
    case folders::FolderRefusal::SystemFolder:
        return "\"" + *folder + "\" is a system folder: nothing is removed from it.";
    case folders::FolderRefusal::None:
        break;
    }
    if (folders::RefuseLinksHere(*folder) != folders::LinkRefusal::None)
        return "\"" + *folder + "\" is a link to another place, or lies inside one: nothing is " +
               "removed from it.";
    if (!IsFolder(*folder) || !RecordedInstallation(product, *folder))
        return "No installation of the " + product.displayName + " was found in \"" + *folder +
               "\".";
    return {};
}

// ---- Removing files and folders ----------------------------------------------------------

struct Removal {
    std::vector<Leftover> leftovers;
    std::set<std::string> scheduled;       // full paths put off to the next restart
    payload::FileHasher *hasher = nullptr; // compares the installed files before they go
    std::set<std::string> linksKept;       // links met on the way to a listed entry
};

// Deletes a file that may go: tried again while in use, then put off to the next restart.
void DeleteInstalledFile(const std::string &path, DWORD attributes, Removal *removal) {
    if (attributes & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesA(path.c_str(),
                           (attributes & ~FILE_ATTRIBUTE_READONLY) | FILE_ATTRIBUTE_NORMAL);
    for (int attempt = 0; attempt <= kDeleteTries; ++attempt) {
        if (DeleteFileA(path.c_str())) {
            Log("Removed " + path);
            return;
        }
        if (GetLastError() == ERROR_FILE_NOT_FOUND)
            return;
        Sleep(kDeleteRetryMs);
    }
    const DWORD error = GetLastError();
    const bool scheduled = MoveFileExA(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != 0;
    Log("Could not remove " + path + " (error " + std::to_string(error) + ")" +
        (scheduled ? ": removed when Windows restarts" : ""));
    if (scheduled)
        removal->scheduled.insert(path);
    removal->leftovers.push_back({path, scheduled, false});
}

// What an installed file holds now, against what the list says was installed.
enum class Contents { AsInstalled, Changed, Unreadable };

Contents CompareWithInstalled(HANDLE file, const payload::InstallListEntry &installed,
                              payload::FileHasher *hasher) {
    LARGE_INTEGER length = {};
    if (GetFileSizeEx(file, &length) && length.QuadPart != installed.size)
        return Contents::Changed; // no need to read it
    uint64_t size = 0;
    uint8_t digest[payload::kChecksumSize];
    if (!hasher || !hasher->Hash(file, &size, digest))
        return Contents::Unreadable;
    return int64_t(size) == installed.size && payload::ChecksumText(digest) == installed.sha256
               ? Contents::AsInstalled
               : Contents::Changed;
}

// Opens an installed file for the comparison and keeps it open until it is deleted: as long as
// no other program has it open for writing, none can start to while this handle is open. A link
// planted at the name is opened itself, not what it leads to.
HANDLE OpenToCompare(const std::string &path) {
    const DWORD flags = FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, flags, nullptr);
    if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION)
        file = CreateFileA(path.c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, flags, nullptr);
    return file;
}

// Deletes one file; a file in use is tried again, then put off to the next restart. A file the
// list gives the SHA-256 of goes only while it still holds what was installed: one the user
// changed is theirs, and stays.
void RemoveFile(const std::string &path, const payload::InstallListEntry *installed,
                Removal *removal) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return; // already gone
    // The installation put a file here; a folder in its place is the user's, with whatever it
    // holds: it stays, and so do the folders that hold it.
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        Log("Kept folder " + path + ": it holds files that were not installed");
        removal->leftovers.push_back({path, false, true});
        return;
    }
    HANDLE compared = INVALID_HANDLE_VALUE;
    if (installed && !installed->sha256.empty()) {
        compared = OpenToCompare(path);
        const Contents contents = compared == INVALID_HANDLE_VALUE
                                      ? Contents::Unreadable
                                      : CompareWithInstalled(compared, *installed, removal->hasher);
        if (contents != Contents::AsInstalled) {
            if (compared != INVALID_HANDLE_VALUE)
                CloseHandle(compared);
            const std::string kept = contents == Contents::Changed
                                         ? "was changed after the installation: kept"
                                         : "could not be read to compare it with what was "
                                           "installed: kept";
            Log(path + " " + kept);
            removal->leftovers.push_back({path, false, false, kept});
            return;
        }
    }
    DeleteInstalledFile(path, attributes, removal);
    if (compared != INVALID_HANDLE_VALUE)
        CloseHandle(compared); // a deleted file goes with its last handle
}

bool Scheduled(const Removal &removal, const std::string &path) {
    for (const std::string &s : removal.scheduled)
        if (SameFolder(s, path))
            return true;
    return false;
}

// Whether everything left in `folder` goes at the next restart anyway, but for the file
// `allowed` (null: none). A folder with nothing left in it counts too.
bool OnlyScheduledLeft(const std::string &folder, const Removal &removal, const char *allowed) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return true;
    bool only = true;
    do {
        const std::string name = found.cFileName;
        if (name == "." || name == ".." || (allowed && SameFolder(name, allowed)))
            continue;
        only = Scheduled(removal, folder + "\\" + name);
    } while (only && FindNextFileA(search, &found));
    FindClose(search);
    return only;
}

// Removes an empty folder. One that holds only what goes at the next restart is put off too;
// one that still holds files the setup did not install stays.
void RemoveFolder(const std::string &path, Removal *removal) {
    if (!IsFolder(path))
        return;
    if (RemoveDirectoryA(path.c_str())) {
        Log("Removed folder " + path);
        return;
    }
    if (OnlyScheduledLeft(path, *removal, nullptr) &&
        MoveFileExA(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
        Log("Folder " + path + " is removed when Windows restarts");
        removal->scheduled.insert(path);
        return; // the files that keep it were reported already
    }
    Log("Kept folder " + path + ": it holds files that were not installed");
    removal->leftovers.push_back({path, false, true});
}

void KeepLink(const std::string &link, Removal *removal) {
    Log(link + " is a link: not followed");
    removal->leftovers.push_back({link, false, false, "is a link: not followed"});
}

// A link where the installation had a file or a folder goes as a link: RemoveDirectoryA and
// DeleteFileA remove the link itself, never what it leads to. One that leads on to other listed
// entries stays, reported, like what lies beyond it.
void RemoveLink(const std::string &link, Removal *removal) {
    if (removal->linksKept.count(link))
        return;
    const DWORD attributes = GetFileAttributesA(link.c_str());
    const bool removed = (attributes & FILE_ATTRIBUTE_DIRECTORY) ? RemoveDirectoryA(link.c_str())
                                                                 : DeleteFileA(link.c_str());
    if (removed)
        Log("Removed link " + link);
    else
        KeepLink(link, removal);
}

// Removes a listed entry (`installed` for a file of the list, null for one the programs made)
// unless a link is on its way: nothing is removed through a link, and no removal at the next
// restart is arranged through one.
void RemoveListed(const std::string &folder, const std::string &relative,
                  const payload::InstallListEntry *installed, bool isFolder, Removal *removal) {
    std::string link;
    switch (FindLinkOnPath(folder, relative, folders::IsReparsePoint, &link)) {
    case LinkOnPath::Through:
        if (removal->linksKept.insert(link).second)
            KeepLink(link, removal);
        return;
    case LinkOnPath::Itself:
        RemoveLink(link, removal);
        return;
    case LinkOnPath::None:
        break;
    }
    const std::string path = folder + "\\" + relative;
    if (isFolder)
        RemoveFolder(path, removal);
    else
        RemoveFile(path, installed, removal);
}

// ---- The copy that does the work ---------------------------------------------------------

// The verdict pipe and the original's process, as handed to the copy; both may be absent.
struct Original {
    HANDLE process = nullptr;
    HANDLE verdictPipe = nullptr;
};

HANDLE ValidHandle(uint64_t value) {
    HANDLE handle = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(value));
    DWORD flags = 0;
    return value != 0 && GetHandleInformation(handle, &flags) ? handle : nullptr;
}

void SendVerdict(Original *original, int verdict) {
    if (!original->verdictPipe)
        return;
    const int32_t code = verdict;
    DWORD written = 0;
    WriteFile(original->verdictPipe, &code, sizeof(code), &written, nullptr);
    CloseHandle(original->verdictPipe);
    original->verdictPipe = nullptr;
}

// The copy's own file and folder go at the next restart: it cannot delete itself either.
void ScheduleOwnRemoval() {
    char self[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, self, sizeof(self));
    if (length == 0 || length >= sizeof(self))
        return;
    const std::string file = self;
    const std::string folder = file.substr(0, file.find_last_of('\\'));
    MoveFileExA(file.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    MoveFileExA(folder.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

// Excel must not run while its add-in list is cleaned and the add-in's files go.
bool ExcelClosed(const Ui &ui, const Product &product) {
    while (RegAddin_Detect()) {
        if (ui.silent) {
            Log("Microsoft Excel is running: nothing was removed.");
            return false;
        }
        const std::string text = "Microsoft Excel is currently running.\n\nClose Excel and press "
                                 "'Retry' to go on removing the " +
                                 product.displayName + ", or press 'Cancel' to keep it.";
        if (ui.Ask(text, MB_RETRYCANCEL, IDCANCEL) == IDCANCEL) {
            Log("Excel Running - User Cancelled.");
            return false;
        }
    }
    return true;
}

void UnregisterFromExcel(const Ui &ui, const Product &product, const std::string &folder) {
    Log("Unregistering the Add-In...");
    std::vector<char> folderText(folder.begin(), folder.end());
    folderText.push_back('\0');
    const int code = RegAddin_Uninstall(0, folderText.data(), nullptr, LogLine);
    if (code == kRegAddinOk)
        return;
    char text[512];
    RegistrationErrorText(product.instance, code, text, sizeof(text));
    Log("Unregistering from Excel Failed (" + std::to_string(code) + ")");
    LogKeyValue("Error Information", text);
    // The files must not stay behind because Excel misbehaved: the removal goes on.
    ui.Show(std::string(text) + "\n\nThe add-in may still be listed among Excel's add-ins; the "
                                "files are removed all the same.",
            MB_ICONWARNING);
}

void RemoveRegistryRecords(const Product &product) {
    std::vector<char> key(product.keyName.begin(), product.keyName.end());
    key.push_back('\0');
    std::vector<char> name(product.displayName.begin(), product.displayName.end());
    name.push_back('\0');
    const int entry = RegAddin_RegisterUninstall(name.data(), key.data(), nullptr, LogLine);
    Log("Control Panel entry removed: " + std::string(entry == kRegAddinOk ? "yes" : "no"));
    std::vector<char> info(product.infoName.begin(), product.infoName.end());
    info.push_back('\0');
    const int removed = RegAddin_RemoveInstallInfo(info.data());
    Log("Install information removed: " + std::string(removed ? "yes" : "no"));
    // The maker's keys that held the record go too once nothing else is in them.
    for (const char *key : {product::kInstallInfoKey, product::kMakerKey}) {
        HKEY handle;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &handle) != ERROR_SUCCESS)
            continue;
        DWORD subkeys = 1, values = 1;
        RegQueryInfoKeyA(handle, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                         nullptr, nullptr, nullptr, nullptr);
        RegCloseKey(handle);
        if (subkeys == 0 && values == 0 && RegDeleteKeyA(HKEY_LOCAL_MACHINE, key) == ERROR_SUCCESS)
            Log(std::string("Removed registry key HKEY_LOCAL_MACHINE\\") + key);
    }
}

std::string SettingsFolder() {
    char appData[MAX_PATH] = {};
    return RegAddin_GetAppDataFolder(appData)
               ? std::string(appData) + "\\" + product::kSettingsFolder
               : std::string();
}

int RunCopy(const Ui &ui, const Product &product, const payload::InstallList &list,
            const std::string &folder, Original *original) {
    char closed[16];
    std::snprintf(closed, sizeof(closed), "%d", RegAddin_CloseTarveloProc());
    LogKeyValue("Instances of TarveloProc.exe closed", closed);
    if (!ExcelClosed(ui, product))
        return kExitCancelled;
    UnregisterFromExcel(ui, product, folder);

    // The original is still running from its file: that file and the folder go once it ends.
    const std::string originalFile = folder + "\\" + product::kUninstallerName;
    payload::FileHasher hasher;
    Removal removal;
    removal.hasher = &hasher;
    const RemovalPlan plan = MakeRemovalPlan(list);
    Log("Removing files...");
    for (const payload::InstallListEntry &file : plan.files) {
        if (!(original->process && SameFolder(folder + "\\" + file.path, originalFile)))
            RemoveListed(folder, file.path, &file, false, &removal);
    }
    for (const char *made : {product::kInstallLogName, product::kMarkerFileName})
        RemoveListed(folder, made, nullptr, false, &removal);
    for (const std::string &sub : plan.folders)
        RemoveListed(folder, sub, nullptr, true, &removal);
    RemoveRegistryRecords(product);

    // The installation folder itself goes last, once the original's file is gone.
    const bool folderWillGo =
        OnlyScheduledLeft(folder, removal, original->process ? product::kUninstallerName : nullptr);
    if (!folderWillGo) {
        Log("Kept folder " + folder + ": it holds files that were not installed");
        removal.leftovers.push_back({folder, false, true});
    }
    const int verdict = removal.leftovers.empty() ? kExitRemoved : kExitLeftovers;
    ui.Show(FinalMessage(product.displayName, removal.leftovers, SettingsFolder()),
            verdict == kExitRemoved ? MB_ICONINFORMATION : MB_ICONWARNING);
    LogKeyValue("Result", std::to_string(verdict));

    // The caller of the original learns the result now; the original's file goes after it.
    SendVerdict(original, verdict);
    if (original->process) {
        WaitForSingleObject(original->process, kOriginalExitWaitMs);
        Removal last;
        RemoveListed(folder, product::kUninstallerName, nullptr, false, &last);
    }
    if (folderWillGo) {
        RemoveFolder(folder, &removal);
        // The maker's folder the installer made for the default location goes when this
        // installation was all it held; any other parent is the user's.
        const std::string parent = folder.substr(0, folder.find_last_of('\\'));
        const std::string parentName = parent.substr(parent.find_last_of('\\') + 1);
        if (parent.size() > 3 && SameFolder(parentName, product::kMakerFolder) &&
            !IsFolder(folder) && RemoveDirectoryA(parent.c_str()))
            Log("Removed folder " + parent);
    }
    return verdict;
}

// ---- The original: starts the copy and passes its verdict on ------------------------------

// A fresh folder in the temporary folder that only administrators can change (a folder of that
// name someone made first is never used), holding a new copy of this program. `*held` keeps the
// copy open, shared for reading only, until the copy has started. Empty on failure.
std::string MakeCopy(HANDLE *held) {
    *held = INVALID_HANDLE_VALUE;
    folders::FolderSecurity security(folders::FolderAccess::AdministratorsOnly);
    if (!security.Valid())
        return {};
    const std::string temp = TempFolder();
    char unique[MAX_PATH] = {};
    bool made = false;
    for (int attempt = 0; attempt < kCopyFolderTries && !made; ++attempt) {
        if (!GetTempFileNameA(temp.c_str(), "vnx", 0, unique))
            return {};
        DeleteFileA(unique);
        made = CreateDirectoryA(unique, security.Attributes()) != 0;
        if (!made && GetLastError() != ERROR_ALREADY_EXISTS)
            return {};
    }
    if (!made)
        return {};
    char self[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, self, sizeof(self));
    const std::string copy = std::string(unique) + "\\" + product::kUninstallerName;
    if (length > 0 && length < sizeof(self) && CopyFileA(self, copy.c_str(), TRUE))
        *held = CreateFileA(copy.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (*held == INVALID_HANDLE_VALUE || !IsPlainFile(*held)) {
        if (*held != INVALID_HANDLE_VALUE)
            CloseHandle(*held);
        *held = INVALID_HANDLE_VALUE;
        DeleteFileA(copy.c_str());
        RemoveDirectoryA(unique);
        return {};
    }
    return copy;
}

// Starts the copy with the folder and the private switch; returns its verdict, or -1 when it
// could not be started or ended without one. `held`, the copy open for reading only, is closed
// once the copy has started (or cannot be).
int RunThroughCopy(const std::string &copy, const std::string &folder, bool silent, HANDLE held) {
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) {
        CloseHandle(held);
        return -1;
    }
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    HANDLE self = nullptr;
    DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &self,
                    SYNCHRONIZE, TRUE, 0);
    const std::string copyFolder = copy.substr(0, copy.find_last_of('\\'));
    std::string commandLine = "\"" + copy +
                              "\" /RUN:" + std::to_string(reinterpret_cast<uintptr_t>(self)) + ":" +
                              std::to_string(reinterpret_cast<uintptr_t>(writeEnd)) +
                              (silent ? " /S" : "") + " \"" + folder + "\"";
    std::vector<char> text(commandLine.begin(), commandLine.end());
    text.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    // The copy works from its own folder, so that nothing holds the installation folder open.
    const BOOL started = CreateProcessA(copy.c_str(), text.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, copyFolder.c_str(), &startup, &process);
    CloseHandle(held); // the copy has started, or never will
    CloseHandle(writeEnd);
    if (self)
        CloseHandle(self);
    int32_t verdict = -1;
    if (started) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        DWORD read = 0;
        if (!ReadFile(readEnd, &verdict, sizeof(verdict), &read, nullptr) ||
            read != sizeof(verdict))
            verdict = -1;
    }
    CloseHandle(readEnd);
    return verdict;
}

int RunOriginal(const Ui &ui, const Product &product, const std::string &folder) {
    const std::string question = "Remove " + product.displayName + " and all of its components?";
    if (ui.Ask(question, MB_YESNO, IDYES) != IDYES) {
        Log("Uninstall declined: nothing was removed.");
        return kExitCancelled;
    }
    HANDLE held = INVALID_HANDLE_VALUE;
    const std::string copy = MakeCopy(&held);
    if (copy.empty()) {
        ui.Show("The uninstaller could not copy itself to the temporary folder: nothing was "
                "removed.",
                MB_ICONERROR);
        return kExitRefused;
    }
    LogKeyValue("Uninstaller copy", copy);
    const int verdict = RunThroughCopy(copy, folder, ui.silent, held);
    if (verdict < 0) {
        ui.Show("The uninstallation ended without a result. The uninstall log in the temporary "
                "folder tells how far it came.",
                MB_ICONERROR);
        return kExitLeftovers;
    }
    return verdict;
}

} // namespace

int RunUninstaller(HINSTANCE instance, const Command &command) {
    const Product product(instance);
    // The copy goes on with the log the original started.
    InstallLog log(TempFolder().c_str(), kLogName,
                   command.isCopy ? nullptr : "Uninstallation Started", product.build.c_str(),
                   "Removing", OpenLogNotThroughALink);
    g_log = &log;
    const Ui ui{product, command.silent};
    Log(command.isCopy ? "Removal copy started" : "Varnex Uninstaller 1.0");

    Original original;
    if (command.isCopy) {
        original.process = ValidHandle(command.originalProcess);
        original.verdictPipe = ValidHandle(command.verdictPipe);
    }
    int result = kExitRefused;
    std::string folder;
    payload::InstallList list;
    std::string error;
    const std::string refusal = RefusalOf(product, command, &folder);
    if (!refusal.empty()) {
        ui.Show(refusal, MB_ICONERROR);
    } else if (!LoadInstallList(instance, &list, &error)) {
        ui.Show(error, MB_ICONERROR);
    } else {
        LogKeyValue("Uninstall Dir", folder);
        result = command.isCopy ? RunCopy(ui, product, list, folder, &original)
                                : RunOriginal(ui, product, folder);
    }
    SendVerdict(&original, result); // a copy that stopped early still answers
    if (original.process)
        CloseHandle(original.process);
    if (command.isCopy)
        ScheduleOwnRemoval();
    LogKeyValue("Exit Uninstall", std::to_string(result));
    g_log = nullptr;
    return result;
}

} // namespace uninstall
