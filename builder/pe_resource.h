// Finds a resource inside a Windows executable (PE) file held in memory, without Windows.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace payload {

// True when the bytes start like an executable ("MZ").
bool LooksLikeExecutable(const uint8_t *data, size_t size);

// Finds the resource of the named type `typeName` (compared with case ignored, as Windows does)
// and numeric id `id`, in its first language. On success sets `*offset` and `*length` to where
// its bytes lie in the file and returns true; otherwise returns false with the reason in `*error`.
// Every structure is checked to lie inside the `size` bytes before it is read.
bool FindPeResource(const uint8_t *data, size_t size, const char *typeName, uint16_t id,
                    size_t *offset, uint32_t *length, std::string *error);

} // namespace payload
