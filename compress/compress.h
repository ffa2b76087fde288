// Encoder for "VKP1" compressed streams, the exact counterpart of decompress/.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace vkp {

constexpr int kMinLevel = 1;
constexpr int kDefaultLevel = 6;
constexpr int kMaxLevel = 9;

// Compresses `size` bytes read sequentially from `in` into one stream written to `out`.
// Returns true on success; on failure (read/write error, size over 4 GiB - 1, bad level) returns
// false and, when `error` is not null, describes the failure there. Memory stays bounded whatever
// the size; the output is the same for the same input and level.
bool CompressFile(std::FILE *in, uint64_t size, std::FILE *out, int level, std::string *error);

// In-memory convenience form: the whole stream is appended to `out`.
bool CompressBuffer(const uint8_t *data, size_t size, std::vector<uint8_t> *out, int level,
                    std::string *error);

} // namespace vkp
