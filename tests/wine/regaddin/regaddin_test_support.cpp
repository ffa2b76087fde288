#include "tests/wine/regaddin/regaddin_test_support.h"

namespace regtest {

std::vector<std::string> LinesWithoutBanner() {
    std::vector<std::string> lines;
    for (const std::string &line : CapturedLines()) {
        if (line != kBanner)
            lines.push_back(line);
    }
    return lines;
}

bool ReadValue(HKEY root, const std::string &key, const char *name, std::string *data,
               DWORD *type) {
    HKEY handle;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS)
        return false;
    DWORD size = 0;
    DWORD valueType = 0;
    LONG status = RegQueryValueExA(handle, name, nullptr, &valueType, nullptr, &size);
    std::string buffer(size, '\0');
    if (status == ERROR_SUCCESS && size > 0)
        status = RegQueryValueExA(handle, name, nullptr, &valueType,
                                  reinterpret_cast<BYTE *>(&buffer[0]), &size);
    RegCloseKey(handle);
    if (status != ERROR_SUCCESS)
        return false;
    buffer.resize(size);
    if (data != nullptr)
        *data = buffer;
    if (type != nullptr)
        *type = valueType;
    return true;
}

bool WriteRawValue(HKEY root, const std::string &key, const char *name, const void *data,
                   DWORD size, DWORD type) {
    HKEY handle;
    if (RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle,
                        nullptr) != ERROR_SUCCESS)
        return false;
    const LONG status =
        RegSetValueExA(handle, name, 0, type, static_cast<const BYTE *>(data), size);
    RegCloseKey(handle);
    return status == ERROR_SUCCESS;
}

bool WriteValue(HKEY root, const std::string &key, const char *name, const std::string &data,
                DWORD type) {
    return WriteRawValue(root, key, name, data.c_str(), static_cast<DWORD>(data.size() + 1), type);
}

void DeleteKeyTree(HKEY root, const std::string &key) {
    HKEY handle;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_ALL_ACCESS, &handle) != ERROR_SUCCESS)
        return;
    char name[256];
    for (;;) {
        DWORD length = sizeof name;
        if (RegEnumKeyExA(handle, 0, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        DeleteKeyTree(root, key + "\\" + name);
    }
    RegCloseKey(handle);
    RegDeleteKeyA(root, key.c_str());
}

std::vector<std::string> ValueNames(HKEY root, const std::string &key) {
    std::vector<std::string> names;
    HKEY handle;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS)
        return names;
    char name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof name;
        if (RegEnumValueA(handle, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        names.push_back(name);
    }
    RegCloseKey(handle);
    return names;
}

std::string StandinPath() {
    return EnvPath("VNX_STANDIN");
}

std::string UniqueFolder(const std::string &base) {
    static int counter = 0;
    return base + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++counter);
}

ChildProcess::~ChildProcess() {
    if (process_ == nullptr)
        return;
    if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT)
        TerminateProcess(process_, 99);
    CloseHandle(process_);
}

bool ChildProcess::Start(const std::string &commandLine) {
    std::string writable = commandLine;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(nullptr, &writable[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info))
        return false;
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    return true;
}

int ChildProcess::WaitForExit(DWORD ms) {
    if (process_ == nullptr || WaitForSingleObject(process_, ms) != WAIT_OBJECT_0)
        return -1;
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    return static_cast<int>(code);
}

int CountWindows(const char *title) {
    int count = 0;
    HWND window = nullptr;
    while ((window = FindWindowExA(nullptr, window, "TarApplyWin", title)) != nullptr)
        ++count;
    return count;
}

bool StartStandin(ChildProcess *child, const std::string &args, int windowsBefore) {
    if (!child->Start("\"" + StandinPath() + "\" " + args))
        return false;
    for (int i = 0; i < 200; ++i) { // up to ten seconds
        if (CountWindows("tarveloapplywin") > windowsBefore)
            return true;
        if (WaitForSingleObject(child->Handle(), 50) == WAIT_OBJECT_0)
            return false;
    }
    return false;
}

} // namespace regtest
