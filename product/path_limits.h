// The path lengths the programs hold to. Windows' ANSI calls take paths of MAX_PATH characters
// with the NUL; the installer's path buffer is larger so that a path that does not fit is logged
// whole instead of being cut. Lengths count characters without the terminating NUL, sizes with.
#pragma once
#include <cstdint>

namespace product {

// MAX_PATH: a path a system call takes, its NUL included.
constexpr uint32_t kSystemPathSize = 260;
// Longest full path of a file (MAX_PATH less its NUL); the wizard's folder field holds as many.
constexpr uint32_t kMaxFilePathLength = kSystemPathSize - 1;
// Longest full path of a folder: CreateDirectoryA keeps room for an 8.3 name (248 characters
// with the NUL).
constexpr uint32_t kMaxFolderPathLength = 247;
// The installer's path buffer, NUL included: paths have at most 511 characters.
constexpr uint32_t kPathBufferSize = 512;

} // namespace product
