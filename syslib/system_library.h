// Libraries of Windows itself, loaded from the system folder only. The installer runs elevated
// from a downloads folder, where any web page can leave a file named like a system library:
// Windows searches the program's own folder first for every library that is not one of its
// KnownDLLs, for the libraries a program imports and for those it or the system loads later.
// Windows only.
#pragma once
#include <windows.h>

namespace syslib {

// Takes the program's folder and the current folder out of the search for every library the
// process loads from now on, the system's own loads included: the system folder alone is
// searched. The first call of each entry point, before anything can load a library. Where
// SetDefaultDllDirectories is missing (Windows 7 without its update KB2533623), it takes out
// the current folder at least; returns false then.
//
// It also loads from the system folder, for the life of the process, the libraries that the
// common controls load later by their bare names once the first themed window is made (their
// theming, "uxtheme.dll", and its drawing, "msimg32.dll"): a library already loaded is found by
// its name before any folder is searched, and not every search of those later loads follows
// SetDefaultDllDirectories (Windows without the update; Wine's delay-loads, which look in the
// program's folder first).
bool RestrictLibrarySearch();

// Makes the system folder the current folder, so that nothing the program or what it starts
// looks for by a relative name is found in the folder it was started from (a downloads folder).
// False when it could not.
bool EnterSystemFolder();

// `name` (a bare file name such as "msimg32.dll") from the system folder, its own dependencies
// from there too; null when it is not there. Release it with FreeLibrary.
HMODULE LoadSystemLibrary(const char *name);

// The function `name` of `library` as a pointer of type F; null when either is missing.
template <typename F> F Function(HMODULE library, const char *name) {
    return library ? reinterpret_cast<F>(reinterpret_cast<void *>(GetProcAddress(library, name)))
                   : nullptr;
}

} // namespace syslib
