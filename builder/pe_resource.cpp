#include "builder/pe_resource.h"

#include <cstring>

namespace payload {

namespace {

constexpr uint32_t kHighBit = 0x80000000u;

struct Reader {
    const uint8_t *data;
    size_t size;

    bool Has(uint64_t at, uint64_t n) const { return at <= size && n <= size - at; }
    uint16_t U16(size_t at) const { return uint16_t(data[at] | data[at + 1] << 8); }
    uint32_t U32(size_t at) const {
        return uint32_t(data[at]) | uint32_t(data[at + 1]) << 8 | uint32_t(data[at + 2]) << 16 |
               uint32_t(data[at + 3]) << 24;
    }
};

struct Section {
    uint32_t virtualAddress, virtualSize, rawSize, rawPointer;
};

struct Image {
    Reader r{nullptr, 0};
    size_t sectionTable = 0;
    uint16_t sectionCount = 0;
    size_t resourceBase = 0; // file offset of the resource directory
    std::string error;

    bool Fail(const char *why) {
        error = why;
        return false;
    }

    // File offset of `length` bytes at `rva`, all inside one section's raw data.
    bool RvaToOffset(uint32_t rva, uint32_t length, size_t *offset) const {
        for (uint16_t i = 0; i < sectionCount; ++i) {
            const size_t s = sectionTable + size_t(i) * 40;
            Section sec{r.U32(s + 12), r.U32(s + 8), r.U32(s + 16), r.U32(s + 20)};
            if (rva < sec.virtualAddress)
                continue;
            const uint64_t inside = uint64_t(rva) - sec.virtualAddress;
            if (inside + length > sec.rawSize)
                continue;
            const uint64_t at = uint64_t(sec.rawPointer) + inside;
            if (!r.Has(at, length))
                return false;
            *offset = size_t(at);
            return true;
        }
        return false;
    }

    bool Open() {
        if (!r.Has(0, 64) || r.data[0] != 'M' || r.data[1] != 'Z')
            return Fail("not an executable: no \"MZ\" header");
        const uint32_t pe = r.U32(0x3C);
        if (!r.Has(pe, 24) || std::memcmp(r.data + pe, "PE\0\0", 4) != 0)
            return Fail("no PE header");
        sectionCount = r.U16(pe + 6);
        const uint16_t optionalSize = r.U16(pe + 20);
        const size_t optional = size_t(pe) + 24;
        if (!r.Has(optional, optionalSize) || optionalSize < 2)
            return Fail("PE optional header cut short");
        const uint16_t magic = r.U16(optional);
        size_t countAt, directories;
        if (magic == 0x10B) {
            countAt = 92;
            directories = 96;
        } else if (magic == 0x20B) {
            countAt = 108;
            directories = 112;
        } else {
            return Fail("unknown PE optional header kind");
        }
        if (optionalSize < countAt + 4 || r.U32(optional + countAt) < 3 ||
            optionalSize < directories + 3 * 8)
            return Fail("the executable has no resource directory");
        const uint32_t rva = r.U32(optional + directories + 16);
        sectionTable = optional + optionalSize;
        if (!r.Has(sectionTable, uint64_t(sectionCount) * 40))
            return Fail("PE section table cut short");
        if (rva == 0 || !RvaToOffset(rva, 16, &resourceBase))
            return Fail("the executable has no resources");
        return true;
    }

    bool NameMatches(uint32_t nameOffset, const char *name) const {
        const uint64_t at = uint64_t(resourceBase) + nameOffset;
        if (!r.Has(at, 2))
            return false;
        const size_t length = r.U16(size_t(at));
        if (length != std::strlen(name) || !r.Has(at + 2, uint64_t(length) * 2))
            return false;
        for (size_t i = 0; i < length; ++i) {
            uint16_t c = r.U16(size_t(at) + 2 + i * 2);
            if (c >= 'a' && c <= 'z')
                c = uint16_t(c - 32);
            char n = name[i];
            if (n >= 'a' && n <= 'z')
                n = char(n - 32);
            if (c != uint16_t(static_cast<unsigned char>(n)))
                return false;
        }
        return true;
    }

    // Finds in the directory at `dirOffset` (from the resource base) the entry that matches the
    // name, the id, or (neither given) the first entry. Returns its OffsetToData value.
    bool FindEntry(uint32_t dirOffset, const char *name, int id, uint32_t *target) {
        const uint64_t dir = uint64_t(resourceBase) + dirOffset;
        if (!r.Has(dir, 16))
            return Fail("resource directory lies outside the file");
        const uint32_t named = r.U16(size_t(dir) + 12);
        const uint32_t ids = r.U16(size_t(dir) + 14);
        if (!r.Has(dir + 16, uint64_t(named + ids) * 8))
            return Fail("resource directory entries lie outside the file");
        for (uint32_t i = 0; i < named + ids; ++i) {
            const size_t e = size_t(dir) + 16 + size_t(i) * 8;
            const uint32_t nameField = r.U32(e);
            const bool isNamed = (nameField & kHighBit) != 0;
            bool match = name == nullptr && id < 0;
            if (name != nullptr && isNamed)
                match = NameMatches(nameField & ~kHighBit, name);
            if (id >= 0 && !isNamed)
                match = nameField == uint32_t(id);
            if (match) {
                *target = r.U32(e + 4);
                return true;
            }
        }
        return Fail("not found");
    }
};

} // namespace

bool LooksLikeExecutable(const uint8_t *data, size_t size) {
    return size >= 2 && data[0] == 'M' && data[1] == 'Z';
}

bool FindPeResource(const uint8_t *data, size_t size, const char *typeName, uint16_t id,
                    size_t *offset, uint32_t *length, std::string *error) {
    Image image;
    image.r = Reader{data, size};
    uint32_t typeDir, idDir, language;
    const std::string wanted =
        std::string("no resource of type \"") + typeName + "\" with id " + std::to_string(id);
    if (!image.Open()) {
        *error = wanted + ": " + image.error;
        return false;
    }
    if (!image.FindEntry(0, typeName, -1, &typeDir) || !(typeDir & kHighBit) ||
        !image.FindEntry(typeDir & ~kHighBit, nullptr, id, &idDir) || !(idDir & kHighBit) ||
        !image.FindEntry(idDir & ~kHighBit, nullptr, -1, &language) || (language & kHighBit)) {
        if (image.error.empty())
            image.error = "resource directory is malformed";
        *error = wanted + ": " + image.error;
        return false;
    }
    const uint64_t entry = uint64_t(image.resourceBase) + language;
    if (!image.r.Has(entry, 16)) {
        *error = "resource data entry lies outside the file";
        return false;
    }
    const uint32_t rva = image.r.U32(size_t(entry));
    const uint32_t bytes = image.r.U32(size_t(entry) + 4);
    if (!image.RvaToOffset(rva, bytes, offset)) {
        *error = "resource bytes lie outside the file";
        return false;
    }
    *length = bytes;
    return true;
}

} // namespace payload
