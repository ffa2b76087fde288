// The "VKP1" encoder.
//
// A stream is a sequence of literals (bytes) and matches (length 3..514, distance 1..65535 back),
// each coded with one of two adaptive code trees that encoder and decoder rebuild from the same
// symbol counts on the same schedule (codec/code_tree.h): the literal/length tree over 288
// symbols, the distance tree over 32 codes, and the extra bits of lengths and distances written
// as they are. Everything here is about choosing the symbols; SymbolWriter codes them exactly as
// the decoder will read them.
//
// Finding matches. MatchFinder keeps the last 64 KiB of input with hash chains over 3-byte
// prefixes (match_finder.h); a search follows at most `depth` links of the chain of a position
// and returns candidates of increasing length, each the nearest found for its length.
//
// Parsing, by level:
//   1-2  greedy: take the longest match at each position, or a literal;
//   3-5  lazy: hold a match back one byte in case the next position has a longer one (as
//        deflate does);
//   6-9  optimal: plan up to 4 KiB at a time as a shortest path over positions, where a literal
//        costs its code length and a match the code lengths of its length code and distance code
//        plus their extra bits, all priced with the trees as they stand at the start of the plan.
//        The prices go stale as the trees adapt, so plans are short (512 bytes while the trees
//        are still rebuilt every few dozen symbols) and the last quarter of each plan is planned
//        again with the next one, which also lets a match run across the seam. A match of `nice`
//        bytes or more ends a plan at once. Level 9, for release builds, follows 2,048 chain links.
//
// Memory is fixed: the history window, the chains and one plan's tables, whatever the input size.
// The output depends only on the input and the level: the same bytes give the same stream.
#include "compress/compress.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "compress/match_finder.h"
#include "compress/symbol_writer.h"
#include "codec/stream_format.h"

namespace vkp {
namespace {

enum class ParseMode { kGreedy, kLazy, kOptimal };

struct LevelConfig {
    ParseMode mode;
    int depth;     // hash-chain links followed per search
    uint32_t nice; // a match this long is taken without looking further
};

const LevelConfig &ConfigFor(int level) {
    static const LevelConfig kLevels[kMaxLevel + 1] = {
        {ParseMode::kGreedy, 0, 0},       // unused
        {ParseMode::kGreedy, 4, 32},      // 1
        {ParseMode::kGreedy, 8, 64},      // 2
        {ParseMode::kLazy, 8, 64},        // 3
        {ParseMode::kLazy, 24, 128},      // 4
        {ParseMode::kLazy, 64, 258},      // 5
        {ParseMode::kOptimal, 16, 64},    // 6
        {ParseMode::kOptimal, 48, 128},   // 7
        {ParseMode::kOptimal, 128, 258},  // 8
        {ParseMode::kOptimal, 2048, 514}, // 9: the release level, several times slower
    };
    return kLevels[level];
}

// Bytes the optimal parse plans at once with one snapshot of the code lengths.
constexpr uint32_t kSegment = 4096;
// During the warm-up the codes change every 72 symbols; shorter plans follow them.
constexpr uint32_t kWarmUpSegment = 512;
constexpr uint32_t kLookahead = kSegment + kMaxMatch + 8;
constexpr size_t kOutputFlush = 1u << 16;

class FileSource : public InputSource {
public:
    explicit FileSource(std::FILE *file) : file_(file) {}
    bool Read(uint8_t *data, size_t size) override {
        return std::fread(data, 1, size, file_) == size;
    }

private:
    std::FILE *file_;
};

class MemorySource : public InputSource {
public:
    MemorySource(const uint8_t *data, size_t size) : data_(data), left_(size) {}
    bool Read(uint8_t *data, size_t size) override {
        if (size > left_)
            return false;
        if (size > 0)
            std::memcpy(data, data_, size);
        data_ += size;
        left_ -= size;
        return true;
    }

private:
    const uint8_t *data_;
    size_t left_;
};

class Encoder {
public:
    Encoder(InputSource *source, uint64_t size, const LevelConfig &config,
            std::vector<uint8_t> *out, std::FILE *file)
        : finder_(source, size), config_(config), out_(out), file_(file), writer_(out) {}

