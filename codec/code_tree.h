// The adaptive code trees shared by the "VKP1" decoder and encoder. Both sides must build
// bit-identical trees from the same symbol counts, so this is the only construction there is.
#pragma once
#include <cstdint>

namespace vkp {

constexpr int kLitLenSymbols = 288; // 0..255 literal bytes, 256..287 match-length codes
constexpr int kDistSymbols = 32;    // distance codes
constexpr int kMaxCodeLength = 16;

constexpr uint32_t kLitLenStep = 72;
constexpr uint32_t kLitLenLimit = 3456;
constexpr uint32_t kDistStep = 8;
constexpr uint32_t kDistLimit = 384;

// One node of a tree of n leaves held in an array of 2n - 1 nodes: leaves are 0..n-1 (index =
// symbol), internal nodes n..2n-2 in creation order, the root is 2n - 2. A leaf is its own child;
// an internal node's children always have lower indexes than the node itself. Only leaf weights
// are kept: internal weights exist during a build only.
struct CodeTreeNode {
    uint32_t weight;
    uint16_t child0; // reached by bit 0
    uint16_t child1; // reached by bit 1
};

inline bool IsLeaf(const CodeTreeNode *nodes, int index) {
    return nodes[index].child0 == index;
}

// Builds the tree over nodes[0 .. 2n-2] from the leaf weights nodes[0 .. n-1].weight, merging
// the two lightest active nodes (ties: lowest index first) until the root. While any code would
// be longer than 16 bits, every leaf weight w becomes (w >> 2) + 1 and the build starts over.
// When `halve` is set, the leaf weights are then replaced by (w >> 1) + 1 for the next build.
// The leaf weights must sum to less than 2^32 - 1 (always true for counts within a stream).
// Runs in O(n log n) and gives exactly the trees of the plain quadratic selection.
void BuildCodeTree(CodeTreeNode *nodes, int leafCount, bool halve);

// Code and length of every leaf of a built tree (first bit = most significant of the code).
void ComputeCodes(const CodeTreeNode *nodes, int leafCount, uint16_t *codes, uint8_t *lengths);

// A code tree with its rebuild schedule, as the coder keeps one for each alphabet. The encoder
// asks for the code of each leaf after every build (`withCodes`); the decoder walks the nodes.
class AdaptiveCodeTree {
public:
    static constexpr int kMaxLeaves = kLitLenSymbols;

    // Weights all 1, first build, schedule reset. leafCount is 2..288.
    void Init(int leafCount, uint32_t step, uint32_t limit, bool withCodes = true);

    // Counts one coded symbol and ticks the schedule. Returns true when the tree was rebuilt.
    bool Count(int symbol) {
        ++nodes_[symbol].weight;
        if (--countdown_ != 0)
            return false;
        Reschedule();
        return true;
    }

    int LeafCount() const { return leafCount_; }
    int Root() const { return 2 * leafCount_ - 2; }
    const CodeTreeNode *Nodes() const { return nodes_; }
    // Only with `withCodes`.
    uint16_t Code(int symbol) const { return codes_[symbol]; }
    uint8_t Length(int symbol) const { return lengths_[symbol]; }
    uint32_t Weight(int symbol) const { return nodes_[symbol].weight; }
    // Symbols still to count before the next rebuild.
    uint32_t Countdown() const { return countdown_; }
    // Past the warm-up: rebuilt every `limit` symbols.
    bool Settled() const { return settled_; }

private:
    void Reschedule();
    void Build(bool halve);
    void SortLeaves();

    CodeTreeNode nodes_[2 * kMaxLeaves - 1];
    // Leaf keys (weight << 16 | index) in order as of the last build's weights, from keys_[1]:
    // a rebuild re-sorts only the leaves whose weight changed since. keys_[0] stays 0; the two
    // slots after the last key are the merge's sentinels.
    uint64_t keys_[kMaxLeaves + 3] = {};
    uint16_t codes_[kMaxLeaves];
    uint8_t lengths_[kMaxLeaves];
    int leafCount_ = 0;
    bool orderValid_ = false;
    bool withCodes_ = true;
    uint32_t total_ = 0; // sum of the leaf weights as of the last build
    uint32_t step_ = 0;
    uint32_t limit_ = 0;
    uint32_t countdown_ = 0;
    uint32_t seen_ = 0;
    bool settled_ = false;
};

} // namespace vkp
