// libFuzzer target: the PE reader over arbitrary bytes. The resource it finds lies inside the
// file; the image check never reads outside it, and an image it finds whole ends where the file
// does (or where its certificate table begins). Every resource the tree walk lists lies inside
// the file, and the resource writer, given them, makes an image whose new tree lists them all.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "builder/pe_resource.h"
#include "builder/pe_resource_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // An exact-size heap copy: any read past the end is caught.
    const std::vector<uint8_t> bytes(data, data + size);
    const uint8_t *file = bytes.empty() ? nullptr : bytes.data();
    size_t offset = 0;
    uint32_t length = 0;
    std::string error;
    for (uint16_t id : {uint16_t(105), uint16_t(106)}) {
        if (payload::FindPeResource(file, size, "TESTDATA", id, &offset, &length, &error)) {
            if (offset > size || length > size - offset)
                __builtin_trap();
        } else if (error.empty()) {
            __builtin_trap();
        }
    }
    payload::PeImageReport report;
    payload::CheckPeImage(file, size, &report);
    if (report.problems.empty()) {
        const uint64_t end = report.isSigned ? report.signatureOffset : report.imageEnd;
        if (end > size ||
            (report.isSigned && report.signatureOffset + report.signatureSize != size) ||
            (!report.isSigned && report.imageEnd != size))
            __builtin_trap();
    }
    std::vector<payload::PeResourceEntry> entries;
    if (!payload::ReadPeResources(file, size, &entries, &error))
        return 0;
    std::vector<payload::ResourceItem> items;
    for (const payload::PeResourceEntry &e : entries) {
        if (e.offset > size || e.length > size - e.offset)
            __builtin_trap();
        items.push_back({e.type, e.name, e.language, e.codePage, file + e.offset, e.length});
    }
    std::vector<uint8_t> out;
    std::vector<payload::PeResourceEntry> again;
    if (payload::AppendResourceSection(bytes, items, &out, &error) &&
        (!payload::ReadPeResources(out.data(), out.size(), &again, &error) ||
         again.size() != entries.size()))
        __builtin_trap();
    return 0;
}
