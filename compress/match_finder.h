// Sliding input buffer with hash chains over the last 65,535 bytes, reading its input in chunks
// so memory stays bounded whatever the input size.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "codec/stream_format.h"

namespace vkp {

// Supplies the input, in order. Read fills exactly `size` bytes or returns false.
class InputSource {
public:
    virtual ~InputSource() = default;
    virtual bool Read(uint8_t *data, size_t size) = 0;
};

struct MatchCandidate {
    uint32_t length;
    uint32_t distance;
};

class MatchFinder {
public:
    // Bytes kept behind the current position: the longest distance, rounded up.
    static constexpr uint32_t kHistory = 65536;

    MatchFinder(InputSource *source, uint64_t totalSize);

    // Makes bytes [pos, pos + ahead) available (or up to the end of the input). False on a read
    // error. Bytes from pos - 65535 on stay available.
    bool Prepare(uint64_t pos, uint32_t ahead);

    uint64_t Total() const { return total_; }
    // Bytes available from pos on, at most kMaxMatch.
    uint32_t MaxLength(uint64_t pos) const {
        const uint64_t left = loadedEnd_ - pos;
        return left < kMaxMatch ? static_cast<uint32_t>(left) : kMaxMatch;
    }
    const uint8_t *At(uint64_t pos) const { return buffer_.data() + (pos - bufferStart_); }

    // Finds matches at pos, the next position not yet inserted, and inserts it. Fills `out` with
    // candidates of strictly increasing length (each the nearest found for its length), follows at
    // most `depth` chain links and stops at `nice`. Returns the count.
    int FindAll(uint64_t pos, int depth, uint32_t nice, MatchCandidate *out);
    // Longest match only; returns its length (0 if below 3), distance in *distance.
    uint32_t FindLongest(uint64_t pos, int depth, uint32_t nice, uint32_t *distance);
    // Inserts pos without searching.
    void Insert(uint64_t pos);

private:
    static constexpr int kHashBits = 16;
    static constexpr uint32_t kNone = UINT32_MAX;

    uint32_t Hash(uint64_t pos) const {
        const uint8_t *p = At(pos);
        const uint32_t v = (static_cast<uint32_t>(p[0]) << 16) | (p[1] << 8) | p[2];
        return (v * 2654435761u) >> (32 - kHashBits);
    }
    // Returns the first chain candidate and links pos in.
    uint32_t Link(uint64_t pos);
    uint32_t MatchLength(const uint8_t *a, const uint8_t *b, uint32_t limit) const;

    InputSource *source_;
    uint64_t total_;
    std::vector<uint8_t> buffer_;
    uint64_t bufferStart_ = 0; // input position of buffer_[0]
    uint64_t loadedEnd_ = 0;   // input position after the last loaded byte
    std::vector<uint32_t> head_;
    std::vector<uint32_t> prev_; // indexed by position & (kHistory - 1)
};

} // namespace vkp
