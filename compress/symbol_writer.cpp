#include "compress/symbol_writer.h"

namespace vkp {
namespace {

struct LengthCodeTable {
    uint8_t code[kMaxMatch + 1];
    LengthCodeTable() : code() {
        for (int i = 0; i < kLengthCodes; ++i) {
            const uint32_t first = LengthBase(i);
            const uint32_t last = first + (1u << LengthExtraBits(i)) - 1;
            for (uint32_t length = first; length <= last; ++length)
                code[length] = static_cast<uint8_t>(i);
        }
    }
};

const LengthCodeTable &LengthCodes() {
    static const LengthCodeTable table;
    return table;
}

int HighestBit(uint32_t v) {
    return 31 - __builtin_clz(v);
} // v > 0

} // namespace

int LengthCode(uint32_t length) {
    return LengthCodes().code[length];
}

int DistanceCode(uint32_t distance) {
    if (distance < 4)
        return static_cast<int>(distance);
    // distance in [2^(n+1), 2^(n+2)) has n extra bits; the bit below the top picks the half.
    const int n = HighestBit(distance) - 1;
    return 4 + 2 * (n - 1) + static_cast<int>((distance >> n) & 1);
}

SymbolWriter::SymbolWriter(std::vector<uint8_t> *out) : out_(out) {
    lit_.Init(kLitLenSymbols, kLitLenStep, kLitLenLimit);
    dist_.Init(kDistSymbols, kDistStep, kDistLimit);
}

void SymbolWriter::Match(uint32_t length, uint32_t distance) {
    const int li = LengthCode(length);
    const int symbol = kFirstLengthSymbol + li;
    PutBits(lit_.Code(symbol), lit_.Length(symbol));
    lit_.Count(symbol);
    PutBits(length - LengthBase(li), LengthExtraBits(li));
    const int di = DistanceCode(distance);
    PutBits(dist_.Code(di), dist_.Length(di));
    dist_.Count(di);
    PutBits(distance - DistanceBase(di), DistanceExtraBits(di));
}

void SymbolWriter::Finish() {
    if (bits_ > 0)
        PutBits(0, 16 - bits_);
}

uint32_t SymbolWriter::LengthPrice(uint32_t length) const {
    const int li = LengthCode(length);
    return lit_.Length(kFirstLengthSymbol + li) + static_cast<uint32_t>(LengthExtraBits(li));
}

uint32_t SymbolWriter::DistancePrice(uint32_t distance) const {
    const int di = DistanceCode(distance);
    return dist_.Length(di) + static_cast<uint32_t>(DistanceExtraBits(di));
}

} // namespace vkp
