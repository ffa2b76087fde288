#include "archive/payload_archive.h"

#include "archive/payload_platform.h"

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

using payload::kRecordHeaderSize;

namespace {

// Log lines hold a name of at most 80 characters; a damaged archive may carry longer ones, so
// the buffer is roomier and longer lines are cut rather than overrun.
constexpr size_t kLogLineSize = 640;

bool IsDotsAndBlanks(const char *begin, const char *end) {
    int dots = 0;
    for (const char *p = begin; p < end; ++p) {
        if (*p == '.')
            ++dots;
        else if (*p != ' ')
            return false;
    }
    // Windows drops trailing dots and blanks, so ".. " or "..." would act as "..".
    return dots >= 2;
}

} // namespace

const char *UnsafeNameReason(const char *name) {
    if (name[0] == '\\' || name[0] == '/')
        return "name starts with a backslash or slash";
    if (std::strchr(name, ':') != nullptr)
        return "name holds a drive or colon";
    const char *start = name;
    for (const char *p = name;; ++p) {
        if (*p == '\\' || *p == '/' || *p == '\0') {
            if (IsDotsAndBlanks(start, p))
                return "name holds a \"..\" component";
            if (*p == '\0')
                break;
            start = p + 1;
        }
    }
    return nullptr;
}

PayloadArchive::PayloadArchive(const uint8_t *data, uint32_t length, const char *folder,
                               payload::Platform *platform)
    : currentIndex(0), entryCount(0), totalSize(0), diskSpaceRequired(0), resourceData(data),
      head(nullptr), current(nullptr), subFolder(""), pathBuffer(nullptr), targetFolder(folder),
      resourceLength(length), clusterSize(payload::kDefaultClusterSize), platform(platform),
      damaged(0), damageOffset(0), damageReason(), longestFileTail(0), longestFolderTail(0) {
    pathBuffer = new (std::nothrow) char[payload::kPathBufferSize];
    if (pathBuffer != nullptr)
        pathBuffer[0] = '\0';
    Parse(data, length);
}

PayloadArchive::~PayloadArchive() {
    FreeItems();
    delete[] pathBuffer;
}

void PayloadArchive::FreeItems() {
    while (head != nullptr) {
        RESITEM *next = head->next;
        delete head;
        head = next;
    }
    current = nullptr;
}

void PayloadArchive::WriteLine(const char *line) {
    if (platform != nullptr)
        platform->WriteLine(line);
}

void PayloadArchive::Log(const char *format, ...) {
    if (platform == nullptr)
        return;
    char line[kLogLineSize];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    platform->WriteLine(line);
}

void PayloadArchive::DamageLine(char *out, size_t size) const {
    if (size == 0)
        return;
    out[0] = '\0';
    if (damaged && damageReason[0] != '\0')
        std::snprintf(out, size, "Damaged archive at offset %lu: %s - abort.",
                      static_cast<unsigned long>(damageOffset), damageReason);
}

void PayloadArchive::MarkDamaged(uint32_t offset, const char *reason) {
    damaged = 1;
    damageOffset = offset;
    std::snprintf(damageReason, sizeof damageReason, "%s", reason);
    char line[kLogLineSize];
    DamageLine(line, sizeof line);
    WriteLine(line);
}

void PayloadArchive::StopIncomplete(uint32_t offset) {
    // A list missing records must not be installed as if it were the whole product.
    damaged = 1;
    damageOffset = offset;
}

void PayloadArchive::ReportProgress(uint32_t progressSum, int32_t entryTotal) {
    if (platform == nullptr)
        return;
    // A summary with no entries (or nonsense counts) must not divide by zero or pass 100.
    unsigned percent = 100;
    if (entryTotal != 0)
        percent = progressSum / static_cast<uint32_t>(entryTotal);
    if (percent > 100)
        percent = 100;
    platform->SetProgress(percent);
}

