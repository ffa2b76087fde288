// Turns the project's stubs (Setup.exe and Uninstall.exe without a product, cmake/VnxStubs.cmake)
// into the programs of one product: the stub's resources stay as they are, the string table's
// product identity is filled in and the product's resources are added
// (builder/pe_resource_writer.h).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "builder/pe_resource.h"

namespace vnxpack {

enum class Program { Setup, Uninstall };

const char *ProgramName(Program program); // "Setup", "Uninstall"

// What the string table says of the product, and the uninstaller's version resource.
struct ProductIdentity {
    std::string version; // dotted numbers, at most 29 characters (the payload's preamble)
    std::string build;   // one to four dotted numbers of at most 65535
    std::string date;    // printable ASCII, as the version box shows it
};

// True when the identity can go into the programs; else false with what is wrong in `*error`.
bool CheckIdentity(const ProductIdentity &identity, std::string *error);

struct Stub {
    Program program = Program::Setup;
    std::vector<uint8_t> bytes;
    std::vector<payload::PeResourceEntry> resources;
    uint16_t machine = 0; // 0x14C (x86) or 0x8664 (x64)
};

// Takes `bytes` as the stub of `program`: a whole image (payload::CheckPeImage), unsigned and
// without symbols, that says it is this program of the project (resource VNXPROGRAM 1) and
// carries none of what the maker adds: no payload, no installation list, no version resource,
// no product identity in its string table. False with the reason in `*error`.
bool OpenStub(Program program, std::vector<uint8_t> bytes, Stub *stub, std::string *error);

// A resource the maker adds, in US English as the resource scripts give every resource.
struct AddedResource {
    std::string type; // a resource type name, upper case
    uint16_t id = 0;
    std::vector<uint8_t> data;
};

// The stub with the identity in its string table, the uninstaller's version resource and
// `added`, in a new last section; the header checksum set. False with the reason in `*error`.
bool FinishProgram(const Stub &stub, const ProductIdentity &identity,
                   const std::vector<AddedResource> &added, std::vector<uint8_t> *image,
                   std::string *error);

} // namespace vnxpack
