// The program's own resources and the SHA-256 stored beside them: the installer's payload, the
// uninstaller's list; and the SHA-256 of a file on disk. Windows only.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "archive/payload_checksum.h"

namespace payload {

// Why a checksum cannot be checked on Windows, for the user.
constexpr char kChecksumUnavailableReason[] =
    "Windows' cryptography library (bcrypt.dll) is missing from the system folder or does not "
    "work";

// The bytes of resource `id` of the named `type` in `module` (they stay mapped for the life of the
// process) and their count; null when the resource is missing.
const uint8_t *ResourceBytes(HMODULE module, const char *type, uint16_t id, size_t *size);

// Resource `dataId` checked against the SHA-256 stored as resource `checksumId` of the same type.
// Unavailable when the system's library cannot be had (kChecksumUnavailableReason): a program
// that relies on the check must not go on then.
ChecksumResult CheckResourceChecksum(HMODULE module, const char *type, uint16_t dataId,
                                     uint16_t checksumId);

// Hashes files on disk, the system's library loaded once for all of them.
class FileHasher {
public:
    FileHasher();
    ~FileHasher();
    FileHasher(const FileHasher &) = delete;
    FileHasher &operator=(const FileHasher &) = delete;

    // The SHA-256 of what `file` holds from its current position to its end, read in pieces,
    // and the number of bytes read. False when a read fails or the library cannot be had.
    bool Hash(HANDLE file, uint64_t *size, uint8_t digest[kChecksumSize]);

private:
    struct Library;
    Library *library_;
    uint8_t *buffer_;
};

} // namespace payload
