// libFuzzer target: the installation list parser over arbitrary bytes. What it accepts names only
// paths inside the installation folder, and reads back the same after it is written again.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "archive/install_list.h"

namespace {

// A component of dots and blanks with two dots or more acts as ".." once Windows drops the
// trailing ones.
bool ActsAsParent(const std::string &component) {
    size_t dots = 0;
    for (char c : component) {
        if (c == '.')
            ++dots;
        else if (c != ' ')
            return false;
    }
    return dots >= 2;
}

bool StaysInside(const std::string &path) {
    if (path.empty() || path[0] == '\\' || path[0] == '/' || path.find(':') != std::string::npos ||
        path.find('\0') != std::string::npos)
        return false;
    size_t start = 0;
    for (;;) {
        const size_t end = path.find_first_of("\\/", start);
        if (ActsAsParent(path.substr(start, end == std::string::npos ? end : end - start)))
            return false;
        if (end == std::string::npos)
            return true;
        start = end + 1;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // An exact-size heap copy: any read past the end is caught.
    const std::vector<char> text(data, data + size);
    payload::InstallList list;
    std::string error;
    if (!payload::ParseInstallList(text.empty() ? nullptr : text.data(), text.size(), &list,
                                   &error)) {
        if (error.empty())
            __builtin_trap(); // a refusal always says why
        return 0;
    }
    for (const payload::InstallListEntry &entry : list.entries) {
        if (!StaysInside(entry.path) || (entry.isFolder && entry.size != -1) || entry.size < -1 ||
            entry.size > INT32_MAX || (entry.size >= 0) != (entry.sha256.size() == 64))
            __builtin_trap();
    }
    const std::string again = payload::FormatInstallList(list);
    payload::InstallList back;
    if (!payload::ParseInstallList(again.data(), again.size(), &back, &error) ||
        back.entries.size() != list.entries.size())
        __builtin_trap();
    for (size_t i = 0; i < list.entries.size(); ++i) {
        if (back.entries[i].isFolder != list.entries[i].isFolder ||
            back.entries[i].path != list.entries[i].path ||
            back.entries[i].size != list.entries[i].size ||
            back.entries[i].sha256 != list.entries[i].sha256)
            __builtin_trap();
    }
    return 0;
}
