// Small Win32 file helpers shared by the archive tests that run under Wine.
#pragma once
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "archive/payload_format.h"

namespace winfiles {

// The test's private scratch folder as Windows sees it (Z:\...), or the current folder.
inline std::string WorkDir() {
    const char *dir = std::getenv("VNX_TEST_WORKDIR");
    if (dir == nullptr || dir[0] == '\0')
        return ".";
    std::string path = dir;
    if (path[0] != '/')
        return path;
    for (char &c : path)
        if (c == '/')
            c = '\\';
    return "Z:" + path;
}

inline bool Exists(const std::string &path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

inline bool IsFolder(const std::string &path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

inline std::string ReadAll(const std::string &path) {
    std::string data;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return "<missing>";
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
        data.append(buffer, got);
    CloseHandle(file);
    return data;
}

inline bool WriteAll(const std::string &path, const std::string &data) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, data.data(), DWORD(data.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == data.size();
}

struct Times {
    uint64_t creation = 0, access = 0, write = 0;
};

inline uint64_t ToU64(const FILETIME &t) {
    return uint64_t(t.dwHighDateTime) << 32 | t.dwLowDateTime;
}

inline bool GetTimes(const std::string &path, Times *times) {
    HANDLE file = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    FILETIME c, a, w;
    const BOOL ok = GetFileTime(file, &c, &a, &w);
    CloseHandle(file);
    *times = {ToU64(c), ToU64(a), ToU64(w)};
    return ok != 0;
}

inline bool SetTimes(const std::string &path, uint64_t value) {
    HANDLE file =
        CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    FILETIME t{DWORD(value), DWORD(value >> 32)};
    const BOOL ok = SetFileTime(file, &t, &t, &t);
    CloseHandle(file);
    return ok != 0;
}

// Runs a command line to its end with its output (stdout and stderr) in `*output`. Returns the
// exit code, or -1 when the program could not be started or did not end within `timeoutMs`.
inline int RunProgram(const std::string &commandLine, const std::string &outputFile,
                      std::string *output, DWORD timeoutMs = 120000) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE out = CreateFileA(outputFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE)
        return -1;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = out;
    PROCESS_INFORMATION process{};
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    const BOOL started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        nullptr, &startup, &process);
    CloseHandle(out);
    if (!started)
        return -1;
    DWORD code = DWORD(-1);
    if (WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &code);
    else
        TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (output != nullptr)
        *output = ReadAll(outputFile);
    return int(code);
}

} // namespace winfiles
