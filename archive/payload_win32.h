// The Win32 side of the payload archive: what the walk and the extraction need from the system.
#pragma once
#include <cstdint>

#include "archive/payload_archive.h"

// How extraction reports and whether it writes. Set once by the installer before the first
// record is extracted.
struct ExtractionSettings {
    const int *testMode;            // while *testMode is non-zero nothing is written
    void (*warn)(const char *text); // the installer's Warn: shown and logged as a note
};
void ConfigureExtraction(const ExtractionSettings &settings);

// Hooks of the walk on Windows: log and progress as given, the cluster size of the target
// volume, UTC to local time in the current time zone.
PayloadHooks MakeWin32PayloadHooks(void (*writeLine)(const char *), void (*setProgress)(unsigned));

// Cluster size of the volume holding `folder`: FSCTL_GET_NTFS_VOLUME_DATA, then
// GetDiskFreeSpaceA on the drive root; 0 when neither answers (the walk then uses its default).
uint32_t QueryClusterSize(const char *folder);

// Non-zero when the drive of `letter` (either case) exists.
int DriveExists(char letter);
