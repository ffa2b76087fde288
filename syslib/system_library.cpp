#include "syslib/system_library.h"

#include <cstring>

namespace syslib {

namespace {

// Loaded at start-up and kept (RestrictLibrarySearch).
constexpr const char *kKeptLibraries[] = {"uxtheme.dll", "msimg32.dll"};

// Both came with the same update; where the function is missing, so is the flag
// LOAD_LIBRARY_SEARCH_SYSTEM32.
using SetDefaultDllDirectoriesFn = BOOL(WINAPI *)(DWORD);

SetDefaultDllDirectoriesFn FindSetDefaultDllDirectories() {
    return Function<SetDefaultDllDirectoriesFn>(GetModuleHandleA("kernel32.dll"),
                                                "SetDefaultDllDirectories");
}

} // namespace

bool RestrictLibrarySearch() {
    const SetDefaultDllDirectoriesFn setDefault = FindSetDefaultDllDirectories();
    const bool restricted = setDefault && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!restricted)
        SetDllDirectoryA("");
    // Never released: the process keeps them, so that later loads by name find these.
    for (const char *name : kKeptLibraries)
        LoadSystemLibrary(name);
    return restricted;
}

bool EnterSystemFolder() {
    char folder[MAX_PATH];
    const UINT length = GetSystemDirectoryA(folder, sizeof(folder));
    return length > 0 && length < sizeof(folder) && SetCurrentDirectoryA(folder);
}

HMODULE LoadSystemLibrary(const char *name) {
    if (FindSetDefaultDllDirectories())
        return LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    // The full path; the altered search order looks for the library's own dependencies in its
    // folder (the system folder) before the program's.
    char path[MAX_PATH];
    const UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length + 1 + std::strlen(name) >= sizeof(path))
        return nullptr;
    path[length] = '\\';
    std::strcpy(path + length + 1, name);
    return LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

} // namespace syslib
