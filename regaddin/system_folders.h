// The system's own folders, as this machine names them: Windows, the system folders, Program Files
// (each of them, the 64-bit one for a 32-bit program too), the common files, the user's profile,
// application data (roaming, local and common), the desktop, documents (the user's and the common
// ones), the start menus and the temporary folder.
// No product lives in one of them or in a folder that holds one (regaddin/folder_rules.h).
#pragma once
#include <string>
#include <vector>

#include "regaddin/folder_rules.h"

namespace folders {

// Each normalized; the folders the system does not name here are left out.
std::vector<std::string> SystemFolders();

// RefuseFolder (regaddin/folder_rules.h) against this machine's system folders, judging not only
// the text of the normalized `folder` but also what it names: the long form of its deepest
// existing part ("C:\PROGRA~1" is Program Files) and the folder that part leads to through links
// and junctions ("C:\Documents and Settings\<user>" is the profile). The one rule of the
// installer and the uninstaller.
FolderRefusal RefuseFolderHere(const std::string &folder, std::string *system = nullptr);

} // namespace folders
