#include "archive/payload_format.h"

#include <cstring>

namespace payload {

RecordHeader DecodeRecordHeader(const uint8_t *in) {
    RecordHeader h;
    h.disp2next = ReadLe32Signed(in + 0);
    h.datalen = ReadLe32Signed(in + 4);
    h.uncompressed = ReadLe32Signed(in + 8);
    h.hdrdatalen = ReadLe32Signed(in + 12);
    h.rectype = static_cast<char>(in[16]);
    h.fileTime.dwLowDateTime = ReadLe32(in + 20);
    h.fileTime.dwHighDateTime = ReadLe32(in + 24);
    return h;
}

void EncodeRecordHeader(const RecordHeader &h, uint8_t *out) {
    WriteLe32(out + 0, static_cast<uint32_t>(h.disp2next));
    WriteLe32(out + 4, static_cast<uint32_t>(h.datalen));
    WriteLe32(out + 8, static_cast<uint32_t>(h.uncompressed));
    WriteLe32(out + 12, static_cast<uint32_t>(h.hdrdatalen));
    out[16] = static_cast<uint8_t>(h.rectype);
    out[17] = out[18] = out[19] = kFillerByte;
    WriteLe32(out + 20, h.fileTime.dwLowDateTime);
    WriteLe32(out + 24, h.fileTime.dwHighDateTime);
}

void EncodePreamble(const char *version, uint8_t *out) {
    std::memset(out, 0, kPreambleSize);
    if (version == nullptr)
        return;
    size_t n = std::strlen(version);
    if (n > kPreambleSize - 1)
        n = kPreambleSize - 1;
    std::memcpy(out, version, n);
}

FileTime UnixToFileTime(int64_t seconds, uint32_t nanoseconds) {
    if (seconds < -kFileTimeEpochOffsetSeconds)
        return FileTime{0, 0};
    uint64_t ticks = uint64_t(seconds + kFileTimeEpochOffsetSeconds) * kFileTimeTicksPerSecond +
                     nanoseconds / 100;
    return U64ToFileTime(ticks);
}

void FileTimeToUnix(FileTime t, int64_t *seconds, uint32_t *nanoseconds) {
    uint64_t ticks = FileTimeToU64(t);
    *seconds = int64_t(ticks / kFileTimeTicksPerSecond) - kFileTimeEpochOffsetSeconds;
    *nanoseconds = uint32_t(ticks % kFileTimeTicksPerSecond) * 100;
}

bool FileTimeToCalendar(FileTime t, CalendarTime *out) {
    uint64_t ticks = FileTimeToU64(t);
    if (ticks >> 63)
        return false;
    uint64_t secs = ticks / kFileTimeTicksPerSecond;
    int64_t days = int64_t(secs / 86400);
    uint32_t rem = uint32_t(secs % 86400);
    // Civil date from a day count (H. Hinnant's algorithm), shifted to the 1970 epoch.
    int64_t z = days - kFileTimeEpochOffsetSeconds / 86400 + 719468;
    int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    int64_t doe = z - era * 146097;
    int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    int64_t mp = (5 * doy + 2) / 153;
    int64_t d = doy - (153 * mp + 2) / 5 + 1;
    int64_t m = mp < 10 ? mp + 3 : mp - 9;
    int64_t y = yoe + era * 400 + (m <= 2 ? 1 : 0);
    out->year = int(y);
    out->month = int(m);
    out->day = int(d);
    out->hour = int(rem / 3600);
    out->minute = int(rem / 60 % 60);
    out->second = int(rem % 60);
    return true;
}

} // namespace payload
