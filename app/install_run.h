// The installation engine: loads the payload, checks the disk space, extracts one record per
// call while it reports progress, then registers the product; after the wizard it records the
// installation and moves the user's configuration files after an upgrade.
//
// The run knows no dialog. Whoever drives it (the progress dialog, a test, an unattended front
// end) hands it callbacks for what it shows and asks; without them it shows nothing and asks
// nothing.
#pragma once
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "app/installer_state.h"

class PayloadArchive;
class Win32Payload;

// Free-space query of the target volume (GetDiskFreeSpaceExA's signature); tests play volumes
// that cannot be had here.
typedef BOOL(WINAPI *FreeSpaceQuery)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);

// What one step of the copy phase leaves: a negative value is the install result.
enum RunStep : int {
    kRunStepNotInstallable = kInstallNotInstallable,
    kRunStepFailed = kInstallCopyFailed,
    kRunStepDone = 0, // every record is in place
    kRunStepMore = 1, // call again
};

constexpr int kAnnouncedSteps = 4;

// What the run shows and asks. `context` is handed back to every call; each member may be null.
struct InstallRunCallbacks {
    void *context = nullptr;
    // The progress in percent, and the status line when `status` is not null.
    void (*showProgress)(void *context, int percent, const char *status) = nullptr;
    // A new step: its caption ("Step 2 of 4") and its text.
    void (*showStep)(void *context, const char *caption, const char *text) = nullptr;
    // Excel is running before the add-in is registered: true when the user gives up rather than
    // close it. Null: nobody to ask, the registration goes ahead.
    bool (*userGivesUpOnExcel)(void *context) = nullptr;
    // A warning for the user about the copy (no space, a file that could not be written). Null:
    // the warning is only logged.
    void (*warn)(void *context, const char *text) = nullptr;
};

class InstallRun {
public:
    explicit InstallRun(InstallerState &state, FreeSpaceQuery freeSpace = GetDiskFreeSpaceExA);
    ~InstallRun();
    InstallRun(const InstallRun &) = delete;
    InstallRun &operator=(const InstallRun &) = delete;

    void SetCallbacks(const InstallRunCallbacks &callbacks) { callbacks_ = callbacks; }

    bool ProtectInstallationFolder();
    bool LoadPayload();
    void ReleasePayload();
    void SetProgress(int percent, const char *text);
    void NextStep(const char *text);
    // One step of the copy phase.
    RunStep InstallStep();
    // The registration sequence after the last record; `gaveUp` is set when the user gave up at
    // the Excel question. Returns the install result.
    int RegisterProduct(bool *gaveUp);

    // The archive while the copy phase runs (null before and after).
    PayloadArchive *Archive() const { return archive_; }

private:
    RunStep FirstStep();
    RunStep LaterStep();
    void Warn(const char *text);
    void WriteKeyValue(const char *key, const char *value);
    static void WalkLine(void *self, const char *line);
    static void WalkProgress(void *self, unsigned percent);
    static void ExtractionWarning(void *self, const char *text);

    InstallerState &state_;
    FreeSpaceQuery freeSpace_;
    InstallRunCallbacks callbacks_;
    HRSRC resource_ = nullptr;
    HGLOBAL loaded_ = nullptr;
    const uint8_t *bytes_ = nullptr;
    std::unique_ptr<Win32Payload> platform_;
    PayloadArchive *archive_ = nullptr;
    int steps_ = 0;
};

// Why the installer must not run with its payload, for the user: the SHA-256 stored beside it
// does not match it, or cannot be checked. Empty when the payload is what the build made (an
// installer without a stored checksum runs as before).
std::string PayloadRefusal(HINSTANCE instance);

// Longest install folder (characters, no trailing backslash) under which every path of the
// payload fits the system's limits. Walks the payload quietly.
uint32_t MaxInstallFolderLength(HINSTANCE instance);

// After the wizard: the registry record of this installation.
void RecordInstallInfo(const InstallerState &state);
// After a successful upgrade: moves the two configuration files to the application-data folder.
// False when the first could not be moved (the failure is logged).
bool MigrateUserConfig(const InstallerState &state);
