#include "archive/file_times.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#ifdef _WIN32
#include <sys/utime.h>
#else
#include <sys/time.h>
#endif

namespace payload {

#ifdef _WIN32

bool GetModificationTime(const std::filesystem::path &path, FileTime *time) {
    struct _stat64 st;
    if (_wstat64(path.c_str(), &st) != 0)
        return false;
    *time = UnixToFileTime(st.st_mtime, 0);
    return true;
}

bool SetModificationTime(const std::filesystem::path &path, FileTime time) {
    int64_t seconds;
    uint32_t nanoseconds;
    FileTimeToUnix(time, &seconds, &nanoseconds);
    struct __utimbuf64 times;
    times.actime = seconds;
    times.modtime = seconds;
    return _wutime64(path.c_str(), &times) == 0;
}

#else

bool GetModificationTime(const std::filesystem::path &path, FileTime *time) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return false;
    *time = UnixToFileTime(st.st_mtim.tv_sec, uint32_t(st.st_mtim.tv_nsec));
    return true;
}

bool SetModificationTime(const std::filesystem::path &path, FileTime time) {
    int64_t seconds;
    uint32_t nanoseconds;
    FileTimeToUnix(time, &seconds, &nanoseconds);
    struct timespec times[2];
    times[0].tv_sec = time_t(seconds);
    times[0].tv_nsec = long(nanoseconds);
    times[1] = times[0];
    return utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

#endif

} // namespace payload