void PayloadArchive::FormatLocalTime(payload::FileTime utc, char *out, size_t outSize) {
    payload::CalendarTime t{};
    const bool ok = platform != nullptr && platform->ToLocalTime(utc, &t);
    if (!ok && !payload::FileTimeToCalendar(utc, &t))
        t = payload::CalendarTime{};
    std::snprintf(out, outSize, "%02d/%02d/%d - %02d:%02d:%02d", t.month, t.day, t.year, t.hour,
                  t.minute, t.second);
}

RESITEM *PayloadArchive::Append(RESITEM **last, char rectype, const char *name) {
    RESITEM *item = new (std::nothrow) RESITEM();
    if (item == nullptr)
        return nullptr;
    item->rectype = rectype;
    item->name = name;
    if (*last != nullptr)
        (*last)->next = item;
    *last = item;
    return item;
}

// What the walk counts on its way through the records.
struct PayloadArchive::Walk {
    uint64_t total = 0; // bytes of all files
    uint64_t disk = 0;  // the same in whole clusters
    uint64_t slack = 0;
    int32_t walked = 0; // records taken, the summary and records of other kinds included
    int32_t entryTotal = 0;
    uint32_t progressSum = 0;
    int32_t summaryFiles = 0, summaryDirs = 0, filesSeen = 0, foldersSeen = 0;
    size_t folderLength = 0; // of the folder the following files go to, as BuildPath names it
    RESITEM *summary = nullptr;
    RESITEM *last = nullptr;
};

void PayloadArchive::Reset() {
    FreeItems();
    currentIndex = 0;
    entryCount = 0;
    totalSize = 0;
    diskSpaceRequired = 0;
    damaged = 0;
    damageOffset = 0;
    damageReason[0] = '\0';
    longestFileTail = 0;
    longestFolderTail = 0;
    subFolder = "";
}

void PayloadArchive::Parse(const uint8_t *data, uint32_t length) {
    Reset();
    Log("Parsing start");
    const uint32_t cluster = platform != nullptr ? platform->ClusterSize(targetFolder) : 0;
    clusterSize = cluster > 0 ? cluster : payload::kDefaultClusterSize;
    if (platform != nullptr)
        platform->SetProgress(0);

    Walk walk;
    walk.slack = uint64_t(clusterSize) + payload::kSlackBytes;
    if (data != nullptr && length > payload::kPreambleSize)
        WalkRecords(data, length, walk);
    CheckCounts(length, walk);

    head = walk.summary;
    current = walk.summary;
    entryCount = damaged ? 0 : walk.walked - 1;
    currentIndex = 0;
    totalSize = static_cast<uint32_t>(walk.total + walk.slack);
    diskSpaceRequired = static_cast<uint32_t>(walk.disk + walk.slack);
    Log("Parsing end");
}

// Takes the records one after the other until the end of the data or the first damaged one.
void PayloadArchive::WalkRecords(const uint8_t *data, uint32_t length, Walk &walk) {
    uint64_t pos = payload::kPreambleSize;
    for (;;) {
        const uint32_t at = static_cast<uint32_t>(pos);
        payload::RecordHeader h{};
        uint64_t recordEnd = 0;
        if (!CheckHeader(data, length, pos, walk, &h, &recordEnd))
            return;
        const uint64_t nameStart = pos + kRecordHeaderSize;
        const char *name = nullptr;
        bool taken = true; // any other kind is stepped over; it is still counted as walked
        if (h.rectype == payload::kSummaryRecord) {
            taken = TakeSummary(data, at, nameStart, recordEnd, h, walk);
        } else if (h.rectype == payload::kFolderRecord) {
            taken = CheckName(data, at, nameStart, recordEnd, &name) && TakeFolder(at, name, walk);
        } else if (h.rectype == payload::kFileRecord) {
            taken = CheckName(data, at, nameStart, recordEnd, &name) &&
                    TakeFile(at, nameStart, recordEnd, name, h, walk);
        }
        if (!taken)
            return;
        pos = recordEnd;
        ++walk.walked;
        walk.progressSum += 100;
        ReportProgress(walk.progressSum, walk.entryTotal);
        if (pos >= length)
            return;
    }
}

