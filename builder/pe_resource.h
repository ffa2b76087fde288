// Reads a Windows executable (PE) file held in memory, without Windows: finds a resource in it,
// and checks that the image is whole.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace payload {

// True when the bytes start like an executable ("MZ").
bool LooksLikeExecutable(const uint8_t *data, size_t size);

// Finds the resource of the named type `typeName` (compared with case ignored, as Windows does)
// and numeric id `id`, in its first language. On success sets `*offset` and `*length` to where
// its bytes lie in the file and returns true; otherwise returns false with the reason in `*error`.
// Every structure is checked to lie inside the `size` bytes before it is read.
bool FindPeResource(const uint8_t *data, size_t size, const char *typeName, uint16_t id,
                    size_t *offset, uint32_t *length, std::string *error);

// What CheckPeImage found.
struct PeImageReport {
    std::vector<std::string> problems; // one line each; none when the image is whole
    uint16_t sections = 0;
    bool hasSymbols = false;  // a COFF symbol table follows the sections
    bool checksumSet = false; // the header carries a checksum (checked when set)
    bool isSigned = false;    // a certificate table (Authenticode signature) ends the file
    uint64_t sectionsEnd = 0; // where the sections' data ends
    uint64_t imageEnd = 0;    // where headers, sections and symbols end
    uint64_t signatureOffset = 0, signatureSize = 0;
};

// Checks the image as the loader and a signature check would read it: the headers, the section
// table and every section's data inside the file, the data directories inside the image, nothing
// missing and nothing after the image but its padding and certificate table, and the header's
// checksum when one is set (the linker sets it; a signing tool sets it anew).
void CheckPeImage(const uint8_t *data, size_t size, PeImageReport *report);

// The header checksum of a PE file: its 16-bit words summed with end-around carry, the checksum
// field itself skipped, plus the file's length.
uint32_t PeChecksum(const uint8_t *data, size_t size, size_t checksumOffset);

// Where the header checksum of the image lies; false when the headers cannot be read.
bool PeChecksumOffset(const uint8_t *data, size_t size, size_t *offset);

// A resource's type or name: a number, or (when `text` is not empty) a name in UTF-16.
struct ResourceName {
    uint16_t id = 0;
    std::u16string text;

    bool operator==(const ResourceName &other) const {
        return id == other.id && text == other.text;
    }
};

// One resource as the directory lists it: where its bytes lie in the file.
struct PeResourceEntry {
    ResourceName type, name;
    uint16_t language = 0;
    uint32_t codePage = 0;
    size_t offset = 0; // of its bytes in the file
    uint32_t length = 0;
};

// Every resource of the image, in directory order. The tree has three levels (type, name,
// language) and every part of it is checked to lie inside the file. False with the reason in
// `*error`; an image without a resource directory gives an empty list.
bool ReadPeResources(const uint8_t *data, size_t size, std::vector<PeResourceEntry> *entries,
                     std::string *error);

// Where the fields lie that a writer changes to add one section, and their values.
struct PeLayout {
    uint16_t machine = 0;
    uint16_t sectionCount = 0;
    size_t sectionCountField = 0; // file offsets of the fields
    size_t sizeOfInitializedDataField = 0;
    size_t sizeOfImageField = 0;
    size_t checksumField = 0;
    size_t resourceDirectoryField = 0; // 0: the table has no resource entry
    size_t sectionTable = 0;
    uint32_t sectionAlignment = 0, fileAlignment = 0, sizeOfHeaders = 0, sizeOfImage = 0;
    size_t symbolTableField = 0;
    uint32_t symbolCount = 0;
    uint64_t sectionsEnd = 0; // where the sections' data ends in the file
    uint64_t imageEnd = 0;    // where the symbols (and their string table) end, if any
    bool hasSymbols = false, isSigned = false;
};

// The layout of an image that CheckPeImage finds whole; false with the reason in `*error`.
bool ReadPeLayout(const uint8_t *data, size_t size, PeLayout *layout, std::string *error);

} // namespace payload
