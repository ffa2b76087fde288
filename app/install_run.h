// The installation engine: loads the payload, checks the disk space, extracts one record per
// call while it reports progress, then registers the product; after the wizard it records the
// installation and moves the user's configuration files after an upgrade.
#pragma once
#include <windows.h>

#include <cstdint>

class PayloadArchive;

// Free-space query of the target volume (GetDiskFreeSpaceExA's signature). Replaceable so that
// tests can play volumes that cannot be had here; the default is the system call.
typedef BOOL(WINAPI *FreeSpaceQuery)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);
void SetFreeSpaceQuery(FreeSpaceQuery query);

constexpr int kAnnouncedSteps = 4;

// The progress dialog's controls, handed over when it opens.
void SetProgressControls(HWND bar, HWND status, HWND caption, HWND stepText);

// Longest install folder (characters, no trailing backslash) under which every path of the
// payload fits the system's limits. Walks the payload quietly.
uint32_t MaxInstallFolderLength();

bool LoadPayload();
void ReleasePayload();
void SetProgress(int percent, const char *text);
void NextStep(const char *text);
// One step of the copy phase: positive to go on, 0 when every record is in place, negative when
// the copy phase failed.
int InstallStep();
// The registration sequence after the last record; `gaveUp` is set when the user gave up at the
// Excel question. Returns the install result.
int RegisterProduct(HWND owner, bool *gaveUp);
void RecordInstallInfo();
bool MigrateUserConfig();

// The archive while the copy phase runs (null before and after).
PayloadArchive *CurrentArchive();
