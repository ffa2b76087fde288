// The payload's checksum: the SHA-256 of the payload resource's bytes (TESTDATA 105), which the
// build stores in a second resource beside it (TESTDATA 106), so that an installer damaged in a
// download or on a disk refuses to run instead of installing damaged files. The stream format
// itself carries no checksum. The uninstaller's list of installed files is covered the same way.
//
// The hashing comes from the platform: CNG (BCrypt) on Windows, OpenSSL's libcrypto elsewhere.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace payload {

constexpr uint16_t kChecksumResourceId = 106;   // of type kResourceType, beside the payload
constexpr uint16_t kListChecksumResourceId = 2; // of type kInstallListResourceType
constexpr size_t kChecksumSize = 32;            // a SHA-256 digest, stored as its raw bytes

// The SHA-256 of `size` bytes into `digest`; false when the platform cannot compute it.
bool Sha256(const uint8_t *data, size_t size, uint8_t digest[kChecksumSize]);

// Lower-case hex text of a digest.
std::string ChecksumText(const uint8_t digest[kChecksumSize]);

enum class ChecksumResult {
    Matches,     // the data is what the build made
    Mismatch,    // the data, or the stored checksum, was changed: damaged
    NotStored,   // no checksum (an older build, or made by hand): nothing to check
    Unavailable, // the platform could not compute the hash
};

// Checks `data` against `stored` (`storedSize` bytes; null or empty when there is none). A stored
// checksum of the wrong size counts as a mismatch.
ChecksumResult CheckChecksum(const uint8_t *data, size_t size, const uint8_t *stored,
                             size_t storedSize);

} // namespace payload
