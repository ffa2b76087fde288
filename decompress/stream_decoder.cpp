#include "decompress/stream_decoder.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "codec/code_tree.h"
#include "codec/stream_format.h"
#include "decompress/decompress.h"

namespace vkp {
namespace {

constexpr int kLitTableBits = 10;
constexpr int kDistTableBits = 8;
constexpr int kLitWarmUpBits = 6;
constexpr int kDistWarmUpBits = 3;
// Bytes after the window that a match copy may write past its end (whole 8-byte chunks).
constexpr uint32_t kCopySlack = 8;
// Unwritten bytes never exceed this plus one match, well inside the window.
constexpr uint64_t kFlushThreshold = 65536;

// Decode table entry: a leaf's symbol with its code length, or (kDeeper) the internal node
// reached after the table's bits, from which longer codes are walked bit by bit.
constexpr uint32_t kDeeper = 0x8000;
constexpr int kLengthShift = 16;
// Symbols a tree must stay in force for a table to be filled for it.
constexpr uint32_t kTableFrom = 256;

struct CodeTables {
    uint8_t lengthExtra[kLengthCodes];
    uint16_t lengthBase[kLengthCodes];
    uint8_t distanceExtra[kDistSymbols];
    uint32_t distanceBase[kDistSymbols];
    constexpr CodeTables() : lengthExtra(), lengthBase(), distanceExtra(), distanceBase() {
        for (int i = 0; i < kLengthCodes; ++i) {
            lengthExtra[i] = static_cast<uint8_t>(LengthExtraBits(i));
            lengthBase[i] = static_cast<uint16_t>(LengthBase(i));
        }
        for (int i = 0; i < kDistSymbols; ++i) {
            distanceExtra[i] = static_cast<uint8_t>(DistanceExtraBits(i));
            distanceBase[i] = DistanceBase(i);
        }
    }
};
constexpr CodeTables kCodes;

// A lookup table over the next `bits` bits of the stream (at most kMaxBits). During the
// warm-up a tree changes every few dozen symbols: a small table over the first levels costs
// little to fill and spares most of the walk; once a tree stays for hundreds of symbols, the
// full table pays.
template <int kMaxBits> struct DecodeTable {
    int bits;
    uint32_t entry[1u << kMaxBits];
};

// Everything one decode needs, allocated once: window, trees and their lookup tables.
struct DecoderState {
    uint8_t window[kWindowSize + kCopySlack];
    AdaptiveCodeTree litTree;
    AdaptiveCodeTree distTree;
    DecodeTable<kLitTableBits> litTable;
    DecodeTable<kDistTableBits> distTable;
};

// Fills the table straight from the tree's nodes, top-down to tableBits levels: a leaf at depth
// d covers 2^(tableBits - d) entries, an internal node at depth tableBits one. The code is
// complete, so every entry is written and no clearing pass is needed.
void FillTable(const AdaptiveCodeTree &tree, uint32_t *table, int tableBits) {
    const CodeTreeNode *nodes = tree.Nodes();
    const int leaves = tree.LeafCount();
    struct Pending {
        uint16_t node;
        uint16_t prefix;
        int depth;
    };
    Pending stack[2 * kMaxCodeLength + 2];
    int top = 0;
    stack[top++] = {static_cast<uint16_t>(tree.Root()), 0, 0};
    while (top > 0) {
        const Pending at = stack[--top];
        const int depth = at.depth + 1;
        for (int side = 0; side < 2; ++side) {
            const int child = side ? nodes[at.node].child1 : nodes[at.node].child0;
            const uint32_t prefix = (static_cast<uint32_t>(at.prefix) << 1) | side;
            if (child < leaves) { // leaves are the nodes 0 .. n - 1
                const uint32_t entry =
                    static_cast<uint32_t>(child) | (static_cast<uint32_t>(depth) << kLengthShift);
                uint32_t *first = table + (prefix << (tableBits - depth));
                std::fill(first, first + (1u << (tableBits - depth)), entry);
            } else if (depth == tableBits) {
                table[prefix] = static_cast<uint32_t>(child) | kDeeper;
            } else {
                stack[top++] = {static_cast<uint16_t>(child), static_cast<uint16_t>(prefix), depth};
            }
        }
    }
}

// The reference bit reader: a word is fetched only when a bit is needed, so a valid stream is
// never read past its last word. With a bound, running out sets `failed`.
class WalkReader {
public:
    WalkReader(const uint8_t *data, const uint8_t *end) : pos_(data), end_(end) {}

