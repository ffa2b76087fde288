#include "regaddin/string_rules.h"

#include <cstring>
#include <memory>
#include <new>
#include <string>

int FindNoCase(const char *text, const char *pattern) {
    if (text == nullptr || pattern == nullptr || *text == '\0' || *pattern == '\0')
        return -1;
    const std::size_t textLen = std::strlen(text);
    const std::size_t patLen = std::strlen(pattern);
    if (textLen < patLen)
        return -1;
    // One allocation holds both upper-cased copies, each with its NUL.
    std::unique_ptr<char[]> copies(new (std::nothrow) char[textLen + patLen + 2]);
    if (!copies)
        return -1;
    char *upperText = copies.get();
    char *upperPattern = upperText + textLen + 1;
    std::memcpy(upperText, text, textLen + 1);
    std::memcpy(upperPattern, pattern, patLen + 1);
    UpperCaseInPlace(upperText, textLen);
    UpperCaseInPlace(upperPattern, patLen);
    const char *found = std::strstr(upperText, upperPattern);
    return found != nullptr ? static_cast<int>(found - upperText) : -1;
}

bool EqualsNoCase(const std::string &a, const std::string &b) {
    if (a.size() != b.size())
        return false;
    if (a.empty())
        return true;
    std::string ua = a, ub = b;
    UpperCaseInPlace(&ua[0], ua.size());
    UpperCaseInPlace(&ub[0], ub.size());
    return ua == ub;
}

int StartsWith(const char *text, const char *prefix) {
    if (prefix == nullptr)
        return 1;
    if (text == nullptr)
        return 0;
    const std::size_t prefixLen = std::strlen(prefix);
    if (prefixLen > std::strlen(text))
        return 0;
    return std::strncmp(text, prefix, prefixLen) == 0 ? 1 : 0;
}

namespace {

// An occurrence counts on its left when it starts an entry: at the start of the value, after a
// ";", or after a double quote that itself starts an entry.
bool StartsEntry(const char *value, std::size_t pos) {
    if (pos == 0 || value[pos - 1] == ';')
        return true;
    return value[pos - 1] == '"' && (pos == 1 || value[pos - 2] == ';');
}

// An occurrence counts on its right when, after at most one backslash or "/", the entry ends:
// the end of the value, a ";", or a closing double quote followed by ";" or the end.
bool EndsEntry(const char *rest) {
    if (*rest == '\\' || *rest == '/')
        ++rest;
    if (*rest == '\0' || *rest == ';')
        return true;
    return *rest == '"' && (rest[1] == '\0' || rest[1] == ';');
}

} // namespace

int PathListContains(const char *pathValue, const char *folder) {
    if (pathValue == nullptr || folder == nullptr || *pathValue == '\0' || *folder == '\0')
        return 0;
    const std::size_t folderLen = std::strlen(folder);
    std::size_t from = 0;
    for (;;) {
        const int found = FindNoCase(pathValue + from, folder);
        if (found < 0)
            return 0;
        const std::size_t pos = from + static_cast<std::size_t>(found);
        if (StartsEntry(pathValue, pos) && EndsEntry(pathValue + pos + folderLen))
            return 1;
        from = pos + 1;
    }
}

int ComposePathWithDir(const char *oldValue, const char *folder, char *out, std::size_t capacity) {
    if (out != nullptr && capacity > 0)
        out[0] = '\0';
    if (oldValue == nullptr || folder == nullptr || out == nullptr)
        return 0;
    std::string value = oldValue;
    if (!value.empty() && value.back() != ';')
        value += ';';
    if (std::strchr(folder, ' ') != nullptr)
        value.append("\"").append(folder).append("\"");
    else
        value += folder;
    value += ';';
    if (value.size() + 1 > capacity)
        return 0;
    std::memcpy(out, value.c_str(), value.size() + 1);
    return 1;
}
