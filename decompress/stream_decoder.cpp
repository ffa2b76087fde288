#include "decompress/stream_decoder.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "codec/code_tree.h"
#include "decompress/decompress.h"
#include "codec/stream_format.h"

namespace vkp {
namespace {

constexpr int kLitTableBits = 10;
constexpr int kDistTableBits = 8;
// Unwritten bytes never exceed this plus one match, well inside the window.
constexpr uint64_t kFlushThreshold = 65536;

// Everything one decode needs, allocated once: window, trees and their lookup tables.
struct DecoderState {
    uint8_t window[kWindowSize];
    AdaptiveCodeTree litTree;
    AdaptiveCodeTree distTree;
    // Entry: symbol in the low 16 bits, code length in bits 16..23; length 0 marks a code longer
    // than the table, which is walked from the root.
    uint32_t litTable[1u << kLitTableBits];
    uint32_t distTable[1u << kDistTableBits];
};

bool IsLeaf(const CodeTreeNode &node, int index) {
    return node.child0 == index;
}

// Every table index is either covered by a code of at most tableBits bits or is the prefix of
// longer codes (the code is complete), so no clearing pass is needed.
void FillTable(const AdaptiveCodeTree &tree, uint32_t *table, int tableBits) {
    for (int s = 0; s < tree.LeafCount(); ++s) {
        const int length = tree.Length(s);
        if (length > tableBits) {
            table[tree.Code(s) >> (length - tableBits)] = 0;
            continue;
        }
        const uint32_t first = static_cast<uint32_t>(tree.Code(s)) << (tableBits - length);
        const uint32_t count = 1u << (tableBits - length);
        const uint32_t entry = static_cast<uint32_t>(s) | (static_cast<uint32_t>(length) << 16);
        for (uint32_t i = 0; i < count; ++i)
            table[first + i] = entry;
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
        while (!IsLeaf(nodes[node], node))
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

// Table-driven reader over a bounded stream. Bits past the end read as zero; taking any of them
// marks the stream as run out, so the result is the same as the reference reader's.
class TableReader {
public:
    TableReader(const uint8_t *data, const uint8_t *end, DecoderState *state)
        : pos_(data), end_(end), state_(state) {
        FillTable(state->litTree, state->litTable, kLitTableBits);
        FillTable(state->distTree, state->distTable, kDistTableBits);
    }

    uint32_t Bits(int n) {
        if (n == 0)
            return 0;
        Refill();
        const uint32_t value = static_cast<uint32_t>(buffer_ >> (64 - n));
        Consume(n);
        return value;
    }

    int Decode(AdaptiveCodeTree &tree) {
        if (&tree == &state_->litTree)
            return DecodeWith<kLitTableBits>(tree, state_->litTable);
        return DecodeWith<kDistTableBits>(tree, state_->distTable);
    }

    bool Failed() const { return failed_; }

private:
    template <int kTableBits> int DecodeWith(AdaptiveCodeTree &tree, uint32_t *table) {
        Refill();
        const uint32_t entry = table[buffer_ >> (64 - kTableBits)];
        int symbol = static_cast<int>(entry & 0xFFFF);
        int length = static_cast<int>(entry >> 16);
        if (length == 0) { // longer than the table: walk the remaining bits
            const CodeTreeNode *nodes = tree.Nodes();
            int node = tree.Root();
            while (!IsLeaf(nodes[node], node)) {
                node = ((buffer_ >> (63 - length)) & 1) ? nodes[node].child1 : nodes[node].child0;
                ++length;
            }
            symbol = node;
        }
        Consume(length);
        if (tree.Count(symbol))
            FillTable(tree, table, kTableBits);
        return symbol;
    }

    // Tops the buffer up to at least 49 bits while whole words remain.
    void Refill() {
        if (count_ > 48)
            return;
        if (end_ - pos_ >= 8) {
            uint64_t next;
            std::memcpy(&next, pos_, 8);
            next = __builtin_bswap64(next); // big-endian words; x86 and x86-64 are little-endian
            const int words = (64 - count_) >> 4; // 1..4 whole words fit
            const int bits = words * 16;
            buffer_ |= (bits == 64 ? next : next >> (64 - bits)) << (64 - bits - count_);
            pos_ += 2 * words;
            count_ += bits;
            return;
        }
        while (count_ <= 48 && end_ - pos_ >= 2) {
            buffer_ |= static_cast<uint64_t>((pos_[0] << 8) | pos_[1]) << (48 - count_);
            pos_ += 2;
            count_ += 16;
        }
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

    const uint8_t *pos_;
    const uint8_t *end_;
    DecoderState *state_;
    uint64_t buffer_ = 0; // next bits, first one in bit 63
    int count_ = 0;
    bool failed_ = false;
};

// Copies `length` bytes from `distance` back, byte by byte in effect: a distance shorter than the
// length repeats the latest bytes. Distances 0 and beyond the start read whatever the window holds.
void CopyMatch(uint8_t *window, uint64_t produced, uint32_t distance, uint32_t length) {
    uint32_t to = static_cast<uint32_t>(produced) & kWindowMask;
    uint32_t from = static_cast<uint32_t>(produced - distance) & kWindowMask;
    if (distance >= 8 && to + length <= kWindowSize && from + length <= kWindowSize) {
        // Chunks of 8 never read bytes written by the same chunk when distance >= 8.
        uint8_t *dst = window + to;
        const uint8_t *src = window + from;
        if (distance >= length) {
            std::memcpy(dst, src, length);
            return;
        }
        while (length >= 8) {
            std::memcpy(dst, src, 8);
            dst += 8;
            src += 8;
            length -= 8;
        }
        while (length-- > 0)
            *dst++ = *src++;
        return;
    }
    while (length-- > 0) {
        window[to] = window[from];
        to = (to + 1) & kWindowMask;
        from = (from + 1) & kWindowMask;
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

template <class Reader>
int DecodeLoop(Reader &reader, DecoderState *state, uint32_t size, ByteSink *sink) {
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
    // A zero-filled window makes corrupt streams that reach before the start deterministic.
    // calloc gives it zeroed without a clearing pass over pages a small file never touches.
    void *memory = std::calloc(1, sizeof(DecoderState));
    if (memory == nullptr)
        return kDecompressBadStream;
    DecoderState *state = new (memory) DecoderState; // default-initialised: the zeros stay
    state->litTree.Init(kLitLenSymbols, kLitLenStep, kLitLenLimit);
    state->distTree.Init(kDistSymbols, kDistStep, kDistLimit);

    const uint8_t *data = stream + kStreamHeaderSize;
    const bool bounded = streamLength != kUnboundedStream;
    int result;
    if (bounded && method == DecodeMethod::kTable) {
        TableReader reader(data, stream + streamLength, state);
        result = DecodeLoop(reader, state, size, sink);
    } else {
        WalkReader reader(data, bounded ? stream + streamLength : nullptr);
        result = DecodeLoop(reader, state, size, sink);
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
