#include "codec/code_tree.h"

#include <algorithm>

namespace vkp {
namespace {

// A tree whose leaf weights (each at least 1) sum to less than the Fibonacci number F(19) has no
// leaf deeper than 16: along the path to a leaf at depth d, each node weighs at least the sum of
// the two nodes below it on the path (the sibling was no lighter than the node merged before),
// so the root weighs at least F(d + 2). The warm-up's builds (at most 288 + 3,456) never need the
// depth check.
constexpr uint32_t kNoLongCodeBelow = 4181;

uint64_t Key(const CodeTreeNode *nodes, int leaf) {
    return (static_cast<uint64_t>(nodes[leaf].weight) << 16) | static_cast<uint32_t>(leaf);
}

// The leaves' keys ordered: a stable LSD radix sort of the leaf indexes over the weight bytes
// that are in use, starting from index order. Weights are mostly small, so one or two passes.
void SortKeys(const CodeTreeNode *nodes, int n, uint64_t *keys) {
    uint16_t order[AdaptiveCodeTree::kMaxLeaves];
    uint16_t other[AdaptiveCodeTree::kMaxLeaves];
    uint32_t maxWeight = 0;
    for (int i = 0; i < n; ++i) {
        order[i] = static_cast<uint16_t>(i);
        maxWeight = std::max(maxWeight, nodes[i].weight);
    }
    uint16_t *from = order;
    uint16_t *to = other;
    for (int shift = 0; shift < 32 && (shift == 0 || (maxWeight >> shift) != 0); shift += 8) {
        uint32_t start[257] = {};
        for (int i = 0; i < n; ++i)
            ++start[((nodes[from[i]].weight >> shift) & 0xFF) + 1];
        for (int b = 0; b < 256; ++b)
            start[b + 1] += start[b];
        for (int i = 0; i < n; ++i)
            to[start[(nodes[from[i]].weight >> shift) & 0xFF]++] = from[i];
        std::swap(from, to);
    }
    for (int i = 0; i < n; ++i)
        keys[i] = Key(nodes, from[i]);
}

// The merges, from the leaves' keys in order, that is by (weight, index). The quadratic selection
// picks, among the active nodes, the lightest with the lowest index, then the next. The sorted
// leaves form one queue; internal nodes are created with non-decreasing weights, so in creation (=
// index) order they form a second sorted queue. Every leaf index is below every internal one, so a
// tie goes to the leaf. Writes the children of the internal nodes only.
// keys[n] and keys[n + 1] are overwritten with sentinels.
void MergeAll(CodeTreeNode *nodes, int n, uint64_t *keys) {
    // Weights are compared as 64-bit values with an out-of-range sentinel after the last entry of
    // each queue, which keeps the two-way choice free of bounds tests (and branchless). Two
    // sentinels never meet: while a merge is left to make, two nodes are active.
    constexpr uint64_t kNoNode = (uint64_t(1) << 48) - 1; // above any weight, keyed or summed
    keys[n] = keys[n + 1] = kNoNode << 16;
    const auto leafWeight = [&keys](int i) { return keys[i] >> 16; };
    const auto leafIndex = [&keys](int i) { return static_cast<uint16_t>(keys[i]); };
    uint64_t internalWeight[AdaptiveCodeTree::kMaxLeaves + 1];
    int nextLeaf = 0;
    int nextInternal = 0; // index into internalWeight; node n + nextInternal
    internalWeight[0] = kNoNode;
    for (int k = n; k <= 2 * n - 2; ++k) {
        // Runs of merges of two leaves: while the second next leaf is no heavier than the first
        // waiting internal node, both picks are leaves. New nodes queue behind that internal
        // node, so the run needs no other test: the bulk of rarely seen symbols (weights 1, 2,
        // ...) is paired off this way without the dependent two-way choices below.
        while (leafWeight(nextLeaf + 1) <= internalWeight[nextInternal] && k <= 2 * n - 2) {
            internalWeight[k - n] = leafWeight(nextLeaf) + leafWeight(nextLeaf + 1);
            internalWeight[k - n + 1] = kNoNode;
            nodes[k].child0 = leafIndex(nextLeaf);
            nodes[k].child1 = leafIndex(nextLeaf + 1);
            nextLeaf += 2;
            ++k;
        }
        // Runs of merges of two internal nodes: while the second waiting internal node is
        // lighter than the next leaf (a tie would go to the leaf). The slot after the newest
        // internal node holds kNoNode, so the run stops before using a node not yet made (the
        // first test keeps an empty queue from reading past that slot).
        while (nextInternal < k - n && internalWeight[nextInternal + 1] < leafWeight(nextLeaf) &&
               k <= 2 * n - 2) {
            internalWeight[k - n] = internalWeight[nextInternal] + internalWeight[nextInternal + 1];
            internalWeight[k - n + 1] = kNoNode;
            nodes[k].child0 = static_cast<uint16_t>(n + nextInternal);
            nodes[k].child1 = static_cast<uint16_t>(n + nextInternal + 1);
            nextInternal += 2;
            ++k;
        }
        if (k > 2 * n - 2)
            break;
        // First pick; a tie goes to the leaf, whose index is lower.
        uint64_t leaf = leafWeight(nextLeaf);
        uint64_t internal = internalWeight[nextInternal];
        bool takeLeaf = leaf <= internal;
        const int first = takeLeaf ? leafIndex(nextLeaf) : n + nextInternal;
        const uint64_t firstWeight = takeLeaf ? leaf : internal;
        nextLeaf += takeLeaf;
        nextInternal += !takeLeaf;
        // Second pick.
        leaf = leafWeight(nextLeaf);
        internal = internalWeight[nextInternal];
        takeLeaf = leaf <= internal;
        const int second = takeLeaf ? leafIndex(nextLeaf) : n + nextInternal;
        internalWeight[k - n] = firstWeight + (takeLeaf ? leaf : internal);
        internalWeight[k - n + 1] = kNoNode;
        nextLeaf += takeLeaf;
        nextInternal += !takeLeaf;
        nodes[k].child0 = static_cast<uint16_t>(first);
        nodes[k].child1 = static_cast<uint16_t>(second);
    }
}

// Depth of the deepest leaf; children always have lower indexes than their parent.
int MaxLeafDepth(const CodeTreeNode *nodes, int n) {
    uint8_t depth[2 * AdaptiveCodeTree::kMaxLeaves - 1];
    depth[2 * n - 2] = 0;
    int maxDepth = 0;
    for (int k = 2 * n - 2; k >= n; --k) {
        const uint8_t d = static_cast<uint8_t>(depth[k] + 1);
        depth[nodes[k].child0] = d;
        depth[nodes[k].child1] = d;
    }
    for (int i = 0; i < n; ++i)
        maxDepth = std::max<int>(maxDepth, depth[i]);
    return maxDepth;
}

void ScaleDown(CodeTreeNode *nodes, int n, int shift) {
    for (int i = 0; i < n; ++i)
        nodes[i].weight = (nodes[i].weight >> shift) + 1;
}

uint32_t TotalWeight(const CodeTreeNode *nodes, int n) {
    uint32_t total = 0;
    for (int i = 0; i < n; ++i)
        total += nodes[i].weight;
    return total;
}

} // namespace

void BuildCodeTree(CodeTreeNode *nodes, int n, bool halve) {
    for (int i = 0; i < n; ++i) {
        nodes[i].child0 = static_cast<uint16_t>(i);
        nodes[i].child1 = static_cast<uint16_t>(i);
    }
    uint64_t keys[AdaptiveCodeTree::kMaxLeaves + 2];
    for (;;) {
        SortKeys(nodes, n, keys);
        MergeAll(nodes, n, keys);
        if (MaxLeafDepth(nodes, n) <= kMaxCodeLength)
            break;
        ScaleDown(nodes, n, 2);
    }
    if (halve)
        ScaleDown(nodes, n, 1);
}

void ComputeCodes(const CodeTreeNode *nodes, int n, uint16_t *codes, uint8_t *lengths) {
    // Top-down: a child's code is its parent's followed by its side bit.
    uint16_t code[2 * AdaptiveCodeTree::kMaxLeaves - 1];
    uint8_t depth[2 * AdaptiveCodeTree::kMaxLeaves - 1];
    const int root = 2 * n - 2;
    code[root] = 0;
    depth[root] = 0;
    for (int k = root; k >= n; --k) {
        const CodeTreeNode &node = nodes[k];
        code[node.child0] = static_cast<uint16_t>(code[k] << 1);
        code[node.child1] = static_cast<uint16_t>((code[k] << 1) | 1);
        depth[node.child0] = static_cast<uint8_t>(depth[k] + 1);
        depth[node.child1] = static_cast<uint8_t>(depth[k] + 1);
    }
    std::copy(code, code + n, codes);
    std::copy(depth, depth + n, lengths);
}

void AdaptiveCodeTree::Init(int leafCount, uint32_t step, uint32_t limit, bool withCodes) {
    leafCount_ = leafCount;
    withCodes_ = withCodes;
    step_ = step;
    limit_ = limit;
    countdown_ = step;
    seen_ = step;
    settled_ = false;
    for (int i = 0; i < leafCount; ++i)
        nodes_[i] = {1, static_cast<uint16_t>(i), static_cast<uint16_t>(i)};
    total_ = static_cast<uint32_t>(leafCount);
    orderValid_ = false;
    Build(false);
}

void AdaptiveCodeTree::Reschedule() {
    if (settled_) {
        total_ += limit_; // one count for each symbol since the last build
        countdown_ = limit_;
        Build(true);
        return;
    }
    total_ += step_;
    seen_ += step_;
    if (seen_ >= limit_)
        settled_ = true;
    countdown_ = step_;
    Build(false);
}

// Between warm-up builds only the leaves counted since the last build (at most `step` of them)
// changed weight: the others keep their relative order, so the changed ones are taken out,
// sorted on their own and merged back. That holds after a halving too, where the keys mostly
// all change and the full sort is taken instead.
void AdaptiveCodeTree::SortLeaves() {
    const int n = leafCount_;
    uint64_t *keys = keys_ + 1; // keys_[0] = 0 is below every key
    if (!orderValid_) {
        SortKeys(nodes_, n, keys);
        orderValid_ = true;
        return;
    }
    uint64_t moved[kMaxLeaves];
    int kept = 0;
    int m = 0;
    for (int i = 0; i < n; ++i) {
        const uint64_t key = keys[i];
        const uint64_t now = Key(nodes_, static_cast<int>(key & 0xFFFF));
        const bool changed = now != key;
        keys[kept] = key;
        kept += !changed;
        moved[m] = now;
        m += changed;
    }
    if (m > n / 3) {
        SortKeys(nodes_, n, keys);
        return;
    }
    // The changed keys were collected in their old order, so they are nearly sorted already.
    for (int j = 1; j < m; ++j) {
        const uint64_t key = moved[j];
        int at = j;
        for (; at > 0 && moved[at - 1] > key; --at)
            moved[at] = moved[at - 1];
        moved[at] = key;
    }
    // Merge from the back, without branches on the data; keys are distinct (they hold the index),
    // and every kept key below the smallest moved one stays in place.
    int out = n - 1;
    int i = kept - 1;
    int j = m - 1;
    while (j >= 0) {
        const uint64_t a = keys[i]; // keys[-1] is the 0 sentinel
        const uint64_t b = moved[j];
        const bool takeKept = a > b;
        keys[out--] = takeKept ? a : b;
        i -= takeKept;
        j -= !takeKept;
    }
}

void AdaptiveCodeTree::Build(bool halve) {
    for (;;) {
        SortLeaves();
        MergeAll(nodes_, leafCount_, keys_ + 1);
        if (total_ < kNoLongCodeBelow || MaxLeafDepth(nodes_, leafCount_) <= kMaxCodeLength)
            break;
        ScaleDown(nodes_, leafCount_, 2);
        total_ = TotalWeight(nodes_, leafCount_);
    }
    if (halve) {
        ScaleDown(nodes_, leafCount_, 1);
        total_ = TotalWeight(nodes_, leafCount_);
    }
    if (withCodes_)
        ComputeCodes(nodes_, leafCount_, codes_, lengths_);
}

} // namespace vkp
