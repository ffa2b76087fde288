#include "regaddin/folder_rules.h"

#include <algorithm>

#include "product/path_limits.h"
#include "regaddin/string_rules.h"

namespace folders {

std::string NormalizeFolder(const std::string &folder) {
    std::string normal = folder;
    std::replace(normal.begin(), normal.end(), '/', '\\');
    while (normal.size() > 3 && normal.back() == '\\')
        normal.pop_back();
    return normal;
}

bool IsPlainDriveFolder(const std::string &folder) {
    if (folder.size() < 3 || folder.size() > product::kMaxFilePathLength)
        return false;
    const char drive = static_cast<char>(folder[0] & ~0x20);
    if (drive < 'A' || drive > 'Z' || folder[1] != ':' || folder[2] != '\\')
        return false;
    if (folder.find_first_of("*?\"<>|", 0) != std::string::npos ||
        folder.find(':', 2) != std::string::npos)
        return false;
    // Every component named: no "." or "..", no empty one ("C:\a\\b").
    size_t start = 3;
    while (start < folder.size()) {
        size_t end = folder.find('\\', start);
        if (end == std::string::npos)
            end = folder.size();
        const std::string part = folder.substr(start, end - start);
        if (part.empty() || part == "." || part == "..")
            return false;
        // Windows drops a dot or a blank at the end of a name in some calls and not in others:
        // "C:\Program Files \X" would make a new folder beside Program Files, one that every
        // user may change.
        if (part.back() == '.' || part.back() == ' ')
            return false;
        start = end + 1;
    }
    return true;
}

bool SameFolder(const std::string &a, const std::string &b) {
    return EqualsNoCase(NormalizeFolder(a), NormalizeFolder(b));
}

bool InsideOrSame(const std::string &inner, const std::string &outer) {
    const std::string in = NormalizeFolder(inner);
    std::string out = NormalizeFolder(outer);
    if (out.empty())
        return false;
    if (EqualsNoCase(in, out))
        return true;
    if (out.back() != '\\')
        out += '\\';
    return in.size() > out.size() && EqualsNoCase(in.substr(0, out.size()), out);
}

FolderRefusal RefuseFolder(const std::string &folder, const std::vector<std::string> &systemFolders,
                           std::string *system) {
    if (!IsPlainDriveFolder(folder))
        return FolderRefusal::NotFullPath;
    if (folder.size() <= 3)
        return FolderRefusal::DriveRoot;
    for (const std::string &s : systemFolders) {
        if (InsideOrSame(s, folder)) {
            if (system)
                *system = s;
            return FolderRefusal::SystemFolder;
        }
    }
    return FolderRefusal::None;
}

LinkRefusal RefuseLinks(const std::string &folder,
                        const std::function<PathPart(const std::string &path)> &probe,
                        std::string *part) {
    if (!IsPlainDriveFolder(folder) || folder.size() <= 3)
        return LinkRefusal::None; // the other rules refuse these
    for (size_t end = folder.find('\\', 3);; end = folder.find('\\', end + 1)) {
        const bool last = end == std::string::npos;
        const std::string path = last ? folder : folder.substr(0, end);
        const PathPart found = probe(path);
        if (!found.exists)
            return LinkRefusal::None; // what is made below it is made by the installer
        if (found.isLink && (last || !found.ownedBySystem)) {
            if (part)
                *part = path;
            return last ? LinkRefusal::IsLink : LinkRefusal::BelowUsersLink;
        }
        if (last)
            return LinkRefusal::None;
    }
}

} // namespace folders
