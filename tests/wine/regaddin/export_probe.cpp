// A small program linked like the installer: the registration library, the decoder and the
// module-definition file of its architecture. Run, it looks each decorated export name up in its
// own export table and checks that it leads to the function of that name; it exits 0 when all
// thirteen do.
#include "decompress/decompress.h"
#include "regaddin/regaddin.h"

#include <windows.h>

#include <cstdio>

namespace {

struct Export {
    const char *name;
    const void *function;
};

#define VNX_FN(f) reinterpret_cast<const void *>(&f)

#if defined(_WIN64)
const Export kExports[] = {
    {"?RegAddin_Install@@YAHHPEAD0P6AX0@Z@Z", VNX_FN(RegAddin_Install)},
    {"?RegAddin_Uninstall@@YAHHPEAD0P6AX0@Z@Z", VNX_FN(RegAddin_Uninstall)},
    {"?RegAddin_RegisterUninstall@@YAHPEAD00P6AX0@Z@Z", VNX_FN(RegAddin_RegisterUninstall)},
    {"?RegAddin_GetInstallInfo@@YAHPEADPEAUinstallinfo_tag@@@Z", VNX_FN(RegAddin_GetInstallInfo)},
    {"?RegAddin_SetInstallInfo@@YAHPEADPEAUinstallinfo_tag@@@Z", VNX_FN(RegAddin_SetInstallInfo)},
    {"?RegAddin_RemoveInstallInfo@@YAHPEAD@Z", VNX_FN(RegAddin_RemoveInstallInfo)},
    {"?RegAddin_GetAppDataFolder@@YAHPEAD@Z", VNX_FN(RegAddin_GetAppDataFolder)},
    {"?RegAddin_IsDirOnPath@@YAHPEAD@Z", VNX_FN(RegAddin_IsDirOnPath)},
    {"?RegAddin_MakeDir@@YAHPEAD@Z", VNX_FN(RegAddin_MakeDir)},
    {"?RegAddin_CloseTarveloProc@@YAHXZ", VNX_FN(RegAddin_CloseTarveloProc)},
    {"?RegAddin_Detect@@YAHXZ", VNX_FN(RegAddin_Detect)},
    {"?RegAddin_StartProcessAndWait@@YAHPEADPEAH@Z", VNX_FN(RegAddin_StartProcessAndWait)},
    {"?Decompress@@YAHPEAEPEAD@Z", VNX_FN(Decompress)},
};
#else
const Export kExports[] = {
    {"?RegAddin_Install@@YAHHPAD0P6AX0@Z@Z", VNX_FN(RegAddin_Install)},
    {"?RegAddin_Uninstall@@YAHHPAD0P6AX0@Z@Z", VNX_FN(RegAddin_Uninstall)},
    {"?RegAddin_RegisterUninstall@@YAHPAD00P6AX0@Z@Z", VNX_FN(RegAddin_RegisterUninstall)},
    {"?RegAddin_GetInstallInfo@@YAHPADPAUinstallinfo_tag@@@Z", VNX_FN(RegAddin_GetInstallInfo)},
    {"?RegAddin_SetInstallInfo@@YAHPADPAUinstallinfo_tag@@@Z", VNX_FN(RegAddin_SetInstallInfo)},
    {"?RegAddin_RemoveInstallInfo@@YAHPAD@Z", VNX_FN(RegAddin_RemoveInstallInfo)},
    {"?RegAddin_GetAppDataFolder@@YAHPAD@Z", VNX_FN(RegAddin_GetAppDataFolder)},
    {"?RegAddin_IsDirOnPath@@YAHPAD@Z", VNX_FN(RegAddin_IsDirOnPath)},
    {"?RegAddin_MakeDir@@YAHPAD@Z", VNX_FN(RegAddin_MakeDir)},
    {"?RegAddin_CloseTarveloProc@@YAHXZ", VNX_FN(RegAddin_CloseTarveloProc)},
    {"?RegAddin_Detect@@YAHXZ", VNX_FN(RegAddin_Detect)},
    {"?RegAddin_StartProcessAndWait@@YAHPADPAH@Z", VNX_FN(RegAddin_StartProcessAndWait)},
    {"?Decompress@@YAHPAEPAD@Z", VNX_FN(Decompress)},
};
#endif

} // namespace

int main() {
    HMODULE self = GetModuleHandleA(nullptr);
    int failures = 0;
    for (const Export &e : kExports) {
        const void *found = reinterpret_cast<const void *>(GetProcAddress(self, e.name));
        if (found != e.function) {
            std::printf("export %s: %s\n", e.name, found == nullptr ? "missing" : "wrong function");
            ++failures;
        }
    }
    // Called through its export, a function does its work.
    using DetectFn = int (*)();
    const auto detect = reinterpret_cast<DetectFn>(
        reinterpret_cast<void *>(GetProcAddress(self, "?RegAddin_Detect@@YAHXZ")));
    if (detect == nullptr || detect() != 0) {
        std::printf("RegAddin_Detect through its export did not answer 0\n");
        ++failures;
    }
    std::printf("%d of %d exports checked, %d failures\n",
                static_cast<int>(sizeof kExports / sizeof kExports[0]),
                static_cast<int>(sizeof kExports / sizeof kExports[0]), failures);
    return failures == 0 ? 0 : 1;
}
