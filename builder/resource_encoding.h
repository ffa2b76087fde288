// The bytes of the resources that carry a product's identity, as the resource compiler lays
// them out: string-table blocks and the version resource (VS_VERSIONINFO).
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace payload {

// A string table is stored in blocks of 16 strings: string `id` lies in the block whose
// resource id is id / 16 + 1, at place id % 16.
using StringBlock = std::array<std::u16string, 16>;

inline uint16_t StringBlockId(uint16_t stringId) {
    return uint16_t(stringId / 16 + 1);
}

// Reads one block: 16 strings, each its length in UTF-16 units and then the units. False with
// the reason in `*error` when a string runs past the `size` bytes.
bool DecodeStringBlock(const uint8_t *data, size_t size, StringBlock *block, std::string *error);

std::vector<uint8_t> EncodeStringBlock(const StringBlock &block);

// What a version resource says, in US English (0x409) and Unicode (code page 1200).
struct VersionInfo {
    std::array<uint16_t, 4> fileVersion{}; // also the product version, as four numbers
    uint32_t fileOs = 0x40004;             // VOS_NT_WINDOWS32
    uint32_t fileType = 1;                 // VFT_APP
    std::vector<std::pair<std::string, std::string>> strings; // ASCII name and value
};

std::vector<uint8_t> EncodeVersionResource(const VersionInfo &info);

// "2.4.1.318" as four numbers, missing ones 0: one to four dot-separated decimal numbers of at
// most 65535 each. False for anything else.
bool ParseVersionNumbers(const std::string &text, std::array<uint16_t, 4> *numbers);

// Text of printable ASCII in UTF-16.
std::u16string WidenAscii(const std::string &text);

} // namespace payload
