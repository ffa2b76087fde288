// Takes the address of every function the installer exports by name. Compiled for a Microsoft
// target, the object then lists, as undefined symbols, the decorated names that a caller built
// with a Microsoft compiler from these declarations links against (check_msvc_names.cmake).
#include "decompress/decompress.h"
#include "regaddin/regaddin.h"

extern void *const kExported[];
void *const kExported[] = {
    reinterpret_cast<void *>(&RegAddin_Install),
    reinterpret_cast<void *>(&RegAddin_Uninstall),
    reinterpret_cast<void *>(&RegAddin_RegisterUninstall),
    reinterpret_cast<void *>(&RegAddin_GetInstallInfo),
    reinterpret_cast<void *>(&RegAddin_SetInstallInfo),
    reinterpret_cast<void *>(&RegAddin_RemoveInstallInfo),
    reinterpret_cast<void *>(&RegAddin_GetAppDataFolder),
    reinterpret_cast<void *>(&RegAddin_IsDirOnPath),
    reinterpret_cast<void *>(&RegAddin_MakeDir),
    reinterpret_cast<void *>(&RegAddin_CloseTarveloProc),
    reinterpret_cast<void *>(&RegAddin_Detect),
    reinterpret_cast<void *>(&RegAddin_StartProcessAndWait),
    reinterpret_cast<void *>(&Decompress),
};
