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
// symbol), internal nodes n..2n-2 in creation order, the root is 2n - 2. A leaf is its own child.
struct CodeTreeNode {
    uint32_t weight;
    uint16_t parent;
    uint16_t child0; // reached by bit 0
    uint16_t child1; // reached by bit 1
    uint8_t side;    // 0: this node is its parent's child0, 1: child1
};

// Builds the tree over nodes[0 .. 2n-2] from the leaf weights nodes[0 .. n-1].weight, merging
// the two lightest active nodes (ties: lowest index first) until the root. While any code would
// be longer than 16 bits, every leaf weight w becomes (w >> 2) + 1 and the build starts over.
// When `halve` is set, the leaf weights are then replaced by (w >> 1) + 1 for the next build.
// The leaf weights must sum to less than 2^32 - 1 (always true for counts within a stream).
// Runs in O(n log n) and gives exactly the trees of the plain quadratic selection.
void BuildCodeTree(CodeTreeNode *nodes, int leafCount, bool halve);

// A code tree with its rebuild schedule, as the coder keeps one for each alphabet. After every
// build the code of each leaf is available (first bit = most significant of `Code`).
class AdaptiveCodeTree {
public:
    static constexpr int kMaxLeaves = kLitLenSymbols;

    // Weights all 1, first build, schedule reset. leafCount is 2..288.
    void Init(int leafCount, uint32_t step, uint32_t limit);

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
    uint16_t Code(int symbol) const { return codes_[symbol]; }
    uint8_t Length(int symbol) const { return lengths_[symbol]; }
    uint32_t Weight(int symbol) const { return nodes_[symbol].weight; }

private:
    void Reschedule();
    void Build(bool halve);

    CodeTreeNode nodes_[2 * kMaxLeaves - 1];
    uint16_t codes_[kMaxLeaves];
    uint8_t lengths_[kMaxLeaves];
    int leafCount_ = 0;
    uint32_t step_ = 0;
    uint32_t limit_ = 0;
    uint32_t countdown_ = 0;
    uint32_t seen_ = 0;
    bool settled_ = false;
};

} // namespace vkp
