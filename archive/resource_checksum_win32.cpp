#include "archive/resource_checksum.h"

namespace payload {

const uint8_t *ResourceBytes(HMODULE module, const char *type, uint16_t id, size_t *size) {
    HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(id), type);
    HGLOBAL loaded = resource ? LoadResource(module, resource) : nullptr;
    const auto *bytes = loaded ? static_cast<const uint8_t *>(LockResource(loaded)) : nullptr;
    *size = bytes ? SizeofResource(module, resource) : 0;
    return bytes;
}

ChecksumResult CheckResourceChecksum(HMODULE module, const char *type, uint16_t dataId,
                                     uint16_t checksumId) {
    size_t size = 0, storedSize = 0;
    const uint8_t *data = ResourceBytes(module, type, dataId, &size);
    const uint8_t *stored = ResourceBytes(module, type, checksumId, &storedSize);
    return CheckChecksum(data, size, stored, storedSize);
}

} // namespace payload
