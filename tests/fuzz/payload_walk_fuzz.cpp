// libFuzzer target: the payload walk over arbitrary bytes, then stepping to the end with paths.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "archive/payload_archive.h"

namespace {

void IgnoreLine(void *, const char *line) {
    // Touch every byte so that an unterminated line shows up under the sanitizers.
    volatile size_t n = std::strlen(line);
    (void)n;
}

uint32_t SmallCluster(void *, const char *) {
    return 512;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // An exact-size heap copy: any read past the end is caught.
    std::vector<uint8_t> bytes(data, data + size);
    PayloadHooks hooks{};
    hooks.writeLine = IgnoreLine;
    hooks.clusterSize = SmallCluster;
    char folder[] = "C:\\Program Files\\Varnok";
    PayloadArchive archive(bytes.empty() ? nullptr : bytes.data(), uint32_t(size), folder, &hooks);
    while (archive.current != nullptr) {
        if (char *path = archive.BuildPath())
            IgnoreLine(nullptr, path);
        archive.IsCompressed();
        const RESITEM *item = archive.current;
        if (item->rectype == 'F' && (item->offset < 0 || item->datalen < 0 ||
                                     uint64_t(item->offset) + item->datalen > size))
            __builtin_trap();
        archive.Next();
    }
    archive.Release();
    return 0;
}
