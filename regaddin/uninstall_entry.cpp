#include "regaddin/uninstall_entry.h"

#include "product/names.h"
#include "regaddin/registry_text.h"
#include "reglog/log.h"

#include <cstdio>
#include <string>

namespace {

const char *const kValueNames[] = {"DisplayName", "UninstallString", "InstallLocation",
                                   "DisplayIcon"};

bool WriteEntry(const char *keyPath, const char *displayName, const char *folder) {
    LogMessage("Adding Control Panel uninstall entries");
    RegKey key;
    if (keyPath[0] == '\0' || !OpenOrCreateMachineKey(keyPath, &key)) {
        LogMessage("Failed to create key \"%s\"", keyPath);
        return false;
    }
    char name[100];
    std::snprintf(name, sizeof name, "%s", displayName != nullptr ? displayName : "");
    // Built without a fixed limit: two quoted folders of full path length do not fit in the
    // 500 bytes a formatted buffer would give, and a cut command line would be wrong.
    const std::string uninstaller = std::string(folder) + "\\" + product::kUninstallerName;
    const std::string uninstallString = "\"" + uninstaller + "\" \"" + folder + "\"";
    const std::string displayIcon = "\"" + uninstaller;
    const char *const data[] = {name, uninstallString.c_str(), folder, displayIcon.c_str()};
    for (int i = 0; i < 4; ++i) {
        if (SetRegistryText(key.Get(), kValueNames[i], data[i]) != ERROR_SUCCESS) {
            LogMessage("Failed to create value \"%s\"", kValueNames[i]);
            return false;
        }
    }
    return true;
}

bool RemoveEntry(const char *keyPath, const char *keyName) {
    LogMessage("Removing Control Panel uninstall entries");
    RegKey key;
    if (keyPath[0] == '\0' || RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_SET_VALUE,
                                            key.Receive()) != ERROR_SUCCESS) {
        // An empty key name must not be taken for the whole Uninstall key.
        char fullPath[600];
        std::snprintf(fullPath, sizeof fullPath, "HKEY_LOCAL_MACHINE\\%s",
                      keyPath[0] != '\0'   ? keyPath
                      : keyName != nullptr ? keyName
                                           : "");
        LogMessage("Could not open registry key (for remove) - \"%s\"", fullPath);
        return false;
    }
    bool ok = true;
    for (const char *valueName : kValueNames) {
        if (RegDeleteValueA(key.Get(), valueName) != ERROR_SUCCESS) {
            LogMessage("Could not delete registry value %s", valueName);
            ok = false;
        }
    }
    if (RegDeleteKeyA(HKEY_LOCAL_MACHINE, keyPath) != ERROR_SUCCESS) {
        LogMessage("Could not delete registry key %s", keyPath);
        ok = false;
    }
    return ok;
}

} // namespace

bool WriteUninstallEntry(const char *displayName, const char *keyName, const char *folder) {
    char keyPath[500];
    FormatKeyPath(keyPath, sizeof keyPath, product::kUninstallKeyFormat,
                  keyName); // empty when unusable
    if (folder != nullptr)
        return WriteEntry(keyPath, displayName, folder);
    return RemoveEntry(keyPath, keyName);
}
