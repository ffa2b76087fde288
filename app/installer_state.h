// The installer's process-wide run state, shared by start-up, the wizard, the installation run
// and painting. There is one thread; nothing here is locked.
#pragma once
#include <windows.h>

#include <cstdint>

#include "regaddin/regaddin.h"

class InstallLog;

typedef BOOL(WINAPI *GradientFillFn)(HDC, PTRIVERTEX, ULONG, PVOID, ULONG, ULONG);

constexpr int kStringCapacity = 512;
constexpr int kStringCount = 62; // ids 0..61
constexpr UINT WM_INSTALL_FINISHED = WM_USER + 1;

struct InstallerState {
    HINSTANCE instance = nullptr;
    HWND mainWindow = nullptr;
    char installDir[MAX_PATH] = {}; // destination folder, as edited
    installinfo_tag previous = {};  // the previous installation recorded in the registry
    bool upgrade = false;           // the user agreed to install over an existing installation
    bool wizardCancelled = false;
    bool cancelIsSilent = true; // cleared when the welcome dialog is accepted
    bool wizardStarted = false; // the dialog sequence runs on the first paint only
    int installResult = -1;     // <0 copy failed, 0 success, >0 RegAddin_Install's code
    bool openReleaseNotes = false;
    bool gradientAvailable = false; // "msimg32.dll" was loaded
    GradientFillFn gradientFill = nullptr;
    HMODULE graphicsLibrary = nullptr;
    InstallLog *log = nullptr;
    int testMode = 0;             // rehearsal: nothing is written, registration is skipped
    uint32_t maxFolderLength = 0; // longest install folder the payload's paths allow
};

extern InstallerState g_state;

// Product strings loaded at start-up; an empty text for ids that are loaded where they are used.
const char *ProductString(int id);
void LoadProductStrings(HINSTANCE instance);
// Loads any string of the table into `buffer`; an empty text when it is missing.
const char *LoadResString(int id, char *buffer, int size);
