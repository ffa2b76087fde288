#include "tests/support/win_files.h"

#include "tests/support/text_files.h"

bool PathExists(const std::string &path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsFolder(const std::string &path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool WriteFileText(const std::string &path, const std::string &text) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const BOOL ok =
        WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == text.size();
}

int RunProgram(const std::string &commandLine, const std::string &outputFile, std::string *output,
               DWORD timeoutMs) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    HANDLE out = INVALID_HANDLE_VALUE;
    if (!outputFile.empty()) {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        out = CreateFileA(outputFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                          &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (out == INVALID_HANDLE_VALUE)
            return -1;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = out;
        startup.hStdError = out;
    }
    PROCESS_INFORMATION process{};
    std::string line = commandLine; // CreateProcessA may write into the command line
    const BOOL started =
        CreateProcessA(nullptr, &line[0], nullptr, nullptr, out != INVALID_HANDLE_VALUE, 0, nullptr,
                       nullptr, &startup, &process);
    if (out != INVALID_HANDLE_VALUE)
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
        *output = ReadFileText(outputFile);
    return int(code);
}

REGSAM RegistryViewOf(const std::string &programPath) {
    HANDLE file = CreateFileA(programPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    IMAGE_DOS_HEADER dos = {};
    IMAGE_FILE_HEADER header = {};
    DWORD signature = 0, got = 0;
    bool ok = ReadFile(file, &dos, sizeof dos, &got, nullptr) && got == sizeof dos &&
              dos.e_magic == IMAGE_DOS_SIGNATURE &&
              SetFilePointer(file, dos.e_lfanew, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
              ReadFile(file, &signature, sizeof signature, &got, nullptr) &&
              got == sizeof signature && signature == IMAGE_NT_SIGNATURE &&
              ReadFile(file, &header, sizeof header, &got, nullptr) && got == sizeof header;
    CloseHandle(file);
    if (!ok)
        return 0;
    if (header.Machine == IMAGE_FILE_MACHINE_I386)
        return KEY_WOW64_32KEY;
    return header.Machine == IMAGE_FILE_MACHINE_AMD64 ? KEY_WOW64_64KEY : 0;
}
