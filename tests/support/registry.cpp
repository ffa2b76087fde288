#include "tests/support/registry.h"

bool KeyExists(HKEY root, const std::string &key, REGSAM view) {
    HKEY handle = nullptr;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ | view, &handle) != ERROR_SUCCESS)
        return false;
    RegCloseKey(handle);
    return true;
}
