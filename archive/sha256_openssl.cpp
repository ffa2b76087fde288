// SHA-256 through OpenSSL's libcrypto, for the builds that have no Windows to ask (the payload
// builder on Linux and the native tests).
#include <openssl/evp.h>

#include "archive/payload_checksum.h"

namespace payload {

bool Sha256(const uint8_t *data, size_t size, uint8_t digest[kChecksumSize]) {
    unsigned int length = 0;
    return EVP_Digest(data, size, digest, &length, EVP_sha256(), nullptr) == 1 &&
           length == kChecksumSize;
}

} // namespace payload
