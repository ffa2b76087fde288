/* A library named like one of Windows' own, as a web page could leave it in a downloads folder
 * beside the installer. Its module-definition file (planted_def.py) exports every name of the
 * real library as the one function below. Once loaded into a process it leaves a marker file
 * beside itself, "<its path>.loaded": the planting test looks for those. */
#include <windows.h>

int PlantedExport(void) {
    return 0;
}

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        WCHAR path[MAX_PATH + 8];
        const DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
        if (length > 0 && length < MAX_PATH) {
            lstrcpyW(path + length, L".loaded");
            HANDLE marker = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
            if (marker != INVALID_HANDLE_VALUE)
                CloseHandle(marker);
        }
    }
    return TRUE;
}