// The record's header at `pos`: it fits, it moves on, its record ends inside the data, and the
// first record is the summary.
bool PayloadArchive::CheckHeader(const uint8_t *data, uint32_t length, uint64_t pos,
                                 const Walk &walk, payload::RecordHeader *header,
                                 uint64_t *recordEnd) {
    const uint32_t at = static_cast<uint32_t>(pos);
    if (pos + kRecordHeaderSize > length) {
        MarkDamaged(at, "record header does not fit");
        return false;
    }
    *header = payload::DecodeRecordHeader(data + pos);
    if (header->disp2next < int32_t(kRecordHeaderSize)) {
        MarkDamaged(at, "disp2next below 28");
        return false;
    }
    *recordEnd = pos + uint32_t(header->disp2next);
    if (*recordEnd > length) {
        MarkDamaged(at, "record runs past the end of the archive");
        return false;
    }
    // Without a summary first, nothing after it would be recorded or counted for progress.
    if (walk.walked == 0 && header->rectype != payload::kSummaryRecord) {
        MarkDamaged(at, "first record is not a summary");
        return false;
    }
    return true;
}

// The name of a folder or file record: ended inside the record, and leading nowhere outside the
// installation folder.
bool PayloadArchive::CheckName(const uint8_t *data, uint32_t at, uint64_t nameStart,
                               uint64_t recordEnd, const char **name) {
    if (std::memchr(data + nameStart, 0, static_cast<size_t>(recordEnd - nameStart)) == nullptr) {
        MarkDamaged(at, "name without its NUL inside the record");
        return false;
    }
    *name = reinterpret_cast<const char *>(data + nameStart);
    if (const char *reason = UnsafeNameReason(*name)) {
        MarkDamaged(at, reason);
        return false;
    }
    return true;
}

bool PayloadArchive::TakeSummary(const uint8_t *data, uint32_t at, uint64_t nameStart,
                                 uint64_t recordEnd, const payload::RecordHeader &h, Walk &walk) {
    if (walk.summary != nullptr) {
        MarkDamaged(at, "second summary record");
        return false;
    }
    if (h.datalen < int32_t(payload::kSummaryDataSize) ||
        nameStart + payload::kSummaryDataSize > recordEnd) {
        MarkDamaged(at, "summary record without its counts");
        return false;
    }
    const int32_t cFiles = payload::ReadLe32Signed(data + nameStart);
    const int32_t cDirs = payload::ReadLe32Signed(data + nameStart + 4);
    walk.entryTotal = static_cast<int32_t>(uint32_t(cFiles) + uint32_t(cDirs));
    walk.summaryFiles = cFiles;
    walk.summaryDirs = cDirs;
    Log("Summary=cFiles=%d\t cDirs=%d", cFiles, cDirs);
    walk.summary = Append(&walk.last, payload::kSummaryRecord, nullptr);
    if (walk.summary == nullptr) {
        Log("Error allocating Summary RESITEM memory - abort.");
        StopIncomplete(at);
        return false;
    }
    return true;
}

bool PayloadArchive::TakeFolder(uint32_t at, const char *name, Walk &walk) {
    Log("  Folder='%s'", name);
    ++walk.foldersSeen;
    walk.folderLength = name[0] == '\0' ? 1 : std::strlen(name); // the root is "."
    longestFolderTail = std::max(longestFolderTail, uint32_t(1 + std::strlen(name)));
    if (Append(&walk.last, payload::kFolderRecord, name) == nullptr) {
        Log("Error allocating Directory RESITEM memory for %s - abort.", name);
        StopIncomplete(at);
        return false;
    }
    return true;
}

