// Helpers for the registration library's Windows tests: the captured log without its banner,
// registry access to check what the library stored, and the runtime stand-in.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "tests/support/environment.h"
#include "tests/support/log_capture.h"
#include "tests/support/registry.h"
#include "tests/support/win_files.h"

namespace regtest {

const char kBanner[] = "--- RegAddin.lib (1.10) ---";

// The captured lines (CaptureLine) without the banner, which goes out once per process (checked
// on its own).
std::vector<std::string> LinesWithoutBanner();

// Registry access under `root` (KeyExists: tests/support/registry.h). ReadValue: false when the key
// or value is missing.
bool ReadValue(HKEY root, const std::string &key, const char *name, std::string *data,
               DWORD *type = nullptr);
bool WriteValue(HKEY root, const std::string &key, const char *name, const std::string &data,
                DWORD type = REG_SZ);
bool WriteRawValue(HKEY root, const std::string &key, const char *name, const void *data,
                   DWORD size, DWORD type = REG_SZ);
void DeleteKeyTree(HKEY root, const std::string &key);
std::vector<std::string> ValueNames(HKEY root, const std::string &key);

// Path of the runtime stand-in program (Windows form), from VNX_STANDIN.
std::string StandinPath();

// `base` followed by a number not used before in this process.
std::string UniqueFolder(const std::string &base);

// A started program, terminated when the test lets go of it if it is still running.
class ChildProcess {
public:
    ChildProcess() = default;
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;
    ~ChildProcess();
    bool Start(const std::string &commandLine);
    // Waits up to `ms` for the program to end; its exit code, or -1 if it did not end.
    int WaitForExit(DWORD ms);
    HANDLE Handle() const { return process_; }

private:
    HANDLE process_ = nullptr;
};

// Starts the stand-in with `args` and waits (bounded) until one more runtime window exists than
// `windowsBefore`. False if it did not appear.
bool StartStandin(ChildProcess *child, const std::string &args, int windowsBefore);
// Number of top-level windows of class "TarApplyWin" with the given title.
int CountWindows(const char *title);

} // namespace regtest
