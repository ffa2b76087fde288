// Codes literals and matches with the adaptive trees, mirroring the decoder symbol for symbol,
// and packs the bits into big-endian 16-bit words.
#pragma once
#include <cstdint>
#include <vector>

#include "codec/code_tree.h"
#include "codec/stream_format.h"

namespace vkp {

// Length code index (symbol - 256) of a match length 3..514.
int LengthCode(uint32_t length);
// Distance code of a distance 1..65535.
int DistanceCode(uint32_t distance);

class SymbolWriter {
public:
    // Coded words are appended to *out.
    explicit SymbolWriter(std::vector<uint8_t> *out);

    void Literal(uint8_t byte) {
        PutBits(lit_.Code(byte), lit_.Length(byte));
        lit_.Count(byte);
    }
    void Match(uint32_t length, uint32_t distance);
    // Pads the last word with zero bits.
    void Finish();

    // Prices in bits with the codes now in force.
    uint32_t LiteralPrice(uint8_t byte) const { return lit_.Length(byte); }
    uint32_t LengthPrice(uint32_t length) const;
    uint32_t DistancePrice(uint32_t distance) const;
    // Symbol-level prices for building tables: literal/length symbol and distance code.
    uint32_t LitLenSymbolPrice(int symbol) const { return lit_.Length(symbol); }
    uint32_t DistanceCodePrice(int code) const { return dist_.Length(code); }
    // The literal/length code is still rebuilt every few dozen symbols.
    bool WarmingUp() const { return !lit_.Settled(); }

private:
    void PutBits(uint32_t value, int count) {
        acc_ = (acc_ << count) | value;
        bits_ += count;
        while (bits_ >= 16) {
            bits_ -= 16;
            const uint32_t word = (acc_ >> bits_) & 0xFFFF;
            out_->push_back(static_cast<uint8_t>(word >> 8));
            out_->push_back(static_cast<uint8_t>(word));
        }
    }

    AdaptiveCodeTree lit_;
    AdaptiveCodeTree dist_;
    std::vector<uint8_t> *out_;
    uint64_t acc_ = 0;
    int bits_ = 0;
};

} // namespace vkp
