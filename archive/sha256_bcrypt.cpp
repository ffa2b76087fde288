// SHA-256 through Windows' CNG (bcrypt.dll), on Windows and under Wine alike. The library is
// loaded from the system folder when a checksum is needed, not imported: an imported bcrypt.dll
// would be looked for beside the installer first, before its first line runs.
#include <windows.h>
#include <bcrypt.h>

#include <new>

#include "archive/payload_checksum.h"
#include "archive/resource_checksum.h"
#include "syslib/system_library.h"

namespace payload {

namespace {

constexpr DWORD kFileHashBuffer = 256 * 1024;

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

// Hashes what `feed` hands over, piece by piece, until it returns 0 pieces; `feed` returns false
// when its source fails.
template <typename Feed> bool HashWith(const Cng &cng, Feed feed, uint8_t digest[kChecksumSize]) {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (cng.openAlgorithm(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0)
        return false;
    BCRYPT_HASH_HANDLE hash = nullptr;
    bool ok = cng.createHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) == 0;
    for (;;) {
        const uint8_t *piece = nullptr;
        ULONG length = 0;
        ok = ok && feed(&piece, &length);
        if (!ok || length == 0)
            break;
        ok = cng.hashData(hash, const_cast<PUCHAR>(piece), length, 0) == 0;
    }
    ok = ok && cng.finishHash(hash, digest, kChecksumSize, 0) == 0;
    if (hash)
        cng.destroyHash(hash);
    cng.closeAlgorithm(algorithm, 0);
    return ok;
}

// bcrypt.dll from the system folder and its functions, for as long as this lives.
struct SystemCng {
    HMODULE module;
    Cng cng;
    SystemCng() : module(syslib::LoadSystemLibrary("bcrypt.dll")), cng(module) {}
    ~SystemCng() {
        if (module)
            FreeLibrary(module);
    }
    SystemCng(const SystemCng &) = delete;
    SystemCng &operator=(const SystemCng &) = delete;
};

} // namespace

bool Sha256(const uint8_t *data, size_t size, uint8_t digest[kChecksumSize]) {
    // BCryptHashData takes a ULONG count: larger data goes in pieces.
    const auto feed = [&data, &size](const uint8_t **piece, ULONG *length) {
        *piece = data;
        *length = size > 0x40000000 ? 0x40000000 : static_cast<ULONG>(size);
        data += *length;
        size -= *length;
        return true;
    };
    const SystemCng library;
    return library.cng.Complete() && HashWith(library.cng, feed, digest);
}

// Loaded once for the many files one hasher reads.
struct FileHasher::Library : SystemCng {};

FileHasher::FileHasher()
    : library_(new (std::nothrow) Library), buffer_(new (std::nothrow) uint8_t[kFileHashBuffer]) {}

FileHasher::~FileHasher() {
    delete library_;
    delete[] buffer_;
}

bool FileHasher::Hash(HANDLE file, uint64_t *size, uint8_t digest[kChecksumSize]) {
    *size = 0;
    if (!library_ || !buffer_ || !library_->cng.Complete())
        return false;
    const auto feed = [&](const uint8_t **piece, ULONG *length) {
        DWORD read = 0;
        if (!ReadFile(file, buffer_, kFileHashBuffer, &read, nullptr))
            return false;
        *piece = buffer_;
        *length = read;
        *size += read;
        return true;
    };
    return HashWith(library_->cng, feed, digest);
}

} // namespace payload
