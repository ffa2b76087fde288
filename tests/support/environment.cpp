#include "tests/support/environment.h"

#include <cstdlib>

std::string Env(const char *name) {
    const char *value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::string WindowsPath(const std::string &linuxPath) {
    std::string path = "Z:" + linuxPath;
    for (char &c : path) {
        if (c == '/')
            c = '\\';
    }
    return path;
}

std::string EnvPath(const char *name) {
    const std::string value = Env(name);
    return value.empty() ? value : WindowsPath(value);
}

std::string WorkDir() {
    const std::string dir = Env("VNX_TEST_WORKDIR");
    if (dir.empty())
        return ".";
    return dir[0] == '/' ? WindowsPath(dir) : dir;
}

std::string WorkPath(const std::string &name) {
    return WorkDir() + "\\" + name;
}
