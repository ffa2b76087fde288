// The Control Panel uninstall entry of the product.
#pragma once

// Writes the entry (the key <keyName> under HKEY_LOCAL_MACHINE's list of uninstallable
// programs) when `folder` is not null, removes it when `folder` is null. Logs each failure; true
// when every step succeeded.
bool WriteUninstallEntry(const char *displayName, const char *keyName, const char *folder);
