// The Win32 side of the payload archive: what the walk and the extraction need from the system.
#pragma once
#include <cstdint>

#include "archive/payload_platform.h"

// The system side of a payload on Windows: the cluster size of the target volume, UTC to local
// time in the current time zone, _mkdir, read-only clearing, the decoder, CreateFileA,
// WriteFile, SetFileTime. The log, the progress and the warnings go nowhere: the installation
// run derives its platform from this one and sends them to its log and its dialog.
class Win32Payload : public payload::Platform {
public:
    explicit Win32Payload(bool testMode = false) : payload::Platform(testMode) {}

    uint32_t ClusterSize(const char *targetFolder) override;
    bool ToLocalTime(payload::FileTime utc, payload::CalendarTime *local) override;
    bool MakeFolder(const char *path) override;
    bool ClearReadOnly(const char *path) override;
    int Decompress(const uint8_t *stream, uint32_t length, const char *path) override;
    void *OpenFile(const char *path, bool create, unsigned long *errorCode) override;
    uint32_t WriteFile(void *file, const uint8_t *data, uint32_t length) override;
    void SetFileTimes(void *file, payload::FileTime time) override;
    void CloseFile(void *file) override;
};

// Cluster size of the volume holding `folder`: FSCTL_GET_NTFS_VOLUME_DATA, then
// GetDiskFreeSpaceA on the drive root; 0 when neither answers (the walk then uses its default).
uint32_t QueryClusterSize(const char *folder);

// Whether the drive of `letter` (either case) exists.
bool DriveExists(char letter);
