// The list of what an installation puts on disk: the payload's folders and files, relative to
// the installation folder, in archive order. The payload builder writes it from the same scan
// that makes the payload, the build embeds it in the uninstaller, and the uninstaller removes
// exactly what it names.
//
// Text, one entry a line ("\n"), names in code page 1252 with backslashes:
//
//   VNXLIST 1
//   D<TAB>folder            a folder below the installation folder (the root is not listed)
//   F<TAB>size<TAB>path     a file; size in bytes, or "-" for a file the build makes itself
//
// Folders come before what they hold.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace payload {

// Where the uninstaller carries the list: a resource of this named type with this id.
constexpr const char *kInstallListResourceType = "INSTALLLIST";
constexpr uint16_t kInstallListResourceId = 1;

struct InstallListEntry {
    bool isFolder = false;
    std::string path;  // relative, code page 1252, backslashes, never empty
    int64_t size = -1; // files: bytes, or -1 when the build makes the file itself
};

struct InstallList {
    std::vector<InstallListEntry> entries;
};

std::string FormatInstallList(const InstallList &list);

// Parses `size` bytes of list text. False, with the reason and the line in `*error`, for anything
// that is not a list: a wrong first line, an unknown kind, a bad size, and any path that could
// lead outside the installation folder (empty, absolute, a drive, a ".." component), longer than
// the archive allows, or named twice.
bool ParseInstallList(const char *data, size_t size, InstallList *list, std::string *error);

} // namespace payload
