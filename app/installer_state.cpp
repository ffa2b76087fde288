// The run's one InstallerState and its string access.
#include "app/installer_state.h"

InstallerState g_state;

const char *InstallerState::ProductString(int id) const {
    return (id >= 0 && id < kStringCount) ? strings[id] : "";
}

const char *InstallerState::LoadResString(int id, char *buffer, int size) const {
    if (LoadStringA(instance, id, buffer, size) <= 0)
        buffer[0] = '\0';
    return buffer;
}
