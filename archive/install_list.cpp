#include "archive/install_list.h"

#include <cstdlib>
#include <set>

#include "archive/payload_archive.h"
#include "archive/payload_format.h"
#include "product/cp1252.h"

namespace payload {

namespace {

const char kFirstLine[] = "VNXLIST 2";

bool Fail(std::string *error, size_t line, const std::string &why) {
    *error = "line " + std::to_string(line) + ": " + why;
    return false;
}

// Splits one line at tabs.
std::vector<std::string> Fields(const std::string &line) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        const size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string::npos ? tab : tab - start));
        if (tab == std::string::npos)
            return fields;
        start = tab + 1;
    }
}

bool ParseSize(const std::string &text, int64_t *size) {
    if (text == "-") {
        *size = -1;
        return true;
    }
    if (text.empty() || text.size() > 10)
        return false;
    int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    *size = value;
    return value <= INT32_MAX;
}

// A SHA-256 as the list writes it: 64 lower-case hex digits.
bool IsDigestText(const std::string &text) {
    if (text.size() != 64)
        return false;
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

// The upper-case form under which Windows sees two names as one.
std::string FoldedPath(const std::string &path) {
    std::string folded = path;
    for (char &c : folded)
        c = static_cast<char>(cp1252::Cp1252Upper(static_cast<unsigned char>(c)));
    return folded;
}

} // namespace

std::string FormatInstallList(const InstallList &list) {
    std::string text = std::string(kFirstLine) + "\n";
    for (const InstallListEntry &e : list.entries) {
        if (e.isFolder)
            text += "D\t" + e.path + "\n";
        else if (e.size < 0)
            text += "F\t-\t-\t" + e.path + "\n";
        else
            text += "F\t" + std::to_string(e.size) + "\t" + e.sha256 + "\t" + e.path + "\n";
    }
    return text;
}

bool ParseInstallList(const char *data, size_t size, InstallList *list, std::string *error) {
    list->entries.clear();
    const std::string text(data != nullptr ? data : "", data != nullptr ? size : 0);
    std::set<std::string> seen;
    size_t start = 0;
    for (size_t number = 1; start < text.size(); ++number) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            return Fail(error, number, "the list does not end with a line break");
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        if (number == 1) {
            if (line != kFirstLine)
                return Fail(error, number, "not an installation list");
            continue;
        }
        const std::vector<std::string> fields = Fields(line);
        InstallListEntry entry;
        if (fields[0] == "D" && fields.size() == 2) {
            entry.isFolder = true;
            entry.path = fields[1];
        } else if (fields[0] == "F" && fields.size() == 4) {
            if (!ParseSize(fields[1], &entry.size))
                return Fail(error, number, "bad file size \"" + fields[1] + "\"");
            // A file the build makes has neither; every other file has both.
            if (entry.size < 0 ? fields[2] != "-" : !IsDigestText(fields[2]))
                return Fail(error, number, "bad SHA-256 \"" + fields[2] + "\"");
            if (entry.size >= 0)
                entry.sha256 = fields[2];
            entry.path = fields[3];
        } else {
            return Fail(error, number, "neither a folder nor a file entry");
        }
        if (entry.path.empty())
            return Fail(error, number, "empty path");
        if (entry.path.size() > kMaxNameLength * 2 + 1)
            return Fail(error, number, "path longer than the archive allows");
        if (const char *why = UnsafeNameReason(entry.path.c_str()))
            return Fail(error, number, why);
        if (entry.path.find('\0') != std::string::npos || entry.path.back() == '\\')
            return Fail(error, number, "malformed path");
        if (!seen.insert(FoldedPath(entry.path)).second)
            return Fail(error, number, "\"" + entry.path + "\" is listed twice");
        list->entries.push_back(entry);
    }
    if (text.empty())
        return Fail(error, 1, "not an installation list");
    return true;
}

} // namespace payload
