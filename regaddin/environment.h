// Environment utilities that the registration flow uses besides the exported entry points.
#pragma once
#include <cstddef>

// True if the attributes of `path` can be read and include the directory attribute.
bool IsDirectory(const char *path);
// True if the attributes of `path` can be read (a directory counts).
bool FileExists(const char *path);

// Reads the machine-wide PATH value, unexpanded, into `buffer` (kSystemPathCapacity bytes, see
// regaddin/string_rules.h). False if it cannot be read or does not fit.
bool ReadSystemPath(char *buffer, std::size_t capacity);

// Appends `folder` to the machine-wide PATH (in double quotes when it holds a blank). Refuses,
// with a log line, a value that would not fit in kSystemPathCapacity bytes.
bool AddDirToPath(const char *folder);

// Stores `value` as the machine-wide PATH (REG_EXPAND_SZ) and tells the top-level windows that
// the environment changed. True if the value was stored and the key closed.
bool WriteSystemPath(const char *value);

// Bound on each message to an add-in runtime window in RegAddin_CloseTarveloProc.
constexpr unsigned kRuntimeWindowTimeoutMs = 5000;
