// The Win32 side of the payload archive: what the walk and the extraction need from the system.
#pragma once
#include <cstdint>

#include "archive/extract_record.h"
#include "archive/payload_archive.h"

// What the installer hands to the Win32 side for one archive. `context` is handed back to every
// call; each function may be null.
struct Win32PayloadSettings {
    void *context;
    // One log line of the walk (the installer's LogLine).
    void (*writeLine)(void *context, const char *line);
    // Progress of the walk in percent (the installer's progress bar).
    void (*setProgress)(void *context, unsigned percent);
    // A warning about a record that could not be written: shown and logged as a note.
    void (*warn)(void *context, const char *text);
    // While *testMode is non-zero nothing is written (a rehearsal). May be null.
    const int *testMode;
};

// The walk's hooks and extraction's system calls on Windows, over the settings handed in: the
// cluster size of the target volume, UTC to local time in the current time zone, _mkdir,
// read-only clearing, the decoder, CreateFileA, WriteFile, SetFileTime. Give Hooks() to the
// PayloadArchive; this object must outlive it.
class Win32Payload {
public:
    explicit Win32Payload(const Win32PayloadSettings &settings);
    Win32Payload(const Win32Payload &) = delete;
    Win32Payload &operator=(const Win32Payload &) = delete;

    const PayloadHooks *Hooks() const { return &hooks_; }

private:
    static void WriteLine(void *self, const char *line);
    static void SetProgress(void *self, unsigned percent);
    static void Warn(void *self, const char *text);

    Win32PayloadSettings settings_;
    ExtractPlatform platform_;
    PayloadHooks hooks_;
};

// Cluster size of the volume holding `folder`: FSCTL_GET_NTFS_VOLUME_DATA, then
// GetDiskFreeSpaceA on the drive root; 0 when neither answers (the walk then uses its default).
uint32_t QueryClusterSize(const char *folder);

// Whether the drive of `letter` (either case) exists.
bool DriveExists(char letter);
