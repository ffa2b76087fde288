// The run's one InstallerState and its string access.
#include "app/installer_state.h"

#include "archive/install_log.h"

InstallerState g_state;

const char *InstallerState::ProductString(int id) const {
    return (id >= 0 && id < kStringCount) ? strings[id] : "";
}

const char *InstallerState::LoadResString(int id, char *buffer, int size) const {
    if (LoadStringA(instance, id, buffer, size) <= 0)
        buffer[0] = '\0';
    return buffer;
}

void InstallerState::LogKeyValue(const char *key, const char *value) const {
    if (log)
        log->WriteKeyValue(key, value);
}
