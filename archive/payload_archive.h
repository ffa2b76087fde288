// PayloadArchive: walks the payload archive once in place, keeps one RESITEM per accepted record
// and hands the installation run one record at a time with its full target path.
//
// The walk makes no system call of its own. What depends on the system (the log, the cluster
// size of the target volume, UTC to local time, the progress bar) comes in through
// PayloadHooks, so the same code runs in the installer, in the payload tools and in the tests.
//
// Judging the result: the archive can be installed only when IsUsable() holds, that is
// entryCount > 0 and damaged == 0. A damaged archive also has entryCount forced to 0, so a
// caller that checks only "entryCount > 0" refuses it as well.
#pragma once
#include <cstddef>
#include <cstdint>

#include "archive/payload_format.h"

struct ExtractPlatform;

// What the walk needs from its surroundings. Every member may be null: then nothing is logged,
// the cluster size is payload::kDefaultClusterSize, times are shown in UTC, no progress is
// reported and ExtractCurrent writes nothing. `context` is handed back to every call.
struct PayloadHooks {
    void *context;
    // One log line without a line terminator (the installer: InstallLog::WriteLine).
    void (*writeLine)(void *context, const char *line);
    // Cluster size in bytes of the volume that holds `targetFolder`; 0 when unknown.
    uint32_t (*clusterSize)(void *context, const char *targetFolder);
    // Converts a UTC file time to local time; returns 0 when it cannot (the walk then shows UTC).
    int (*toLocalTime)(void *context, payload::FileTime utc, payload::CalendarTime *local);
    // Progress of the walk in percent, without a status text (the installer: SetProgress).
    void (*setProgress)(void *context, unsigned percent);
    // The system calls with which ExtractCurrent writes records (archive/extract_record.h).
    const ExtractPlatform *extraction;
};

// One accepted record, in archive order.
struct RESITEM {
    int32_t offset;             // file: position of the data area from the start of the resource
    int32_t datalen;            // file: length of the data area
    int32_t size;               // file: decoded size (uncompressed if > 0, else datalen)
    char rectype;               // 'S', 'D' or 'F'
    const char *name;           // points into the resource; null for the summary
    payload::FileTime fileTime; // UTC; 0 for summary and folder
    RESITEM *next;
};

class PayloadArchive {
public:
    // Parses at once. `resourceData` and `targetFolder` are not copied: they must outlive the
    // object (`targetFolder` is read again by every BuildPath). `hooks` is copied; may be null.
    PayloadArchive(const uint8_t *resourceData, uint32_t length, const char *targetFolder,
                   const PayloadHooks *hooks);
    ~PayloadArchive();
    PayloadArchive(const PayloadArchive &) = delete;
    PayloadArchive &operator=(const PayloadArchive &) = delete;

    // The walk; run by the constructor.
    void Parse(const uint8_t *data, uint32_t length);
    // Moves to the following record; returns the new currentIndex (unchanged at the end).
    int Next();
    // Full target path of the current record in pathBuffer, or null: no current record, no
    // target folder, or a path that would not fit the 511 characters (logged, never cut).
    char *BuildPath();
    // Whether the current record is a file whose data area is a compressed stream.
    bool IsCompressed() const;
    // Frees pathBuffer and forgets resourceData; the records stay until the object is deleted.
    void Release();
    // Writes the current record with the hooks' extraction platform: ExtractRecord (see
    // archive/extract_record.h). Without a platform nothing is written (kExtractNotWritten).
    int ExtractCurrent();

    // Writes one line through the log hook (nothing without one).
    void WriteLine(const char *line) {
        if (hooks_.writeLine != nullptr)
            hooks_.writeLine(hooks_.context, line);
    }

    // Whether the archive may be installed: records were walked and nothing was damaged.
    bool IsUsable() const { return entryCount > 0 && !damaged; }

    // Longest target folder (in characters, without a trailing backslash) below which every
    // record's full path stays within payload::kMaxFilePathLength for files and
    // payload::kMaxFolderPathLength for folders; 0 when no folder would do.
    uint32_t MaxTargetFolderLength() const;

    int32_t currentIndex;       // steps taken by Next since the walk
    int32_t entryCount;         // records walked less one (the summary); 0 when damaged
    uint32_t totalSize;         // bytes of all files plus slack
    uint32_t diskSpaceRequired; // bytes of all files in whole clusters plus slack
    const uint8_t *resourceData;
    RESITEM *head;
    RESITEM *current;
    const char *subFolder;
    char *pathBuffer; // payload::kPathBufferSize characters, owned
    const char *targetFolder;

    uint32_t resourceLength;
    uint32_t clusterSize;  // as used for diskSpaceRequired, always positive
    int damaged;           // 1 when the walk stopped early: a damaged record, or out of memory
    uint32_t damageOffset; // offset of that record from the start of the resource
    // What BuildPath adds after the target folder, at most, for a file and for a folder record.
    uint32_t longestFileTail;
    uint32_t longestFolderTail;

private:
    void Log(const char *format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;
    void MarkDamaged(uint32_t offset, const char *reason);
    void StopIncomplete(uint32_t offset);
    void ReportProgress(uint32_t progressSum, int32_t entryTotal);
    void FormatLocalTime(payload::FileTime utc, char *out, size_t outSize);
    RESITEM *Append(RESITEM **last, char rectype, const char *name);
    void FreeItems();

    PayloadHooks hooks_;
};

// Checks that a record name cannot lead outside the installation folder: no ".." component, no
// drive or colon, no leading backslash or slash. Returns null when it is safe, else the reason.
const char *UnsafeNameReason(const char *name);
