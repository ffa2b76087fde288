// The list of what an installation puts on disk: the payload's folders and files, relative to
// the installation folder, in archive order. The payload builder writes it from the same scan
// that makes the payload, the build embeds it in the uninstaller, and the uninstaller removes
// exactly what it names.
//
// Text, one entry a line ("\n"), names in code page 1252 with backslashes:
//
//   VNXLIST 2
//   D<TAB>folder                    a folder below the installation folder (the root is not
//                                   listed)
//   F<TAB>size<TAB>sha256<TAB>path  a file: its size in bytes and the SHA-256 of its contents
//                                   (64 lower-case hex digits), or "-" and "-" for a file the
//                                   build makes itself
//
// The uninstaller removes a file only while it still holds what was installed: one the user
// changed stays.
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
    std::string path;   // relative, code page 1252, backslashes, never empty
    int64_t size = -1;  // files: bytes, or -1 when the build makes the file itself
    std::string sha256; // files of known size: the contents' SHA-256 as lower-case hex
};

struct InstallList {
    std::vector<InstallListEntry> entries;
};

std::string FormatInstallList(const InstallList &list);

// Parses `size` bytes of list text. False, with the reason and the line in `*error`, for anything
// that is not a list: a wrong first line, an unknown kind, a bad size or SHA-256, and any path
// that could lead outside the installation folder (empty, absolute, a drive, a ".." component),
// longer than the archive allows, or named twice.
bool ParseInstallList(const char *data, size_t size, InstallList *list, std::string *error);

} // namespace payload
