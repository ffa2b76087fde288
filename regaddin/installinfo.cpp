// The record of the installation under the maker's key in HKEY_LOCAL_MACHINE. Logs nothing.
#include "product/names.h"
#include "regaddin/regaddin.h"
#include "regaddin/registry_text.h"

#include <cstring>

namespace {

// The field as a terminated text even if the caller left it without a NUL.
template <std::size_t N> struct FieldText {
    explicit FieldText(const char (&field)[N]) {
        std::memcpy(text, field, N);
        text[N] = '\0';
    }
    char text[N + 1];
};

} // namespace

int RegAddin_GetInstallInfo(char *productKey, installinfo_tag *info) {
    if (info == nullptr)
        return 0;
    info->installDir[0] = '\0';
    info->version[0] = '\0';
    info->build[0] = '\0';
    char keyPath[500];
    if (!FormatKeyPath(keyPath, sizeof keyPath, product::kInstallInfoKeyFormat, productKey))
        return 0;
    RegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_QUERY_VALUE, key.Receive()) !=
        ERROR_SUCCESS)
        return 0;
    // A missing value, or one too long for its field, leaves that field empty.
    QueryRegistryText(key.Get(), "Install", info->installDir, sizeof info->installDir);
    QueryRegistryText(key.Get(), "Version", info->version, sizeof info->version);
    QueryRegistryText(key.Get(), "Build", info->build, sizeof info->build);
    return 1;
}

int RegAddin_SetInstallInfo(char *productKey, installinfo_tag *info) {
    if (info == nullptr)
        return 0;
    char keyPath[500];
    if (!FormatKeyPath(keyPath, sizeof keyPath, product::kInstallInfoKeyFormat, productKey))
        return 0;
    RegKey key;
    if (!OpenOrCreateMachineKey(keyPath, &key))
        return 0;
    SetRegistryText(key.Get(), "Install",
                    FieldText<sizeof info->installDir>(info->installDir).text);
    SetRegistryText(key.Get(), "Version", FieldText<sizeof info->version>(info->version).text);
    SetRegistryText(key.Get(), "Build", FieldText<sizeof info->build>(info->build).text);
    return 1;
}

int RegAddin_RemoveInstallInfo(char *productKey) {
    char keyPath[500];
    if (!FormatKeyPath(keyPath, sizeof keyPath, product::kInstallInfoKeyFormat, productKey))
        return 0;
    RegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_SET_VALUE, key.Receive()) !=
        ERROR_SUCCESS)
        return 0;
    RegDeleteValueA(key.Get(), "Install");
    RegDeleteValueA(key.Get(), "Version");
    RegDeleteValueA(key.Get(), "Build");
    return RegDeleteKeyA(HKEY_LOCAL_MACHINE, keyPath) == ERROR_SUCCESS ? 1 : 0;
}
