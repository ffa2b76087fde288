// The add-in registration library: its entry points, records and result codes.
// Every entry point is also exported from the installer executable by name.
#pragma once

// Receives one log line at a time, without a line terminator. The text is the library's own
// buffer: the callee may read it during the call only.
typedef void (*RegAddinLogCallback)(char *line);

// The record of one installation in the registry. Each field is a NUL-terminated ANSI text.
struct installinfo_tag {
    char installDir[260];
    char version[30];
    char build[30];
};

// Result codes of RegAddin_Install, RegAddin_Uninstall and RegAddin_RegisterUninstall.
enum RegAddinResult {
    kRegAddinOk = 0,
    kRegAddinExcelNotStarted = 1,
    kRegAddinUnsupportedExcel = 2,
    kRegAddinNoWorkbooks = 3,
    kRegAddinWorkbookNotAdded = 4,
    kRegAddinAddinNotAdded = 5,
    kRegAddinPathNotUpdated = 6,
    kRegAddinEntriesNotRemoved = 7,
    // 8 is not used.
    kRegAddinNoFolder = 9,
    kRegAddinUninstallEntryFailed = 10,
    kRegAddinNoAddinFile = 11,
    kRegAddinExcelDidNotClose = 12,
};

// Flags of RegAddin_Install and RegAddin_Uninstall.
enum RegAddinFlags {
    kRegAddinKeepCom = 1,   // the caller owns COM initialisation on this thread
    kRegAddinAddToPath = 2, // install only: make sure the folder is in the system PATH
};

int RegAddin_Install(int flags, char *folder, char *addinFile, RegAddinLogCallback log);
int RegAddin_Uninstall(int flags, char *folder, char *addinFile, RegAddinLogCallback log);
int RegAddin_RegisterUninstall(char *displayName, char *keyName, char *folder,
                               RegAddinLogCallback log);
int RegAddin_GetInstallInfo(char *productKey, installinfo_tag *info);
int RegAddin_SetInstallInfo(char *productKey, installinfo_tag *info);
int RegAddin_RemoveInstallInfo(char *productKey);
int RegAddin_GetAppDataFolder(char *buffer);
int RegAddin_IsDirOnPath(char *folder);
int RegAddin_MakeDir(char *folder);
int RegAddin_CloseTarveloProc();
int RegAddin_Detect();
int RegAddin_StartProcessAndWait(char *commandLine, int *exitCode);
