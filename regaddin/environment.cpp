#include "regaddin/environment.h"

#include "reglog/log.h"
#include "regaddin/excel_flow.h"
#include "regaddin/regaddin.h"
#include "regaddin/registry_text.h"
#include "regaddin/string_rules.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kEnvironmentKey[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
const char kRuntimeClass[] = "TarApplyWin";
const char kRuntimeTitle[] = "tarveloapplywin";
const char kRuntimeClosingTitle[] = "Varnex - Closing Down";
const UINT kRuntimeCloseMessage = WM_USER + 2;

// Closes a kernel handle when the owning scope ends.
class ScopedHandle {
public:
    explicit ScopedHandle(HANDLE handle) : handle_(handle) {}
    ScopedHandle(const ScopedHandle &) = delete;
    ScopedHandle &operator=(const ScopedHandle &) = delete;
    ~ScopedHandle() {
        if (handle_ != nullptr)
            CloseHandle(handle_);
    }
    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_;
};

// The next runtime window that this call has not handled yet. A window whose retitling timed
// out still carries the runtime's title; skipping it keeps the loop finite.
HWND FindUnhandledRuntimeWindow(const std::vector<HWND> &handled) {
    HWND window = nullptr;
    while ((window = FindWindowExA(nullptr, window, kRuntimeClass, kRuntimeTitle)) != nullptr) {
        if (std::find(handled.begin(), handled.end(), window) == handled.end())
            return window;
    }
    return nullptr;
}

} // namespace

bool IsDirectory(const char *path) {
    if (path == nullptr)
        return false;
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool FileExists(const char *path) {
    return path != nullptr && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

bool ReadSystemPath(char *buffer, std::size_t capacity) {
    if (buffer == nullptr || capacity == 0)
        return false;
    buffer[0] = '\0';
    RegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kEnvironmentKey, 0, KEY_QUERY_VALUE, key.Receive()) !=
        ERROR_SUCCESS)
        return false;
    return QueryRegistryText(key.Get(), "Path", buffer, static_cast<DWORD>(capacity)) ==
           ERROR_SUCCESS;
}

int RegAddin_IsDirOnPath(char *folder) {
    std::vector<char> value(kSystemPathCapacity);
    if (!ReadSystemPath(value.data(), value.size()))
        return 0;
    return PathListContains(value.data(), folder);
}

bool AddDirToPath(const char *folder) {
    if (folder == nullptr)
        return false;
    std::vector<char> value(kSystemPathCapacity);
    if (!ReadSystemPath(value.data(), value.size()))
        return false;
    std::vector<char> newValue(kSystemPathCapacity);
    if (!ComposePathWithDir(value.data(), folder, newValue.data(), newValue.size())) {
        LogMessage("The new PATH value would not fit in %d bytes.",
                   static_cast<int>(kSystemPathCapacity));
        return false;
    }
    return WriteSystemPath(newValue.data());
}

bool WriteSystemPath(const char *value) {
    RegKey key;
    if (value == nullptr || RegOpenKeyExA(HKEY_LOCAL_MACHINE, kEnvironmentKey, 0, KEY_SET_VALUE,
                                          key.Receive()) != ERROR_SUCCESS)
        return false;
    const bool stored = SetRegistryText(key.Get(), "Path", value, REG_EXPAND_SZ) == ERROR_SUCCESS;
    if (!stored)
        LogMessage("Could not set the value.");
    if (RegFlushKey(key.Get()) != ERROR_SUCCESS)
        LogMessage("Could not flush registry.");
    if (key.Close() != ERROR_SUCCESS) {
        LogMessage("Could not close registry.");
        return false;
    }
    // Hung windows are skipped and each other window gets at most ten seconds.
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(HWND_BROADCAST, WM_SETTINGCHANGE, 0,
                        reinterpret_cast<LPARAM>("Environment"), SMTO_ABORTIFHUNG, 10000, &ignored);
    return stored;
}

int RegAddin_GetAppDataFolder(char *buffer) {
    if (buffer == nullptr)
        return 0;
    buffer[0] = '\0';
    RegKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Volatile Environment", 0, KEY_QUERY_VALUE,
                      key.Receive()) != ERROR_SUCCESS) {
        LogMessage("Could not open registry key - \"HKEY_CURRENT_USER\\Volatile Environment\"");
        return 0;
    }
    DWORD bytesRead = 0;
    const LONG status = QueryRegistryText(key.Get(), "APPDATA", buffer, MAX_PATH, &bytesRead);
    return status == ERROR_SUCCESS && bytesRead > 0 && buffer[0] != '\0' ? 1 : 0;
}

int RegAddin_MakeDir(char *folder) {
    if (folder == nullptr)
        return 0;
    if (IsDirectory(folder))
        return 1;
    // Only absolute drive-letter paths: "X:" followed by a separator. A drive-relative "C:dir"
    // would land in whatever the current folder of that drive is.
    if (folder[0] == '\0' || folder[1] != ':' || (folder[2] != '\\' && folder[2] != '/'))
        return 0;
    char path[280];
    const std::size_t length = std::strlen(folder);
    const bool addSeparator = folder[length - 1] != '\\';
    if (length + (addSeparator ? 1 : 0) + 1 > sizeof path)
        return 0;
    std::memcpy(path, folder, length + 1);
    if (addSeparator) {
        path[length] = '\\';
        path[length + 1] = '\0';
    }
    for (char *cursor = path + 3; *cursor != '\0'; ++cursor) {
        if (*cursor != '\\')
            continue;
        *cursor = '\0';
        // Someone else may create the level between the test and the creation.
        const bool ok = IsDirectory(path) || CreateDirectoryA(path, nullptr) || IsDirectory(path);
        *cursor = '\\';
        if (!ok)
            return 0;
    }
    return 1;
}

int RegAddin_Detect() {
    return ExcelIsRunning() ? 1 : 0;
}

int RegAddin_CloseTarveloProc() {
    std::vector<HWND> handled;
    HWND window;
    while ((window = FindUnhandledRuntimeWindow(handled)) != nullptr) {
        handled.push_back(window);
        // Both messages are bounded so that a hung runtime cannot hang the installer; the
        // window still counts as told to close.
        DWORD_PTR ignored = 0;
        SendMessageTimeoutA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(kRuntimeClosingTitle),
                            SMTO_ABORTIFHUNG, kRuntimeWindowTimeoutMs, &ignored);
        SendMessageTimeoutA(window, kRuntimeCloseMessage, 0, 0, SMTO_ABORTIFHUNG,
                            kRuntimeWindowTimeoutMs, &ignored);
    }
    return static_cast<int>(handled.size());
}

int RegAddin_StartProcessAndWait(char *commandLine, int *exitCode) {
    auto report = [exitCode](DWORD value) {
        if (exitCode != nullptr)
            *exitCode = static_cast<int>(value);
    };
    if (commandLine == nullptr) {
        report(ERROR_INVALID_PARAMETER);
        return 0;
    }
    // CreateProcess may write into the command line; the caller's text stays untouched.
    std::string writable = commandLine;
    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    std::memset(&process, 0, sizeof process);
    if (!CreateProcessA(nullptr, &writable[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        report(GetLastError());
        return 0;
    }
    ScopedHandle processHandle(process.hProcess);
    ScopedHandle threadHandle(process.hThread);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    if (!GetExitCodeProcess(process.hProcess, &code)) {
        report(GetLastError());
        return 0;
    }
    report(code);
    return 1;
}
