#include "regaddin/registry_text.h"

#include <cstdio>
#include <cstring>

LONG QueryRegistryText(HKEY key, const char *name, char *buffer, DWORD capacity, DWORD *bytesRead) {
    if (bytesRead != nullptr)
        *bytesRead = 0;
    if (buffer == nullptr || capacity == 0)
        return ERROR_INVALID_PARAMETER;
    DWORD size = capacity;
    const LONG status =
        RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE *>(buffer), &size);
    if (status != ERROR_SUCCESS) {
        buffer[0] = '\0';
        return status;
    }
    if (bytesRead != nullptr)
        *bytesRead = size;
    if (size == 0) {
        buffer[0] = '\0';
    } else if (buffer[size - 1] != '\0') {
        // Stored without its terminator: add one if there is room, else it does not fit.
        if (size >= capacity) {
            buffer[0] = '\0';
            return ERROR_MORE_DATA;
        }
        buffer[size] = '\0';
    }
    return ERROR_SUCCESS;
}

LONG SetRegistryText(HKEY key, const char *name, const char *text, DWORD type) {
    const DWORD length = static_cast<DWORD>(std::strlen(text) + 1);
    return RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE *>(text), length);
}

bool FormatKeyPath(char *out, std::size_t capacity, const char *format, const char *name) {
    out[0] = '\0';
    if (name == nullptr || name[0] == '\0')
        return false;
    const int written = std::snprintf(out, capacity, format, name);
    if (written < 0 || static_cast<std::size_t>(written) >= capacity) {
        out[0] = '\0';
        return false;
    }
    return true;
}

bool OpenOrCreateMachineKey(const char *path, RegKey *key) {
    return RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_SET_VALUE, key->Receive()) ==
               ERROR_SUCCESS ||
           RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                           KEY_ALL_ACCESS, nullptr, key->Receive(), nullptr) == ERROR_SUCCESS;
}