    uint32_t Bits(int n) {
        uint32_t value = 0;
        for (int i = 0; i < n; ++i)
            value = (value << 1) | Bit();
        return value;
    }

    int Decode(AdaptiveCodeTree &tree) {
        const CodeTreeNode *nodes = tree.Nodes();
        int node = tree.Root();
        while (!IsLeaf(nodes, node))
            node = Bit() ? nodes[node].child1 : nodes[node].child0;
        tree.Count(node);
        return node;
    }

    bool Failed() const { return failed_; }

private:
    uint32_t Bit() {
        if (available_ == 0) {
            if (end_ != nullptr && end_ - pos_ < 2) {
                failed_ = true;
                return 0;
            }
            word_ = static_cast<uint32_t>((pos_[0] << 8) | pos_[1]);
            pos_ += 2;
            available_ = 16;
        }
        --available_;
        return (word_ >> available_) & 1;
    }

    const uint8_t *pos_;
    const uint8_t *end_;
    uint32_t word_ = 0;
    int available_ = 0;
    bool failed_ = false;
};

// Copies `length` bytes from `distance` back as the format's byte-by-byte copy does: a distance
// shorter than the length repeats the latest bytes. The window is not cleared beforehand; a
// corrupt distance (0, or reaching before the first byte) reads as a zero-filled window would.
void CopyMatch(uint8_t *window, uint64_t produced, uint32_t distance, uint32_t length) {
    uint32_t to = static_cast<uint32_t>(produced) & kWindowMask;
    uint32_t from = static_cast<uint32_t>(produced - distance) & kWindowMask;
    if (distance == 0 || distance > produced) {
        // Only in a corrupt stream. Before the window's first wrap, slot `produced` and every
        // slot before the first byte are unwritten (zero); after it, distance 0 copies a slot
        // onto itself.
        for (uint32_t i = 0; i < length; ++i) {
            const uint64_t at = produced + i;
            const bool unwritten = at < kWindowSize && (distance == 0 || at < distance);
            window[to] = unwritten ? 0 : window[from];
            to = (to + 1) & kWindowMask;
            from = (from + 1) & kWindowMask;
        }
        return;
    }
    if (to + length > kWindowSize || from + length > kWindowSize) {
        while (length-- > 0) {
            window[to] = window[from];
            to = (to + 1) & kWindowMask;
            from = (from + 1) & kWindowMask;
        }
        return;
    }
    uint8_t *dst = window + to;
    const uint8_t *src = window + from;
    uint8_t *const end = dst + length;
    // Whole 8-byte chunks, up to 7 bytes past the match: those slots are written again before
    // they are flushed, and the window has kCopySlack bytes after its end for them.
    if (distance >= 8) {
        // A chunk never reads bytes written by the same chunk.
        do {
            uint64_t chunk;
            std::memcpy(&chunk, src, 8);
            std::memcpy(dst, &chunk, 8);
            src += 8;
            dst += 8;
        } while (dst < end);
    } else if (distance == 1) {
        const uint64_t chunk = 0x0101010101010101ull * *src;
        do {
            std::memcpy(dst, &chunk, 8);
            dst += 8;
        } while (dst < end);
    } else {
        while (dst < end)
            *dst++ = *src++;
    }
}

bool Flush(const uint8_t *window, uint64_t from, uint64_t to, ByteSink *sink) {
    while (from < to) {
        const uint32_t index = static_cast<uint32_t>(from) & kWindowMask;
        const uint64_t run = std::min<uint64_t>(to - from, kWindowSize - index);
        if (!sink->Write(window + index, static_cast<size_t>(run)))
            return false;
        from += run;
    }
    return true;
}

// The reference decode loop, over the bit-by-bit reader.
int WalkLoop(WalkReader &reader, DecoderState *state, uint32_t size, ByteSink *sink) {
    uint8_t *window = state->window;
    uint64_t produced = 0; // 64-bit: a corrupt final match may run past a size near 4 GiB
    uint64_t written = 0;
    while (produced < size) {
        const int symbol = reader.Decode(state->litTree);
        if (symbol < kFirstLengthSymbol) {
            window[static_cast<uint32_t>(produced) & kWindowMask] = static_cast<uint8_t>(symbol);
            ++produced;
        } else {
            const int li = symbol - kFirstLengthSymbol;
            const uint32_t length = LengthBase(li) + reader.Bits(LengthExtraBits(li));
            const int di = reader.Decode(state->distTree);
            const uint32_t distance = DistanceBase(di) + reader.Bits(DistanceExtraBits(di));
            if (reader.Failed())
                return kDecompressBadStream;
            CopyMatch(window, produced, distance, length);
            produced += length;
        }
        if (reader.Failed())
            return kDecompressBadStream;
        if (produced - written >= kFlushThreshold) {
            if (!Flush(window, written, produced, sink))
                return kDecompressWriteError;
            written = produced;
        }
    }
    return Flush(window, written, produced, sink) ? kDecompressOk : kDecompressWriteError;
}

// Table-driven decoding of a bounded stream. The coded words are big-endian and read from their
// most significant bit, so the bit stream is simply the bytes in order; a 64-bit buffer holds
// the next bits, first one in bit 63. While eight bytes remain, one unchecked load refills it to
// at least 56 bits, enough for a whole match (16 + 6 + 16 + 14 bits); near the end bytes are
// taken one by one and a symbol that needs bits past the last word marks the stream run out,
// exactly where the reference reader runs out.
class TableDecoder {
public:
    TableDecoder(const uint8_t *data, const uint8_t *end, DecoderState *state)
        : pos_(data), end_(data + ((end - data) & ~static_cast<ptrdiff_t>(1))), state_(state) {
        Prepare(state->litTree, &state->litTable, kLitWarmUpBits);
        Prepare(state->distTree, &state->distTable, kDistWarmUpBits);
    }

