// SHA-256 through Windows' CNG (bcrypt.dll), on Windows and under Wine alike.
#include <windows.h>
#include <bcrypt.h>

#include "archive/payload_checksum.h"

namespace payload {

bool Sha256(const uint8_t *data, size_t size, uint8_t digest[kChecksumSize]) {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0)
        return false;
    BCRYPT_HASH_HANDLE hash = nullptr;
    bool ok = BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) == 0;
    // BCryptHashData takes a ULONG count: larger data goes in pieces.
    while (ok && size > 0) {
        const ULONG piece = size > 0x40000000 ? 0x40000000 : static_cast<ULONG>(size);
        ok = BCryptHashData(hash, const_cast<PUCHAR>(data), piece, 0) == 0;
        data += piece;
        size -= piece;
    }
    ok = ok && BCryptFinishHash(hash, digest, kChecksumSize, 0) == 0;
    if (hash)
        BCryptDestroyHash(hash);
    BCryptCloseAlgorithmProvider(algorithm, 0);
    return ok;
}

} // namespace payload
