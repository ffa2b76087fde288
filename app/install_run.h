// The installation engine: loads the payload, checks the disk space, extracts one record per
// call while it reports progress, then registers the product; after the wizard it records the
// installation and moves the user's configuration files after an upgrade.
//
// The run knows no dialog. Whoever drives it (the progress dialog, a test, an unattended front
// end) hands it an InstallRunView for what it shows and asks; without one it shows nothing, asks
// nothing and logs its warnings.
#pragma once
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "app/installer_state.h"
#include "archive/step_result.h"

class PayloadArchive;

// Free-space query of the target volume (GetDiskFreeSpaceExA's signature); tests play volumes
// that cannot be had here.
typedef BOOL(WINAPI *FreeSpaceQuery)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);

constexpr int kAnnouncedSteps = 4;

// What the run shows and asks, implemented by whoever drives it.
class InstallRunView {
public:
    virtual ~InstallRunView() = default;
    // The progress in percent, and the status line when `status` is not null.
    virtual void ShowProgress(int percent, const char *status) = 0;
    // A new step: its caption ("Step 2 of 4") and its text.
    virtual void ShowStep(const char *caption, const char *text) = 0;
    // Excel is running before the add-in is registered: true when the user gives up rather than
    // close it.
    virtual bool UserGivesUpOnExcel() = 0;
    // A warning for the user about the copy (no space, a file that could not be written).
    virtual void Warn(const char *text) = 0;
};

class InstallRun {
public:
    explicit InstallRun(InstallerState &state, FreeSpaceQuery freeSpace = GetDiskFreeSpaceExA);
    ~InstallRun();
    InstallRun(const InstallRun &) = delete;
    InstallRun &operator=(const InstallRun &) = delete;

    // What the run shows and asks from now on; null: nothing is shown or asked, the
    // registration goes ahead and warnings are only logged. Not owned.
    void SetView(InstallRunView *view) { view_ = view; }

    bool ProtectInstallationFolder();
    bool LoadPayload();
    void ReleasePayload();
    void SetProgress(int percent, const char *text);
    void NextStep(const char *text);
    // One step of the copy phase: more to come (positive), every record in place (0), or the copy
    // failed (negative: the install result) and why.
    payload::StepResult InstallStep();
    // The registration sequence after the last record; `gaveUp` is set when the user gave up at
    // the Excel question. Returns the install result.
    int RegisterProduct(bool *gaveUp);

    // The archive while the copy phase runs (null before and after).
    PayloadArchive *Archive() const { return archive_; }

private:
    class Platform;

    payload::StepResult FirstStep();
    payload::StepResult LaterStep();
    void Warn(const char *text);
    void WriteKeyValue(const char *key, const char *value);

    InstallerState &state_;
    FreeSpaceQuery freeSpace_;
    InstallRunView *view_ = nullptr;
    HRSRC resource_ = nullptr;
    HGLOBAL loaded_ = nullptr;
    const uint8_t *bytes_ = nullptr;
    std::unique_ptr<Platform> platform_;
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
