// A fresh folder under the system's temporary folder ($TMPDIR or /tmp) for one test, removed
// with all it holds when the test lets go of it. Portable code only (the native tests).
#pragma once
#include <stdlib.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

class TempDir {
public:
    // `prefix` names the folder, so that one left behind by a crash tells whose it was.
    explicit TempDir(const std::string &prefix = "vnx-test") {
        const std::string pattern =
            (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        if (mkdtemp(buffer.data()) == nullptr)
            throw std::runtime_error("cannot make a temporary folder from " + pattern);
        root_ = buffer.data();
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::filesystem::path &Root() const { return root_; }
    // `name` inside the folder.
    std::string Path(const std::string &name) const { return (root_ / name).string(); }

private:
    std::filesystem::path root_;
};
