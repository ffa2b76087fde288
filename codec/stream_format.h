// Layout constants of a "VKP1" stream, shared by the decoder and the encoder.
#pragma once
#include <cstdint>

namespace vkp {

constexpr uint8_t kStreamMagic[4] = {'V', 'K', 'P', '1'};
constexpr uint32_t kStreamHeaderSize = 8; // magic + big-endian uncompressed size
constexpr uint32_t kWindowSize = 131072;  // decoder window; twice the longest distance
constexpr uint32_t kWindowMask = kWindowSize - 1;
constexpr uint32_t kMinMatch = 3;
constexpr uint32_t kMaxMatch = 514;
constexpr uint32_t kMaxDistance = 65535;
constexpr int kLengthCodes = 32; // literal/length symbols 256..287
constexpr int kFirstLengthSymbol = 256;

// Extra bits and smallest length of length code i (symbol 256 + i).
constexpr int LengthExtraBits(int i) {
    return i < 8 ? 0 : ((i - 8) >> 2) + 1;
}
constexpr uint32_t LengthBase(int i) {
    return i < 8 ? 3u + static_cast<uint32_t>(i)
                 : 3u + (1u << (LengthExtraBits(i) + 2)) +
                       (static_cast<uint32_t>((i - 8) & 3) << LengthExtraBits(i));
}

// Extra bits and smallest distance of distance code i.
constexpr int DistanceExtraBits(int i) {
    return i < 4 ? 0 : ((i - 4) >> 1) + 1;
}
constexpr uint32_t DistanceBase(int i) {
    return i < 4 ? static_cast<uint32_t>(i)
                 : (1u << (DistanceExtraBits(i) + 1)) +
                       (static_cast<uint32_t>((i - 4) & 1) << DistanceExtraBits(i));
}

static_assert(LengthBase(31) + (1u << LengthExtraBits(31)) - 1 == kMaxMatch, "length table");
static_assert(LengthBase(8) == 11 && LengthBase(28) == 259, "length table");
static_assert(DistanceBase(31) + (1u << DistanceExtraBits(31)) - 1 == kMaxDistance, "distances");
static_assert(DistanceBase(4) == 4 && DistanceBase(16) == 256, "distance table");

} // namespace vkp
