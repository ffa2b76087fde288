// SHA-256 through Windows' CNG (bcrypt.dll), on Windows and under Wine alike. The library is
// loaded from the system folder when a checksum is needed, not imported: an imported bcrypt.dll
// would be looked for beside the installer first, before its first line runs.
#include <windows.h>
#include <bcrypt.h>

#include "archive/payload_checksum.h"
#include "archive/system_library.h"

namespace payload {

namespace {

// The CNG functions the hash needs; all null when the library or one of them is missing.
struct Cng {
    decltype(&BCryptOpenAlgorithmProvider) openAlgorithm = nullptr;
    decltype(&BCryptCreateHash) createHash = nullptr;
    decltype(&BCryptHashData) hashData = nullptr;
    decltype(&BCryptFinishHash) finishHash = nullptr;
    decltype(&BCryptDestroyHash) destroyHash = nullptr;
    decltype(&BCryptCloseAlgorithmProvider) closeAlgorithm = nullptr;

    explicit Cng(HMODULE library)
        : openAlgorithm(
              syslib::Function<decltype(openAlgorithm)>(library, "BCryptOpenAlgorithmProvider")),
          createHash(syslib::Function<decltype(createHash)>(library, "BCryptCreateHash")),
          hashData(syslib::Function<decltype(hashData)>(library, "BCryptHashData")),
          finishHash(syslib::Function<decltype(finishHash)>(library, "BCryptFinishHash")),
          destroyHash(syslib::Function<decltype(destroyHash)>(library, "BCryptDestroyHash")),
          closeAlgorithm(
              syslib::Function<decltype(closeAlgorithm)>(library, "BCryptCloseAlgorithmProvider")) {
    }
    bool Complete() const {
        return openAlgorithm && createHash && hashData && finishHash && destroyHash &&
               closeAlgorithm;
    }
};

bool HashWith(const Cng &cng, const uint8_t *data, size_t size, uint8_t digest[kChecksumSize]) {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (cng.openAlgorithm(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0)
        return false;
    BCRYPT_HASH_HANDLE hash = nullptr;
    bool ok = cng.createHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) == 0;
    // BCryptHashData takes a ULONG count: larger data goes in pieces.
    while (ok && size > 0) {
        const ULONG piece = size > 0x40000000 ? 0x40000000 : static_cast<ULONG>(size);
        ok = cng.hashData(hash, const_cast<PUCHAR>(data), piece, 0) == 0;
        data += piece;
        size -= piece;
    }
    ok = ok && cng.finishHash(hash, digest, kChecksumSize, 0) == 0;
    if (hash)
        cng.destroyHash(hash);
    cng.closeAlgorithm(algorithm, 0);
    return ok;
}

} // namespace

bool Sha256(const uint8_t *data, size_t size, uint8_t digest[kChecksumSize]) {
    HMODULE library = syslib::LoadSystemLibrary("bcrypt.dll");
    const Cng cng(library);
    const bool ok = cng.Complete() && HashWith(cng, data, size, digest);
    if (library)
        FreeLibrary(library);
    return ok;
}

} // namespace payload
