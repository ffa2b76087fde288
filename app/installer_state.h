// The installer's run state: the one set of values that start-up, the wizard, the installation
// run and painting share.
//
// WinMain fills the one instance, g_state, and hands it on: to the main window through its
// creation parameter, to each dialog through DialogBoxParam's parameter, to the installation
// run and to painting as an argument. Only LogLine and the message-box helpers reach g_state
// directly, because the registration library calls LogLine without any context. There is one
// thread; nothing here is locked.
#pragma once
#include <windows.h>

#include <cstdint>

#include "archive/step_result.h"
#include "regaddin/regaddin.h"

class InstallLog;

typedef BOOL(WINAPI *GradientFillFn)(HDC, PTRIVERTEX, ULONG, PVOID, ULONG, ULONG);

constexpr int kStringCapacity = 512;
constexpr int kStringCount = 62; // ids 0..61
constexpr UINT WM_INSTALL_FINISHED = WM_USER + 1;

// The install result that the progress dialog leaves for the finishing step. Positive values are
// the code of a failed registration with Excel (RegAddinResult).
// A failed copy leaves the code of the step that failed (archive/step_result.h).
enum InstallResult : int {
    // no payload, no records, or a record that could not be written
    kInstallNotInstallable = payload::kStepNotWritten,
    // not enough space, or a file that could not be installed
    kInstallCopyFailed = payload::kStepFailed,
    kInstallSucceeded = payload::kStepDone, // files in place and the add-in registered with Excel
};
static_assert(kInstallNotInstallable == -2 && kInstallCopyFailed == -1 && kInstallSucceeded == 0,
              "the install results the finishing step and the log report");

// Bitmaps loaded on the first paint and reused by every later one.
struct PaintCache {
    HBITMAP titleIcon = nullptr;   // deleted when the main window is destroyed
    HBITMAP sidePicture = nullptr; // kept until the process ends
    HBITMAP logoStrip = nullptr;   // recoloured once, with the background of the paint that made it
};

struct InstallerState {
    HINSTANCE instance = nullptr;
    HWND mainWindow = nullptr;
    char strings[kStringCount][kStringCapacity] = {}; // product strings loaded at start-up
    char installDir[MAX_PATH] = {};                   // destination folder, as edited
    // The folder the installer was started from (it works from the system folder): the folder
    // browser opens there.
    char startFolder[MAX_PATH] = {};
    installinfo_tag previous = {}; // the previous installation recorded in the registry
    bool upgrade = false;          // the user agreed to install over an existing installation
    bool wizardCancelled = false;
    bool cancelIsSilent = true;             // cleared when the welcome dialog is accepted
    bool wizardStarted = false;             // the dialog sequence runs on the first paint only
    int installResult = kInstallCopyFailed; // an InstallResult, or RegAddin_Install's code
    bool openReleaseNotes = false;
    bool gradientAvailable = false; // "msimg32.dll" was loaded
    GradientFillFn gradientFill = nullptr;
    HMODULE graphicsLibrary = nullptr;
    InstallLog *log = nullptr;
    int testMode = 0;             // rehearsal: nothing is written, registration is skipped
    uint32_t maxFolderLength = 0; // longest install folder the payload's paths allow
    PaintCache paint;

    // A product string loaded at start-up; an empty text for ids loaded where they are used.
    const char *ProductString(int id) const;
    // Loads any string of the table into `buffer`; an empty text when it is missing.
    const char *LoadResString(int id, char *buffer, int size) const;
    // Writes "@ key=value" to the install log, when there is one.
    void LogKeyValue(const char *key, const char *value) const;
};

extern InstallerState g_state;

// Loads the product strings marked for start-up and fills the release line (id 30).
void LoadProductStrings(InstallerState &state, HINSTANCE instance);