    // Returns false with *error set on failure.
    bool Run(std::string *error);

private:
    bool PrepareAt(uint64_t pos, std::string *error);
    bool FlushOutput(bool final, std::string *error);
    bool Worthwhile(uint64_t pos, uint32_t length, uint32_t distance) const;
    void EmitMatch(uint64_t pos, uint32_t length, uint32_t distance);
    bool RunGreedy(std::string *error);
    bool RunLazy(std::string *error);
    bool RunOptimal(std::string *error);
    uint64_t OptimalSegment(uint64_t pos);

    MatchFinder finder_;
    LevelConfig config_;
    std::vector<uint8_t> *out_;
    std::FILE *file_; // null: the stream stays in *out_
    SymbolWriter writer_;
    // The optimal parse's working space, kept from segment to segment: the candidates of the
    // positions searched and not coded yet, in order, and where each position's begin.
    std::vector<MatchCandidate> candidates_;
    std::vector<uint32_t> candidateStart_ = {0};
    std::vector<uint32_t> price_, stepLength_, stepDistance_, path_;
};

bool Encoder::PrepareAt(uint64_t pos, std::string *error) {
    if (finder_.Prepare(pos, kLookahead))
        return true;
    if (error)
        *error = "read error";
    return false;
}

bool Encoder::FlushOutput(bool final, std::string *error) {
    if (file_ == nullptr || (!final && out_->size() < kOutputFlush))
        return true;
    if (!out_->empty() && std::fwrite(out_->data(), 1, out_->size(), file_) != out_->size()) {
        if (error)
            *error = "write error";
        return false;
    }
    out_->clear();
    return true;
}

// A short match far away can cost more than its bytes as literals.
bool Encoder::Worthwhile(uint64_t pos, uint32_t length, uint32_t distance) const {
    if (length < kMinMatch)
        return false;
    if (length > 6)
        return true;
    const uint8_t *p = finder_.At(pos);
    uint32_t literals = 0;
    for (uint32_t i = 0; i < length; ++i)
        literals += writer_.LiteralPrice(p[i]);
    return writer_.LengthPrice(length) + writer_.DistancePrice(distance) < literals;
}

void Encoder::EmitMatch(uint64_t pos, uint32_t length, uint32_t distance) {
    writer_.Match(length, distance);
    for (uint32_t i = 1; i < length; ++i)
        finder_.Insert(pos + i);
}

bool Encoder::RunGreedy(std::string *error) {
    uint64_t pos = 0;
    const uint64_t total = finder_.Total();
    while (pos < total) {
        if (!PrepareAt(pos, error))
            return false;
        uint32_t distance = 0;
        const uint32_t length = finder_.FindLongest(pos, config_.depth, config_.nice, &distance);
        if (Worthwhile(pos, length, distance)) {
            EmitMatch(pos, length, distance);
            pos += length;
        } else {
            writer_.Literal(*finder_.At(pos));
            ++pos;
        }
        if (!FlushOutput(false, error))
            return false;
    }
    return true;
}

// Deflate-style lazy evaluation: a match is held back one byte in case the next one is longer.
bool Encoder::RunLazy(std::string *error) {
    uint64_t pos = 0;
    const uint64_t total = finder_.Total();
    uint32_t heldLength = 0, heldDistance = 0;
    while (pos < total) {
        if (!PrepareAt(pos, error))
            return false;
        uint32_t distance = 0;
        uint32_t length = finder_.FindLongest(pos, config_.depth, config_.nice, &distance);
        if (!Worthwhile(pos, length, distance))
            length = 0;
        if (heldLength > 0) {
            if (heldLength >= length) {
                // pos itself is already inserted by the search above.
                writer_.Match(heldLength, heldDistance);
                for (uint32_t i = 2; i < heldLength; ++i)
                    finder_.Insert(pos - 1 + i);
                pos += heldLength - 1;
                heldLength = 0;
                if (!FlushOutput(false, error))
                    return false;
                continue;
            }
            writer_.Literal(*finder_.At(pos - 1));
        }
        if (length >= config_.nice) {
            EmitMatch(pos, length, distance);
            pos += length;
            heldLength = 0;
        } else if (length > 0) {
            heldLength = length;
            heldDistance = distance;
            ++pos;
        } else {
            writer_.Literal(*finder_.At(pos));
            heldLength = 0;
            ++pos;
        }
        if (!FlushOutput(false, error))
            return false;
    }
    // A held match always ends inside the input, so the loop never stops with one pending.
    return true;
}

// Plans the cheapest way to code up to kSegment bytes (kWarmUpSegment while the codes still
// change every few dozen symbols) from pos with the code lengths now in force (a shortest path
// over positions), emits it and returns the position reached. The last quarter of a plan is not
// coded yet: a match near a plan's end is cut short by it, so those bytes are planned again at
// the start of the next segment, from the candidates found for them this time (a search inserts
// its position into the chains, so it is done once per position).
uint64_t Encoder::OptimalSegment(uint64_t pos) {
    const uint64_t total = finder_.Total();
    const uint32_t segment = writer_.WarmingUp() ? kWarmUpSegment : kSegment;
    const uint32_t tail = segment / 4;
    const uint32_t span = static_cast<uint32_t>(std::min<uint64_t>(segment, total - pos));
    constexpr uint32_t kInfinite = UINT32_MAX;

    uint32_t lengthPrice[kMaxMatch + 1];
    for (uint32_t l = kMinMatch; l <= kMaxMatch; ++l)
        lengthPrice[l] = writer_.LengthPrice(l);
    uint32_t distanceCodePrice[kDistSymbols];
    for (int d = 0; d < kDistSymbols; ++d)
        distanceCodePrice[d] = writer_.DistanceCodePrice(d) + DistanceExtraBits(d);
    uint32_t literalPrice[256];
    for (int b = 0; b < 256; ++b)
        literalPrice[b] = writer_.LiteralPrice(static_cast<uint8_t>(b));

    price_.assign(span + 1, kInfinite);
    stepLength_.resize(span + 1); // written before read: every reached position gets a step
    stepDistance_.resize(span + 1);
    price_[0] = 0;

    // Positions 0 .. searched - 1 of this segment were searched by the previous one.
    const uint32_t searched = static_cast<uint32_t>(candidateStart_.size()) - 1;
    MatchCandidate found[kMaxMatch];
    const uint8_t *data = finder_.At(pos);
    uint32_t end = span;
    uint32_t forcedLength = 0, forcedDistance = 0;
    for (uint32_t i = 0; i < span; ++i) {
        if (i >= searched) {
            const int count = finder_.FindAll(pos + i, config_.depth, config_.nice, found);
            if (count > 0 && found[count - 1].length >= config_.nice) {
                // A long match: take it as it is and end the plan here.
                end = i;
                forcedLength = found[count - 1].length;
                forcedDistance = found[count - 1].distance;
                break;
            }
            candidates_.insert(candidates_.end(), found, found + count);
            candidateStart_.push_back(static_cast<uint32_t>(candidates_.size()));
        }
        const uint32_t here = price_[i];
        const uint32_t viaLiteral = here + literalPrice[data[i]];
        if (viaLiteral < price_[i + 1]) {
            price_[i + 1] = viaLiteral;
            stepLength_[i + 1] = 1;
        }
        uint32_t length = kMinMatch;
        for (uint32_t k = candidateStart_[i]; k < candidateStart_[i + 1]; ++k) {
            const MatchCandidate &candidate = candidates_[k];
            const uint32_t distancePrice = distanceCodePrice[DistanceCode(candidate.distance)];
            const uint32_t longest = std::min(candidate.length, span - i);
            for (; length <= longest; ++length) {
                const uint32_t cost = here + lengthPrice[length] + distancePrice;
                if (cost < price_[i + length]) {
                    price_[i + length] = cost;
                    stepLength_[i + length] = length;
                    stepDistance_[i + length] = candidate.distance;
                }
            }
        }
    }

    // Walk back from the end, then code the steps forwards up to the last position reached at or
    // before the tail (all of them at the end of the input or before a long match).
    path_.clear();
    for (uint32_t at = end; at > 0; at -= stepLength_[at])
        path_.push_back(at);
    const bool whole = forcedLength > 0 || pos + end == total || end <= tail;
    uint32_t from = 0;
    for (size_t k = path_.size(); k-- > 0;) {
        const uint32_t to = path_[k];
        if (!whole && to > end - tail && from > 0) // at least one step, so the parse moves on
            break;
        const uint32_t length = to - from;
        if (length == 1)
            writer_.Literal(data[from]);
        else
            writer_.Match(length, stepDistance_[to]); // positions inside were searched
        from = to;
    }
    // Keep the candidates of the searched positions not coded yet.
    if (whole) {
        candidates_.clear();
        candidateStart_.assign(1, 0);
    } else {
        const uint32_t first = candidateStart_[from];
        candidates_.erase(candidates_.begin(), candidates_.begin() + first);
        candidateStart_.erase(candidateStart_.begin(), candidateStart_.begin() + from);
        for (uint32_t &start : candidateStart_)
            start -= first;
    }
    if (forcedLength > 0) {
        EmitMatch(pos + end, forcedLength, forcedDistance);
        return pos + end + forcedLength;
    }
    return pos + from;
}

bool Encoder::RunOptimal(std::string *error) {
    uint64_t pos = 0;
    while (pos < finder_.Total()) {
        if (!PrepareAt(pos, error))
            return false;
        pos = OptimalSegment(pos);
        if (!FlushOutput(false, error))
            return false;
    }
    return true;
}

bool Encoder::Run(std::string *error) {
    bool ok;
    switch (config_.mode) {
    case ParseMode::kGreedy:
        ok = RunGreedy(error);
        break;
    case ParseMode::kLazy:
        ok = RunLazy(error);
        break;
    default:
        ok = RunOptimal(error);
        break;
    }
    if (!ok)
        return false;
    writer_.Finish();
    return FlushOutput(true, error);
}

void AppendHeader(uint64_t size, std::vector<uint8_t> *out) {
    out->insert(out->end(), kStreamMagic, kStreamMagic + 4);
    for (int shift = 24; shift >= 0; shift -= 8)
        out->push_back(static_cast<uint8_t>(size >> shift));
}

bool CheckArguments(uint64_t size, int level, std::string *error) {
    if (level < kMinLevel || level > kMaxLevel) {
        if (error)
            *error = "level must be 1 to 9";
        return false;
    }
    if (size > UINT32_MAX) {
        if (error)
            *error = "input larger than 4 GiB - 1 bytes";
        return false;
    }
    return true;
}

} // namespace

bool CompressFile(std::FILE *in, uint64_t size, std::FILE *out, int level, std::string *error) {
    if (!CheckArguments(size, level, error))
        return false;
    std::vector<uint8_t> pending;
    pending.reserve(kOutputFlush + 4096);
    AppendHeader(size, &pending);
    FileSource source(in);
    auto encoder = std::make_unique<Encoder>(&source, size, ConfigFor(level), &pending, out);
    return encoder->Run(error);
}

bool CompressBuffer(const uint8_t *data, size_t size, std::vector<uint8_t> *out, int level,
                    std::string *error) {
    if (!CheckArguments(size, level, error))
        return false;
    AppendHeader(size, out);
    MemorySource source(data, size);
    auto encoder = std::make_unique<Encoder>(&source, size, ConfigFor(level), out, nullptr);
    return encoder->Run(error);
}

} // namespace vkp