    int Run(uint32_t size, ByteSink *sink) {
        uint8_t *window = state_->window;
        uint64_t produced = 0;
        uint64_t written = 0;
        while (produced < size) {
            Refill();
            const int symbol =
                Decode<kLitTableBits, kLitWarmUpBits>(state_->litTree, state_->litTable);
            if (symbol < kFirstLengthSymbol) {
                window[static_cast<uint32_t>(produced) & kWindowMask] =
                    static_cast<uint8_t>(symbol);
                ++produced;
            } else {
                const int li = symbol - kFirstLengthSymbol;
                const uint32_t length = kCodes.lengthBase[li] + Bits(kCodes.lengthExtra[li]);
                const int di =
                    Decode<kDistTableBits, kDistWarmUpBits>(state_->distTree, state_->distTable);
                const uint32_t distance = kCodes.distanceBase[di] + Bits(kCodes.distanceExtra[di]);
                if (failed_)
                    return kDecompressBadStream;
                CopyMatch(window, produced, distance, length);
                produced += length;
            }
            if (failed_)
                return kDecompressBadStream;
            if (produced - written >= kFlushThreshold) {
                if (!Flush(window, written, produced, sink))
                    return kDecompressWriteError;
                written = produced;
            }
        }
        return Flush(window, written, produced, sink) ? kDecompressOk : kDecompressWriteError;
    }

private:
    void Refill() {
        if (end_ - pos_ >= 8) {
            uint64_t next;
            std::memcpy(&next, pos_, 8);
            next = __builtin_bswap64(next); // x86 and x86-64 are little-endian
            // Bits past count_ are the stream's own next bits, so loading them again later
            // ORs in the same values.
            buffer_ |= next >> count_;
            pos_ += (63 - count_) >> 3;
            count_ |= 56;
            return;
        }
        while (count_ <= 56 && pos_ < end_) {
            buffer_ |= static_cast<uint64_t>(*pos_++) << (56 - count_);
            count_ += 8;
        }
    }

