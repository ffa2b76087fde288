// PayloadArchive: walks the payload archive once in place, keeps one RESITEM per accepted record
// and hands the installation run one record at a time with its full target path.
//
// The walk makes no system call of its own. What depends on the system (the log, the cluster
// size of the target volume, UTC to local time, the progress bar, and for ExtractCurrent the file
// calls) comes in through a payload::Platform (archive/payload_platform.h), so the same code runs
// in the installer, in the payload tools and in the tests.
//
// Judging the result: the archive can be installed only when IsUsable() holds, that is
// entryCount > 0 and damaged == 0. A damaged archive also has entryCount forced to 0, so a
// caller that checks only "entryCount > 0" refuses it as well; damageReason says why.
#pragma once
#include <cstddef>
#include <cstdint>

#include "archive/payload_format.h"

namespace payload {
class Platform;
}

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

// Whether a record is a file whose data area is a compressed stream: its decoded size is larger
// than the data area (a stored file's are equal).
inline bool IsCompressedRecord(const RESITEM *item) {
    return item != nullptr && item->rectype == payload::kFileRecord && item->size > item->datalen;
}

class PayloadArchive {
public:
    // Parses at once. `resourceData`, `targetFolder` and `platform` are not copied: they must
    // outlive the object (`targetFolder` is read again by every BuildPath). Without a platform
    // the walk is quiet (the defaults of payload::Platform) and ExtractCurrent writes nothing.
    PayloadArchive(const uint8_t *resourceData, uint32_t length, const char *targetFolder,
                   payload::Platform *platform);
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
    // Writes the current record through the platform: the code of ExtractRecord (archive/
    // extract_record.h), which also says why a record failed. Without a platform nothing is
    // written (-2).
    int ExtractCurrent();

    // Writes one line to the platform's log (nothing without a platform).
    void WriteLine(const char *line);
    // The log line that reported the damage: "Damaged archive at offset N: reason - abort.";
    // empty when the walk found no damaged record.
    void DamageLine(char *out, size_t size) const;

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
    uint32_t clusterSize;        // as used for diskSpaceRequired, always positive
    payload::Platform *platform; // not owned; may be null
    int damaged;            // 1 when the walk stopped early: a damaged record, or out of memory
    uint32_t damageOffset;  // offset of that record from the start of the resource
    char damageReason[128]; // why that record is damaged; empty when out of memory
    // What BuildPath adds after the target folder, at most, for a file and for a folder record.
    uint32_t longestFileTail;
    uint32_t longestFolderTail;

private:
    void Log(const char *format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;
    struct Walk; // what the walk counts on its way (payload_archive.cpp)

    void Reset();
    void WalkRecords(const uint8_t *data, uint32_t length, Walk &walk);
    bool CheckHeader(const uint8_t *data, uint32_t length, uint64_t pos, const Walk &walk,
                     payload::RecordHeader *header, uint64_t *recordEnd);
    bool CheckName(const uint8_t *data, uint32_t at, uint64_t nameStart, uint64_t recordEnd,
                   const char **name);
    bool TakeSummary(const uint8_t *data, uint32_t at, uint64_t nameStart, uint64_t recordEnd,
                     const payload::RecordHeader &header, Walk &walk);
    bool TakeFolder(uint32_t at, const char *name, Walk &walk);
    bool TakeFile(uint32_t at, uint64_t nameStart, uint64_t recordEnd, const char *name,
                  const payload::RecordHeader &header, Walk &walk);
    void CheckCounts(uint32_t length, const Walk &walk);
    void MarkDamaged(uint32_t offset, const char *reason);
    void StopIncomplete(uint32_t offset);
    void ReportProgress(uint32_t progressSum, int32_t entryTotal);
    void FormatLocalTime(payload::FileTime utc, char *out, size_t outSize);
    RESITEM *Append(RESITEM **last, char rectype, const char *name);
    void FreeItems();
};

// Checks that a record name cannot lead outside the installation folder: no ".." component, no
// drive or colon, no leading backslash or slash. Returns null when it is safe, else the reason.
const char *UnsafeNameReason(const char *name);
