#include "regaddin/string_rules.h"

#include <cstring>
#include <string>

unsigned char UpperCp1252(unsigned char c) {
    if (c >= 'a' && c <= 'z')
        return static_cast<unsigned char>(c - 0x20);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) // a-grave .. thorn, but the division sign
        return static_cast<unsigned char>(c - 0x20);
    switch (c) {
    case 0x9A: // s caron
    case 0x9C: // oe ligature
    case 0x9E: // z caron
        return static_cast<unsigned char>(c - 0x10);
    case 0xFF: // y diaeresis
        return 0x9F;
    default:
        return c;
    }
}

int FindNoCase(const char *text, const char *pattern) {
    if (text == nullptr || pattern == nullptr || *text == '\0' || *pattern == '\0')
        return -1;
    const std::size_t textLen = std::strlen(text);
    const std::size_t patLen = std::strlen(pattern);
    if (textLen < patLen)
        return -1;
    for (std::size_t start = 0; start + patLen <= textLen; ++start) {
        std::size_t i = 0;
        while (i < patLen && UpperCp1252(static_cast<unsigned char>(text[start + i])) ==
                                 UpperCp1252(static_cast<unsigned char>(pattern[i])))
            ++i;
        if (i == patLen)
            return static_cast<int>(start);
    }
    return -1;
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
