// libFuzzer target: the payload walk over arbitrary bytes, then stepping to the end with paths.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "archive/payload_archive.h"
#include "archive/payload_platform.h"

namespace {

void Touch(const char *line) {
    // Touch every byte so that an unterminated line shows up under the sanitizers.
    volatile size_t n = std::strlen(line);
    (void)n;
}

struct Quiet : payload::Platform {
    void WriteLine(const char *line) override { Touch(line); }
    uint32_t ClusterSize(const char *) override { return 512; }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // An exact-size heap copy: any read past the end is caught.
    std::vector<uint8_t> bytes(data, data + size);
    Quiet platform;
    char folder[] = "C:\\Program Files\\Varnok";
    PayloadArchive archive(bytes.empty() ? nullptr : bytes.data(), uint32_t(size), folder,
                           &platform);
    while (archive.current != nullptr) {
        if (char *path = archive.BuildPath())
            Touch(path);
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
