// The production tree construction and schedule against a plain model of the quadratic selection.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "codec/code_tree.h"
#include "tests/unit/codec/test_streams.h"

namespace {

using codectest::ModelBuild;
using codectest::ModelNode;
using codectest::ModelTree;
using vkp::AdaptiveCodeTree;
using vkp::CodeTreeNode;

// Builds both from the same weights and compares every node (the children fix the parents).
void ExpectSameTree(const std::vector<uint32_t> &weights, bool halve) {
    const int n = static_cast<int>(weights.size());
    std::vector<ModelNode> model(2 * n - 1);
    std::vector<CodeTreeNode> fast(2 * n - 1);
    for (int i = 0; i < n; ++i) {
        model[i].weight = weights[i];
        fast[i].weight = weights[i];
    }
    ModelBuild(model, n, halve);
    vkp::BuildCodeTree(fast.data(), n, halve);
    for (int k = 0; k < 2 * n - 1; ++k) {
        ASSERT_EQ(model[k].child0, fast[k].child0) << "node " << k;
        ASSERT_EQ(model[k].child1, fast[k].child1) << "node " << k;
        if (k < n) {
            ASSERT_EQ(model[k].weight, fast[k].weight) << "leaf " << k;
        }
    }
}

std::vector<uint32_t> Fibonacci(int n, int count) {
    std::vector<uint32_t> w(n, 1);
    uint32_t a = 1, b = 1;
    for (int i = 0; i < count && i < n; ++i) {
        w[i] = a;
        const uint32_t c = a + b;
        a = b;
        b = c;
    }
    return w;
}

TEST(CodeTreeBuild, MatchesQuadraticSelection) {
    std::mt19937 rng(12345);
    for (int n : {2, 3, 32, 288}) {
        SCOPED_TRACE(n);
        ExpectSameTree(std::vector<uint32_t>(n, 1), false);      // all equal
        ExpectSameTree(std::vector<uint32_t>(n, 7777777), true); // all equal and large
        for (int round = 0; round < 200; ++round) {
            std::vector<uint32_t> w(n);
            const uint32_t range = round % 4 == 0   ? 3
                                   : round % 4 == 1 ? 100
                                   : round % 4 == 2 ? 5000
                                                    : (1u << 23);
            for (uint32_t &x : w)
                x = std::uniform_int_distribution<uint32_t>(0, range)(rng);
            ExpectSameTree(w, round % 2 == 1);
        }
        // Heavily skewed counts: one huge symbol among small ones.
        std::vector<uint32_t> skew(n, 1);
        skew[n / 2] = 4000000000u / 2;
        ExpectSameTree(skew, false);
    }
}

TEST(CodeTreeBuild, LimitsCodesTo16BitsByRepeatedRescaling) {
    // Fibonacci weights give a chain as deep as the alphabet; 45 of them need several rescalings.
    for (int n : {32, 288}) {
        std::vector<uint32_t> w = Fibonacci(n, n == 32 ? 32 : 45);
        ExpectSameTree(w, false);
        ExpectSameTree(w, true);

        std::vector<CodeTreeNode> nodes(2 * n - 1);
        for (int i = 0; i < n; ++i)
            nodes[i].weight = w[i];
        vkp::BuildCodeTree(nodes.data(), n, false);
        std::vector<uint16_t> codes(n);
        std::vector<uint8_t> lengths(n);
        vkp::ComputeCodes(nodes.data(), n, codes.data(), lengths.data());
        const int maxDepth = *std::max_element(lengths.begin(), lengths.end());
        EXPECT_LE(maxDepth, 16);
        EXPECT_GE(maxDepth, 12); // still a skewed tree, not flattened
        // The stored weights are the rescaled ones: (w >> 2) + 1 at least once.
        EXPECT_LT(nodes[n == 32 ? 31 : 44].weight, w[n == 32 ? 31 : 44] / 4 + 2);
    }
}

TEST(AdaptiveCodeTree, InitialCodes) {
    AdaptiveCodeTree lit;
    lit.Init(vkp::kLitLenSymbols, vkp::kLitLenStep, vkp::kLitLenLimit);
    EXPECT_EQ(lit.Root(), 574);
    EXPECT_EQ(lit.Length('A'), 8);
    EXPECT_EQ(lit.Code('A'), 0x01);
    EXPECT_EQ(lit.Length(0), 9);
    EXPECT_EQ(lit.Code(0), 0x1C0); // 111000000
    for (int s = 64; s < 288; ++s) {
        ASSERT_EQ(lit.Length(s), 8);
        ASSERT_EQ(lit.Code(s), s - 64);
    }
    for (int s = 0; s < 64; ++s) {
        ASSERT_EQ(lit.Length(s), 9);
        ASSERT_EQ(lit.Code(s), 448 + s);
    }
    AdaptiveCodeTree dist;
    dist.Init(vkp::kDistSymbols, vkp::kDistStep, vkp::kDistLimit);
    EXPECT_EQ(dist.Root(), 62);
    for (int s = 0; s < 32; ++s) {
        ASSERT_EQ(dist.Length(s), 5);
        ASSERT_EQ(dist.Code(s), s);
    }
}

TEST(AdaptiveCodeTree, RebuildSchedule) {
    AdaptiveCodeTree lit;
    lit.Init(vkp::kLitLenSymbols, vkp::kLitLenStep, vkp::kLitLenLimit);
    std::vector<int> rebuildsAt;
    for (int i = 1; i <= 3456 + 2 * 3456; ++i) {
        if (lit.Count('e'))
            rebuildsAt.push_back(i);
    }
    ASSERT_EQ(rebuildsAt.size(), 48u + 2u);
    EXPECT_EQ(rebuildsAt[0], 72); // the 72nd symbol triggers the first rebuild
    EXPECT_EQ(rebuildsAt[46], 47 * 72);
    EXPECT_EQ(rebuildsAt[47], 3456);
    EXPECT_EQ(rebuildsAt[48], 2 * 3456);
    EXPECT_EQ(rebuildsAt[49], 3 * 3456);
    EXPECT_LT(lit.Length('e'), 8); // the counts took effect
}

std::string CodeString(const AdaptiveCodeTree &tree, int symbol) {
    std::string bits;
    for (int i = tree.Length(symbol) - 1; i >= 0; --i)
        bits.push_back(static_cast<char>('0' + ((tree.Code(symbol) >> i) & 1)));
    return bits;
}

TEST(AdaptiveCodeTree, FollowsTheModelSymbolForSymbol) {
    // Geometric-like symbol choice gives deep trees, and with the halving the 16-bit limit is hit.
    std::mt19937 rng(99);
    for (int n : {32, 288}) {
        SCOPED_TRACE(n);
        const bool lit = n == 288;
        AdaptiveCodeTree tree;
        tree.Init(n, lit ? 72 : 8, lit ? 3456 : 384);
        ModelTree model(n, lit ? 72 : 8, lit ? 3456 : 384);
        std::geometric_distribution<int> pick(0.35);
        for (int i = 0; i < 12000; ++i) {
            int symbol = std::min(pick(rng), n - 1);
            if (i % 1000 < 50)
                symbol = static_cast<int>(rng() % n); // shifts in the statistics
            tree.Count(symbol);
            model.Count(symbol);
            if (i % 37 == 0 || i > 11000) {
                for (int s = 0; s < n; ++s)
                    ASSERT_EQ(CodeString(tree, s), model.CodeOf(s))
                        << "symbol " << s << " at " << i;
            }
        }
    }
}

TEST(AdaptiveCodeTree, DeepWarmUpTreesFollowTheModel) {
    // Counts in Fibonacci proportions make about the deepest trees the warm-up's weights allow
    // (its builds skip the depth check, which cannot fail below a total weight of 4,181): symbol
    // k comes F(k) times, interleaved, through the warm-up and beyond.
    std::vector<int> sequence;
    uint32_t a = 1, b = 1;
    for (int k = 0; k < 17; ++k) {
        sequence.insert(sequence.end(), a, 100 + k);
        const uint32_t c = a + b;
        a = b;
        b = c;
    }
    std::mt19937 rng(7);
    std::shuffle(sequence.begin(), sequence.end(), rng);
    AdaptiveCodeTree tree;
    tree.Init(vkp::kLitLenSymbols, vkp::kLitLenStep, vkp::kLitLenLimit);
    ModelTree model(vkp::kLitLenSymbols, vkp::kLitLenStep, vkp::kLitLenLimit);
    int deepest = 0;
    for (size_t i = 0; i < 2 * vkp::kLitLenLimit; ++i) {
        const int symbol = sequence[i % sequence.size()];
        model.Count(symbol);
        if (!tree.Count(symbol))
            continue;
        for (int s = 0; s < vkp::kLitLenSymbols; ++s) {
            ASSERT_EQ(CodeString(tree, s), model.CodeOf(s)) << "symbol " << s << " at " << i;
            deepest = std::max<int>(deepest, tree.Length(s));
        }
    }
    EXPECT_GT(deepest, 10); // longer than the decoder's tables
}

} // namespace
