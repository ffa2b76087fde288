// Who may change the folders the elevated programs make or take: a standard user of the machine
// must not be able to replace what an administrator later runs, nor swap a folder for a link.
// Windows only.
#pragma once
#include <windows.h>

#include <string>

#include "regaddin/folder_rules.h"

namespace folders {

enum class FolderAccess {
    // The protected DACL Program Files gives its children: SYSTEM, Administrators and
    // TrustedInstaller change it, Users read it and run what it holds. No CREATOR OWNER rights.
    Installation,
    // SYSTEM and Administrators alone (the uninstaller's working folder).
    AdministratorsOnly,
};

// A security descriptor whose protected DACL (inherited by everything made inside) is that of
// `access`. Create, use (CreateDirectory's attributes, or ApplyTo a folder found), release.
class FolderSecurity {
public:
    explicit FolderSecurity(FolderAccess access);
    ~FolderSecurity();
    FolderSecurity(const FolderSecurity &) = delete;
    FolderSecurity &operator=(const FolderSecurity &) = delete;

    bool Valid() const { return descriptor_ != nullptr; }
    PSECURITY_DESCRIPTOR Descriptor() const { return descriptor_; }
    // For CreateDirectoryA; null when the descriptor could not be made.
    SECURITY_ATTRIBUTES *Attributes() { return Valid() ? &attributes_ : nullptr; }
    // Sets the DACL on the open folder `folder` (opened with WRITE_DAC). What the folder holds
    // already keeps its own: nothing is passed down.
    bool ApplyTo(HANDLE folder) const;

private:
    PSECURITY_DESCRIPTOR descriptor_ = nullptr;
    SECURITY_ATTRIBUTES attributes_ = {};
};

// Whether `path` names a reparse point (a junction, a symbolic link, a mount point).
bool IsReparsePoint(const std::string &path);

// RefuseLinks (regaddin/folder_rules.h) against this machine's file system.
LinkRefusal RefuseLinksHere(const std::string &folder, std::string *part = nullptr);

// Gives the existing folder `folder` the access of `access`, through a handle that does not
// follow a link: a folder that is one is refused (ERROR_REPARSE_ATTRIBUTE_CONFLICT). False, with
// the system's error in `*error`, when it was not done.
bool ProtectFolder(const std::string &folder, FolderAccess access, unsigned long *error);

} // namespace folders