bool PayloadArchive::TakeFile(uint32_t at, uint64_t nameStart, uint64_t recordEnd, const char *name,
                              const payload::RecordHeader &h, Walk &walk) {
    const size_t nameLength = std::strlen(name);
    const uint64_t dataStart = nameStart + nameLength + 1;
    if (nameLength == 0) {
        MarkDamaged(at, "file record without a name");
        return false;
    }
    if (h.datalen < 0 || dataStart + uint32_t(h.datalen) > recordEnd) {
        MarkDamaged(at, "data area runs past the end of the record");
        return false;
    }
    // Extraction adds the offset to the resource pointer as a signed 32-bit value.
    if (dataStart > uint64_t(INT32_MAX)) {
        MarkDamaged(at, "data area starts past 2 GiB");
        return false;
    }
    const int32_t size = h.uncompressed > 0 ? h.uncompressed : h.datalen;
    const uint64_t clusters = (uint64_t(size) + clusterSize - 1) / clusterSize;
    walk.total += uint32_t(size);
    walk.disk += clusters * clusterSize;
    if (walk.disk + walk.slack > UINT32_MAX) {
        MarkDamaged(at, "file sizes add up past 4 GiB");
        return false;
    }
    char when[64];
    FormatLocalTime(h.fileTime, when, sizeof when);
    Log("    File='%s' (%d)  %s", name, size, when);
    RESITEM *item = Append(&walk.last, payload::kFileRecord, name);
    if (item == nullptr) {
        Log("Error allocating File RESITEM memory for %s - abort.", name);
        StopIncomplete(at);
        return false;
    }
    ++walk.filesSeen;
    longestFileTail = std::max(longestFileTail, uint32_t(1 + walk.folderLength + 1 + nameLength));
    item->offset = static_cast<int32_t>(dataStart);
    item->datalen = h.datalen;
    item->size = size;
    item->fileTime = h.fileTime;
    return true;
}

// A cut archive can end exactly between two records; only the summary's counts tell.
void PayloadArchive::CheckCounts(uint32_t length, const Walk &walk) {
    if (damaged || walk.summary == nullptr ||
        (walk.filesSeen == walk.summaryFiles && walk.foldersSeen == walk.summaryDirs))
        return;
    char reason[128];
    std::snprintf(reason, sizeof reason,
                  "records do not match the summary (files %d of %d, folders %d of %d)",
                  walk.filesSeen, walk.summaryFiles, walk.foldersSeen, walk.summaryDirs);
    MarkDamaged(length, reason);
}

uint32_t PayloadArchive::MaxTargetFolderLength() const {
    const auto room = [](uint32_t limit, uint32_t tail) { return limit > tail ? limit - tail : 0; };
    return std::min({payload::kMaxFolderPathLength,
                     room(payload::kMaxFolderPathLength, longestFolderTail),
                     room(payload::kMaxFilePathLength, longestFileTail)});
}

int PayloadArchive::Next() {
    if (head == nullptr || current == nullptr)
        return currentIndex;
    current = current->next;
    if (current == nullptr)
        return currentIndex;
    ++currentIndex;
    if (current->rectype == payload::kFolderRecord)
        subFolder = current->name[0] == '\0' ? "." : current->name;
    return currentIndex;
}

char *PayloadArchive::BuildPath() {
    if (current == nullptr || pathBuffer == nullptr || targetFolder == nullptr)
        return nullptr;
    const char *name = current->name != nullptr ? current->name : "";
    const bool isFile = current->rectype == payload::kFileRecord;
    size_t needed = std::strlen(targetFolder) + 1 + std::strlen(name);
    if (isFile)
        needed += std::strlen(subFolder) + 1;
    if (needed > payload::kPathBufferSize - 1) {
        if (isFile)
            Log("Path of more than %u characters refused: %s\\%s\\%s",
                unsigned(payload::kPathBufferSize - 1), targetFolder, subFolder, name);
        else
            Log("Path of more than %u characters refused: %s\\%s",
                unsigned(payload::kPathBufferSize - 1), targetFolder, name);
        return nullptr;
    }
    if (isFile)
        std::snprintf(pathBuffer, payload::kPathBufferSize, "%s\\%s\\%s", targetFolder, subFolder,
                      name);
    else
        std::snprintf(pathBuffer, payload::kPathBufferSize, "%s\\%s", targetFolder, name);
    return pathBuffer;
}

bool PayloadArchive::IsCompressed() const {
    return IsCompressedRecord(current);
}

void PayloadArchive::Release() {
    delete[] pathBuffer;
    pathBuffer = nullptr;
    resourceData = nullptr;
}
