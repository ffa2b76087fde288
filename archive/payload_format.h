// The byte layout of the payload archive, shared by the writer and the parser.
//
// The archive is a 30-byte preamble (the product version text, NUL padded) followed by records.
// Every record is a 28-byte header, a NUL-terminated ANSI name and a data area:
//
//   offset size field
//        0    4 disp2next     distance to the next record = 28 + hdrdatalen + datalen
//        4    4 datalen       length of the data area
//        8    4 uncompressed  file records: decoded length of a compressed stream, else 0
//       12    4 hdrdatalen    length of the name area, its NUL included
//       16    1 rectype       'S' summary, 'D' folder, 'F' file
//       17    3 filler        0xFF 0xFF 0xFF
//       20    8 file time     FILETIME, low 32 bits first (UTC, 100 ns since 1601-01-01)
//
// All integers are little-endian 32-bit signed values.
#pragma once
#include <cstddef>
#include <cstdint>

#include "product/path_limits.h"

namespace payload {

constexpr uint32_t kPreambleSize = 30;
constexpr uint32_t kRecordHeaderSize = 28;
constexpr uint32_t kSummaryDataSize = 8; // cFiles, cDirs
constexpr uint8_t kFillerByte = 0xFF;

constexpr char kSummaryRecord = 'S';
constexpr char kFolderRecord = 'D';
constexpr char kFileRecord = 'F';

// Folder paths and file names; the parser's log lines are built around this limit.
constexpr uint32_t kMaxNameLength = 80;
// The parser's path buffer, and the longest full paths the installer's system calls take, under
// the names the archive's code uses (product/path_limits.h says why each is what it is).
constexpr uint32_t kPathBufferSize = product::kPathBufferSize;
constexpr uint32_t kMaxFilePathLength = product::kMaxFilePathLength;
constexpr uint32_t kMaxFolderPathLength = product::kMaxFolderPathLength;
// Added to both size totals, together with one cluster.
constexpr uint32_t kSlackBytes = 80000;
// Used when the volume's cluster size cannot be found out.
constexpr uint32_t kDefaultClusterSize = 4096;

// Where the installer carries the archive: a resource of this named type with this id.
constexpr const char *kResourceType = "TESTDATA";
constexpr uint16_t kResourceId = 105;

// Same layout as the Windows FILETIME, so the Windows side can copy it field by field.
struct FileTime {
    uint32_t dwLowDateTime;
    uint32_t dwHighDateTime;
};

struct RecordHeader {
    int32_t disp2next;
    int32_t datalen;
    int32_t uncompressed;
    int32_t hdrdatalen;
    char rectype;
    FileTime fileTime;
};

inline uint32_t ReadLe32(const uint8_t *p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline int32_t ReadLe32Signed(const uint8_t *p) {
    return static_cast<int32_t>(ReadLe32(p));
}

inline void WriteLe32(uint8_t *p, uint32_t value) {
    p[0] = uint8_t(value);
    p[1] = uint8_t(value >> 8);
    p[2] = uint8_t(value >> 16);
    p[3] = uint8_t(value >> 24);
}

// Decodes the 28 header bytes at `in`; the caller makes sure they lie inside the archive.
RecordHeader DecodeRecordHeader(const uint8_t *in);
// Encodes `header` into 28 bytes at `out`, with the 0xFF filler.
void EncodeRecordHeader(const RecordHeader &header, uint8_t *out);

// Fills the 30-byte preamble: `version` (ASCII, at most 29 characters, else cut) padded with NUL.
void EncodePreamble(const char *version, uint8_t *out);

inline uint64_t FileTimeToU64(FileTime t) {
    return uint64_t(t.dwHighDateTime) << 32 | t.dwLowDateTime;
}
inline FileTime U64ToFileTime(uint64_t v) {
    return FileTime{uint32_t(v), uint32_t(v >> 32)};
}

// Seconds between 1601-01-01 and 1970-01-01.
constexpr int64_t kFileTimeEpochOffsetSeconds = 11644473600LL;
constexpr int64_t kFileTimeTicksPerSecond = 10000000LL;

// Unix time (seconds and nanoseconds, UTC) to FILETIME, truncated to 100 ns. Times before 1601
// give 0.
FileTime UnixToFileTime(int64_t seconds, uint32_t nanoseconds);
// FILETIME to Unix time; nanoseconds are a multiple of 100.
void FileTimeToUnix(FileTime t, int64_t *seconds, uint32_t *nanoseconds);

// A broken-down time as the log prints it.
struct CalendarTime {
    int year, month, day, hour, minute, second;
};

// Broken-down UTC time of a FILETIME (proleptic Gregorian calendar). Returns false for values
// Windows' FileTimeToSystemTime refuses too (high bit set).
bool FileTimeToCalendar(FileTime t, CalendarTime *out);

} // namespace payload
