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

} // namespace payload
