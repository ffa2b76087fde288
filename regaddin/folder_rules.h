// Which folders a product may be installed into and removed from, decided the same way by the
// installer's folder dialog and by the uninstaller: a full drive path, not a drive root, and not a
// folder that is or holds one of the system's folders. Folder names are compared as Windows
// compares them. Plain computation, unit-tested natively; the list of system folders comes from
// the system (regaddin/system_folders.h).
#pragma once
#include <functional>
#include <string>
#include <vector>

namespace folders {

// The folder with '/' as '\' and without trailing separators, the drive root keeping its own
// ("C:\"). Empty for an empty text.
std::string NormalizeFolder(const std::string &folder);

// True when `folder` is a full path a drive letter starts ("C:\..."), free of wildcards, of "."
// or ".." components and of names that end in a dot or a blank, shorter than the system's path
// limit.
bool IsPlainDriveFolder(const std::string &folder);

// Whether two normalized folders name the same folder, or whether `inner` lies inside `outer`
// (or is it), letter case ignored as the system ignores it.
bool SameFolder(const std::string &a, const std::string &b);
bool InsideOrSame(const std::string &inner, const std::string &outer);

enum class FolderRefusal {
    None,         // a folder of its own: the product may live there
    NotFullPath,  // not a plain full drive path (relative, a network path, "..", wildcards)
    DriveRoot,    // "C:\"
    SystemFolder, // one of `systemFolders`, or a folder that holds one
};

// Judges the normalized `folder`. For SystemFolder, `*system` (when given) names the system
// folder concerned.
FolderRefusal RefuseFolder(const std::string &folder, const std::vector<std::string> &systemFolders,
                           std::string *system = nullptr);

// What the file system says of one part of a path.
struct PathPart {
    bool exists = false;
    bool isLink = false;        // a reparse point: a junction, a symbolic link, a mount point
    bool ownedBySystem = false; // owned by SYSTEM, Administrators or TrustedInstaller
};

enum class LinkRefusal {
    None,
    IsLink,         // the folder itself is a link: what is written there lands elsewhere
    BelowUsersLink, // a part above it is a link that a user made, and may point elsewhere
};

// Walks the normalized `folder` from below its drive root down to itself, asking `probe` of each
// existing part. The folder may not be a link, and the parts above it may be only links of the
// system's own (such as "C:\Documents and Settings"). `*part`, when given, names the part
// concerned.
LinkRefusal RefuseLinks(const std::string &folder,
                        const std::function<PathPart(const std::string &path)> &probe,
                        std::string *part = nullptr);

} // namespace folders
