#include "archive/payload_checksum.h"

#include <cstring>

namespace payload {

std::string ChecksumText(const uint8_t digest[kChecksumSize]) {
    static const char kHex[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < kChecksumSize; ++i) {
        text += kHex[digest[i] >> 4];
        text += kHex[digest[i] & 15];
    }
    return text;
}

ChecksumResult CheckChecksum(const uint8_t *data, size_t size, const uint8_t *stored,
                             size_t storedSize) {
    if (stored == nullptr || storedSize == 0)
        return ChecksumResult::NotStored;
    if (storedSize != kChecksumSize)
        return ChecksumResult::Mismatch;
    uint8_t digest[kChecksumSize];
    if (!Sha256(data, size, digest))
        return ChecksumResult::Unavailable;
    return std::memcmp(digest, stored, kChecksumSize) == 0 ? ChecksumResult::Matches
                                                           : ChecksumResult::Mismatch;
}

} // namespace payload
