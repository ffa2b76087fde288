// Small registry helpers shared by the library's parts.
#pragma once
#include <windows.h>

#include <cstddef>

// Reads value `name` of `key` as text into `buffer` (`capacity` bytes), without checking its
// type. On ERROR_SUCCESS the buffer holds a NUL-terminated text, also when the stored data lacks
// its terminator; `bytesRead` (optional) receives the data length. Data that does not fit, with
// its NUL, gives ERROR_MORE_DATA; on every failure the buffer is left empty.
LONG QueryRegistryText(HKEY key, const char *name, char *buffer, DWORD capacity,
                       DWORD *bytesRead = nullptr);

// Stores `text` as a value of type `type` (REG_SZ or REG_EXPAND_SZ), its NUL counted.
LONG SetRegistryText(HKEY key, const char *name, const char *text, DWORD type = REG_SZ);

// Formats `format` with one text argument into `out`; false (and `out` empty) when the argument
// is null or empty (which would name the parent key itself) or the result does not fit in
// `capacity` bytes.
bool FormatKeyPath(char *out, std::size_t capacity, const char *format, const char *name);

// Closes a registry key when the owning scope ends.
class RegKey {
public:
    RegKey() = default;
    RegKey(const RegKey &) = delete;
    RegKey &operator=(const RegKey &) = delete;
    ~RegKey() { Close(); }

    HKEY *Receive() { return &key_; }
    HKEY Get() const { return key_; }
    bool IsOpen() const { return key_ != nullptr; }
    // Closes the key now; returns the status of RegCloseKey (ERROR_SUCCESS when none was open).
    LONG Close() {
        LONG status = ERROR_SUCCESS;
        if (key_ != nullptr)
            status = RegCloseKey(key_);
        key_ = nullptr;
        return status;
    }

private:
    HKEY key_ = nullptr;
};

// Opens `path` under HKEY_LOCAL_MACHINE with set-value access or, when that fails, creates it
// (non-volatile, full access, default security). True when `key` is open afterwards.
bool OpenOrCreateMachineKey(const char *path, RegKey *key);