    uint32_t Bits(int n) {
        // n <= 14; shifting by 64 - 0 would be undefined.
        const uint32_t value = static_cast<uint32_t>((buffer_ >> 1) >> (63 - n));
        Consume(n);
        return value;
    }

    void Consume(int n) {
        if (n > count_) {
            failed_ = true;
            count_ = 0;
            buffer_ = 0;
            return;
        }
        buffer_ <<= n;
        count_ -= n;
    }

    template <int kMaxBits, int kWarmUpBits>
    int Decode(AdaptiveCodeTree &tree, DecodeTable<kMaxBits> &table) {
        const uint32_t entry = table.entry[buffer_ >> (64 - table.bits)];
        int symbol;
        int length;
        if ((entry & kDeeper) == 0) {
            symbol = static_cast<int>(entry & 0xFFFF);
            length = static_cast<int>(entry >> kLengthShift);
        } else { // longer than the table: walk the remaining bits
            const CodeTreeNode *nodes = tree.Nodes();
            int node = static_cast<int>(entry & 0x7FFF);
            length = table.bits;
            const int leaves = tree.LeafCount(); // nodes 0 .. n - 1; a test without a load
            while (node >= leaves) {
                node = ((buffer_ >> (63 - length)) & 1) ? nodes[node].child1 : nodes[node].child0;
                ++length;
            }
            symbol = node;
        }
        Consume(length);
        if (tree.Count(symbol))
            Prepare(tree, &table, kWarmUpBits);
        return symbol;
    }

    template <int kMaxBits>
    static void Prepare(const AdaptiveCodeTree &tree, DecodeTable<kMaxBits> *table,
                        int warmUpBits) {
        table->bits = tree.Countdown() >= kTableFrom ? kMaxBits : warmUpBits;
        FillTable(tree, table->entry, table->bits);
    }

    const uint8_t *pos_;
    const uint8_t *end_; // after the last whole word
    DecoderState *state_;
    uint64_t buffer_ = 0; // next bits, first one in bit 63; zeros past count_ near the end
    int count_ = 0;
    bool failed_ = false;
};

class VectorSink : public ByteSink {
public:
    explicit VectorSink(std::vector<uint8_t> *out) : out_(out) {}
    bool Write(const uint8_t *data, size_t size) override {
        out_->insert(out_->end(), data, data + size);
        return true;
    }

private:
    std::vector<uint8_t> *out_;
};

} // namespace

int DecodeStream(const uint8_t *stream, uint64_t streamLength, ByteSink *sink,
                 DecodeMethod method) {
    if (stream == nullptr || streamLength < kStreamHeaderSize ||
        std::memcmp(stream, kStreamMagic, sizeof kStreamMagic) != 0)
        return kDecompressBadStream;
    const uint32_t size = (static_cast<uint32_t>(stream[4]) << 24) |
                          (static_cast<uint32_t>(stream[5]) << 16) |
                          (static_cast<uint32_t>(stream[6]) << 8) | stream[7];
    // The window is left as allocated: CopyMatch never lets an unwritten byte through.
    void *memory = std::malloc(sizeof(DecoderState));
    if (memory == nullptr)
        return kDecompressBadStream;
    DecoderState *state = new (memory) DecoderState;
    const bool bounded = streamLength != kUnboundedStream;
    const bool table = bounded && method == DecodeMethod::kTable;
    state->litTree.Init(kLitLenSymbols, kLitLenStep, kLitLenLimit, false);
    state->distTree.Init(kDistSymbols, kDistStep, kDistLimit, false);

    const uint8_t *data = stream + kStreamHeaderSize;
    int result;
    if (table) {
        TableDecoder decoder(data, stream + streamLength, state);
        result = decoder.Run(size, sink);
    } else {
        WalkReader reader(data, bounded ? stream + streamLength : nullptr);
        result = WalkLoop(reader, state, size, sink);
    }
    state->~DecoderState();
    std::free(memory);
    return result;
}

int DecodeToBuffer(const uint8_t *stream, uint64_t streamLength, std::vector<uint8_t> *out,
                   DecodeMethod method) {
    out->clear();
    VectorSink sink(out);
    return DecodeStream(stream, streamLength, &sink, method);
}

} // namespace vkp
