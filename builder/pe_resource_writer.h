// Adds resources to a finished executable without moving anything the linker placed: the
// complete resource tree (the image's own resources, with some replaced, and the new ones) goes
// into one new section after the last one, and the resource directory points at it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "builder/pe_resource.h"

namespace payload {

// One resource of the new tree; its bytes are not owned and must outlive the call.
struct ResourceItem {
    ResourceName type, name;
    uint16_t language = 0;
    uint32_t codePage = 0;
    const uint8_t *data = nullptr;
    size_t size = 0;
};

// Resource type numbers of the resources the builder writes.
constexpr uint16_t kStringTableType = 6; // RT_STRING
constexpr uint16_t kVersionType = 16;    // RT_VERSION

// The resource tree of `items` as it lies in a section at `sectionRva`: the directories sorted
// as the loader's binary search needs them (names before numbers, each ascending), then the
// data entries, the names and the data, each datum aligned to 8 bytes. Two items with the same
// type, name and language are refused.
bool EncodeResourceTree(const std::vector<ResourceItem> &items, uint32_t sectionRva,
                        std::vector<uint8_t> *tree, std::string *error);

// Writes into `*out` the image `image` with a new last section ".rsrc" holding the tree of
// `items`, the resource directory pointing at it, the section count, the initialized data size,
// the image size and the header checksum set anew. Every byte of the existing sections stays as
// it is; the symbol table and its string table, when there, move behind the new section.
// Refuses, with the reason in `*error`, an image that CheckPeImage does not find whole, a signed
// one, and one without room in its headers for one more section header.
bool AppendResourceSection(const std::vector<uint8_t> &image,
                           const std::vector<ResourceItem> &items, std::vector<uint8_t> *out,
                           std::string *error);

} // namespace payload
