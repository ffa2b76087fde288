// Modification times of local files as FILETIME values (UTC), for the payload tools.
#pragma once
#include <filesystem>
#ifndef _WIN32
#include <ctime>
#endif

#include "archive/payload_format.h"

namespace payload {

// The file's last modification time, truncated to 100 ns.
bool GetModificationTime(const std::filesystem::path &path, FileTime *time);

// Sets the file's access and modification times; does not follow a final symbolic link.
bool SetModificationTime(const std::filesystem::path &path, FileTime time);

#ifndef _WIN32
// `time` as the access and modification times that utimensat and futimens take.
void ToTimespecs(FileTime time, struct timespec times[2]);
#endif

} // namespace payload
