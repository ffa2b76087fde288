#include "builder/file_times.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/time.h>
#endif

namespace payload {

#ifdef _WIN32

// Through the file system's own FILETIME values, to keep their full 100 ns precision.
bool GetModificationTime(const std::filesystem::path &path, FileTime *time) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return false;
    *time = FileTime{data.ftLastWriteTime.dwLowDateTime, data.ftLastWriteTime.dwHighDateTime};
    return true;
}

bool SetModificationTime(const std::filesystem::path &path, FileTime time) {
    HANDLE file = CreateFileW(
        path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    FILETIME t{time.dwLowDateTime, time.dwHighDateTime};
    const BOOL ok = SetFileTime(file, nullptr, &t, &t);
    CloseHandle(file);
    return ok != 0;
}

#else

bool GetModificationTime(const std::filesystem::path &path, FileTime *time) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return false;
    *time = UnixToFileTime(st.st_mtim.tv_sec, uint32_t(st.st_mtim.tv_nsec));
    return true;
}

void ToTimespecs(FileTime time, struct timespec times[2]) {
    int64_t seconds;
    uint32_t nanoseconds;
    FileTimeToUnix(time, &seconds, &nanoseconds);
    times[0].tv_sec = time_t(seconds);
    times[0].tv_nsec = long(nanoseconds);
    times[1] = times[0];
}

bool SetModificationTime(const std::filesystem::path &path, FileTime time) {
    struct timespec times[2];
    ToTimespecs(time, times);
    return utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

#endif

} // namespace payload
