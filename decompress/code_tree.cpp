#include "decompress/code_tree.h"

#include <algorithm>

namespace vkp {
namespace {

// One pass of merges. The quadratic selection picks, among the active nodes, the lightest with
// the lowest index, then the next. Leaves sorted by (weight, index) form one queue; internal nodes
// are created with non-decreasing weights, so in creation (= index) order they form a second
// sorted queue. Every leaf index is below every internal one, so a tie goes to the leaf.
void MergeAll(CodeTreeNode *nodes, int n) {
    uint16_t order[AdaptiveCodeTree::kMaxLeaves];
    for (int i = 0; i < n; ++i)
        order[i] = static_cast<uint16_t>(i);
    std::sort(order, order + n, [nodes](uint16_t a, uint16_t b) {
        return nodes[a].weight != nodes[b].weight ? nodes[a].weight < nodes[b].weight : a < b;
    });
    int nextLeaf = 0;
    int nextInternal = n;
    for (int k = n; k <= 2 * n - 2; ++k) {
        uint16_t picked[2];
        for (uint16_t &p : picked) {
            if (nextLeaf < n &&
                (nextInternal >= k || nodes[order[nextLeaf]].weight <= nodes[nextInternal].weight))
                p = order[nextLeaf++];
            else
                p = static_cast<uint16_t>(nextInternal++);
        }
        CodeTreeNode &node = nodes[k];
        node.weight = nodes[picked[0]].weight + nodes[picked[1]].weight;
        node.child0 = picked[0];
        node.child1 = picked[1];
        nodes[picked[0]].parent = static_cast<uint16_t>(k);
        nodes[picked[0]].side = 0;
        nodes[picked[1]].parent = static_cast<uint16_t>(k);
        nodes[picked[1]].side = 1;
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
