#include "compress/match_finder.h"

#include <algorithm>
#include <cstring>

namespace vkp {
namespace {
constexpr uint32_t kChunk = 1u << 20;
constexpr uint32_t kMaxAhead = 1u << 16;
} // namespace

MatchFinder::MatchFinder(InputSource *source, uint64_t totalSize)
    : source_(source), total_(totalSize),
      buffer_(static_cast<size_t>(std::min<uint64_t>(kHistory + kMaxAhead + kChunk, totalSize))),
      head_(1u << kHashBits, kNone), prev_(kHistory, kNone) {}

bool MatchFinder::Prepare(uint64_t pos, uint32_t ahead) {
    ahead = std::min(ahead, kMaxAhead);
    if (loadedEnd_ >= total_ || loadedEnd_ - pos >= ahead)
        return true;
    // Slide: keep the history the matches may reach, drop the rest, then fill the free space.
    const uint64_t keepFrom = pos > kHistory ? std::max(bufferStart_, pos - kHistory) : 0;
    const size_t keep = static_cast<size_t>(loadedEnd_ - keepFrom);
    if (keepFrom > bufferStart_) {
        std::memmove(buffer_.data(), buffer_.data() + (keepFrom - bufferStart_), keep);
        bufferStart_ = keepFrom;
    }
    const size_t room = buffer_.size() - keep;
    const size_t want = static_cast<size_t>(std::min<uint64_t>(room, total_ - loadedEnd_));
    if (!source_->Read(buffer_.data() + keep, want))
        return false;
    loadedEnd_ += want;
    return true;
}

uint32_t MatchFinder::Link(uint64_t pos) {
    const uint32_t h = Hash(pos);
    const uint32_t first = head_[h];
    head_[h] = static_cast<uint32_t>(pos);
    prev_[pos & (kHistory - 1)] = first;
    return first;
}

void MatchFinder::Insert(uint64_t pos) {
    if (loadedEnd_ - pos >= kMinMatch)
        Link(pos);
}

uint32_t MatchFinder::MatchLength(const uint8_t *a, const uint8_t *b, uint32_t limit) const {
    uint32_t n = 0;
    while (n + 8 <= limit) {
        uint64_t x, y;
        std::memcpy(&x, a + n, 8);
        std::memcpy(&y, b + n, 8);
        const uint64_t diff = x ^ y;
        if (diff != 0) {
            // Little-endian hosts and targets only (x86, x86-64).
            return n + static_cast<uint32_t>(__builtin_ctzll(diff) >> 3);
        }
        n += 8;
    }
    while (n < limit && a[n] == b[n])
        ++n;
    return n;
}

int MatchFinder::FindAll(uint64_t pos, int depth, uint32_t nice, MatchCandidate *out) {
    const uint32_t limit = MaxLength(pos);
    if (limit < kMinMatch)
        return 0;
    uint32_t candidate = Link(pos);
    const uint8_t *here = At(pos);
    uint32_t best = kMinMatch - 1;
    int count = 0;
    uint64_t previous = pos;
    while (candidate != kNone && candidate < previous && pos - candidate <= kMaxDistance &&
           depth-- > 0) {
        const uint8_t *there = At(candidate);
        if (there[best] == here[best]) {
            const uint32_t length = MatchLength(there, here, limit);
            if (length > best) {
                best = length;
                out[count++] = {length, static_cast<uint32_t>(pos - candidate)};
                if (length >= nice || length == limit)
                    break;
            }
        }
        previous = candidate;
        candidate = prev_[candidate & (kHistory - 1)];
    }
    return count;
}

uint32_t MatchFinder::FindLongest(uint64_t pos, int depth, uint32_t nice, uint32_t *distance) {
    MatchCandidate found[kMaxMatch];
    const int count = FindAll(pos, depth, nice, found);
    if (count == 0)
        return 0;
    *distance = found[count - 1].distance;
    return found[count - 1].length;
}

} // namespace vkp
