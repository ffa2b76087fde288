#include "codec/code_tree.h"

#include <algorithm>

namespace vkp {
namespace {

// One pass of merges. The quadratic selection picks, among the active nodes, the lightest with
// the lowest index, then the next. Leaves sorted by (weight, index) form one queue; internal nodes
// are created with non-decreasing weights, so in creation (= index) order they form a second
// sorted queue. Every leaf index is below every internal one, so a tie goes to the leaf.
// Leaf indexes ordered by (weight, index): a stable LSD radix sort over the weight bytes that
// are in use, starting from index order. Weights are mostly small, so one or two passes.
void SortLeaves(const CodeTreeNode *nodes, int n, uint16_t *order) {
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
    if (from != order)
        std::copy(from, from + n, order);
}

void MergeAll(CodeTreeNode *nodes, int n) {
    uint16_t order[AdaptiveCodeTree::kMaxLeaves + 1];
    SortLeaves(nodes, n, order);
    order[n] = 0; // read, never used, when the leaves are exhausted
    // 64-bit copies with an out-of-range sentinel after the last entry keep the two-way choice
    // free of bounds tests, so the compiler can make it branchless.
    constexpr uint64_t kNoNode = UINT64_MAX;
    uint64_t leafWeight[AdaptiveCodeTree::kMaxLeaves + 1];
    uint64_t internalWeight[AdaptiveCodeTree::kMaxLeaves];
    for (int i = 0; i < n; ++i)
        leafWeight[i] = nodes[order[i]].weight;
    leafWeight[n] = kNoNode;
    int nextLeaf = 0;
    int nextInternal = 0; // index into internalWeight; node n + nextInternal
    for (int k = n; k <= 2 * n - 2; ++k) {
        internalWeight[k - n] = kNoNode;
        // First pick; a tie goes to the leaf, whose index is lower.
        uint64_t leaf = leafWeight[nextLeaf];
        uint64_t internal = internalWeight[nextInternal];
        bool takeLeaf = leaf <= internal;
        const int first = takeLeaf ? order[nextLeaf] : n + nextInternal;
        const uint64_t firstWeight = takeLeaf ? leaf : internal;
        nextLeaf += takeLeaf;
        nextInternal += !takeLeaf;
        // Second pick.
        leaf = leafWeight[nextLeaf];
        internal = internalWeight[nextInternal];
        takeLeaf = leaf <= internal;
        const int second = takeLeaf ? order[nextLeaf] : n + nextInternal;
        const uint64_t sum = firstWeight + (takeLeaf ? leaf : internal);
        nextLeaf += takeLeaf;
        nextInternal += !takeLeaf;

        internalWeight[k - n] = sum;
        CodeTreeNode &node = nodes[k];
        node.weight = static_cast<uint32_t>(sum);
        node.child0 = static_cast<uint16_t>(first);
        node.child1 = static_cast<uint16_t>(second);
        nodes[first].parent = static_cast<uint16_t>(k);
        nodes[first].side = 0;
        nodes[second].parent = static_cast<uint16_t>(k);
        nodes[second].side = 1;
    }
    nodes[2 * n - 2].parent = 0; // the root has no parent
}

// Depth of every node; children always have lower indexes than their parent.
int MaxLeafDepth(const CodeTreeNode *nodes, int n, uint16_t *depth) {
    depth[2 * n - 2] = 0;
    int maxDepth = 0;
    for (int k = 2 * n - 2; k >= n; --k) {
        uint16_t d = static_cast<uint16_t>(depth[k] + 1);
        depth[nodes[k].child0] = d;
        depth[nodes[k].child1] = d;
    }
    for (int i = 0; i < n; ++i)
        maxDepth = std::max<int>(maxDepth, depth[i]);
    return maxDepth;
}

} // namespace

void BuildCodeTree(CodeTreeNode *nodes, int n, bool halve) {
    uint16_t depth[2 * AdaptiveCodeTree::kMaxLeaves - 1];
    for (int i = 0; i < n; ++i) {
        nodes[i].child0 = static_cast<uint16_t>(i);
        nodes[i].child1 = static_cast<uint16_t>(i);
    }
    for (;;) {
        MergeAll(nodes, n);
        if (MaxLeafDepth(nodes, n, depth) <= kMaxCodeLength)
            break;
        for (int i = 0; i < n; ++i)
            nodes[i].weight = (nodes[i].weight >> 2) + 1;
    }
    if (halve) {
        for (int i = 0; i < n; ++i)
            nodes[i].weight = (nodes[i].weight >> 1) + 1;
    }
}

void AdaptiveCodeTree::Init(int leafCount, uint32_t step, uint32_t limit) {
    leafCount_ = leafCount;
    step_ = step;
    limit_ = limit;
    countdown_ = step;
    seen_ = step;
    settled_ = false;
    for (int i = 0; i < leafCount; ++i)
        nodes_[i].weight = 1;
    Build(false);
}

void AdaptiveCodeTree::Reschedule() {
    if (settled_) {
        countdown_ = limit_;
        Build(true);
        return;
    }
    seen_ += step_;
    if (seen_ >= limit_)
        settled_ = true;
    countdown_ = step_;
    Build(false);
}

void AdaptiveCodeTree::Build(bool halve) {
    BuildCodeTree(nodes_, leafCount_, halve);
    // Codes top-down: a child's code is its parent's followed by its side bit.
    uint16_t code[2 * kMaxLeaves - 1];
    uint8_t depth[2 * kMaxLeaves - 1];
    const int root = Root();
    code[root] = 0;
    depth[root] = 0;
    for (int k = root; k >= leafCount_; --k) {
        const CodeTreeNode &node = nodes_[k];
        code[node.child0] = static_cast<uint16_t>(code[k] << 1);
        code[node.child1] = static_cast<uint16_t>((code[k] << 1) | 1);
        depth[node.child0] = static_cast<uint8_t>(depth[k] + 1);
        depth[node.child1] = static_cast<uint8_t>(depth[k] + 1);
    }
    for (int i = 0; i < leafCount_; ++i) {
        codes_[i] = code[i];
        lengths_[i] = depth[i];
    }
}

} // namespace vkp
