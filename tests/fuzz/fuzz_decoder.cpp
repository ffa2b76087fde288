// The bounded decoder on arbitrary input: never reads past the stream, and the table decoder
// gives exactly the result and bytes of the bit-by-bit tree walk. The same bytes, read as a
// symbol sequence, drive both adaptive trees, whose incremental rebuilds must give the trees of
// a full build from the same weights.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "codec/code_tree.h"
#include "decompress/decompress.h"
#include "decompress/stream_decoder.h"

namespace {

// Keeps the first bytes only; declared sizes up to 4 GiB would otherwise make slow runs.
class CappedSink : public vkp::ByteSink {
public:
    bool Write(const uint8_t *data, size_t size) override {
        if (bytes.size() + size > kCap)
            return false;
        bytes.insert(bytes.end(), data, data + size);
        return true;
    }
    static constexpr size_t kCap = 1u << 20;
    std::vector<uint8_t> bytes;
};

// Follows `symbols` with an adaptive tree and with full builds on a plain copy of its counts.
void CheckRebuilds(const std::vector<int> &symbols, int leaves, uint32_t step, uint32_t limit) {
    vkp::AdaptiveCodeTree tree;
    tree.Init(leaves, step, limit);
    std::vector<vkp::CodeTreeNode> full(2 * leaves - 1);
    for (int i = 0; i < leaves; ++i)
        full[i].weight = 1;
    vkp::BuildCodeTree(full.data(), leaves, false);
    uint32_t builds = 0;
    for (int symbol : symbols) {
        ++full[symbol].weight;
        if (!tree.Count(symbol))
            continue;
        // The schedule: `limit / step` builds without halving, then all with it.
        ++builds;
        vkp::BuildCodeTree(full.data(), leaves, builds >= limit / step);
        for (int k = 0; k < 2 * leaves - 1; ++k) {
            if (tree.Nodes()[k].child0 != full[k].child0 ||
                tree.Nodes()[k].child1 != full[k].child1)
                std::abort();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::vector<int> literals, distances;
    for (size_t i = 0; i + 1 < size; i += 2) {
        const int value = (data[i] << 8) | data[i + 1];
        literals.push_back(value % vkp::kLitLenSymbols);
        distances.push_back(value % vkp::kDistSymbols);
    }
    CheckRebuilds(literals, vkp::kLitLenSymbols, vkp::kLitLenStep, vkp::kLitLenLimit);
    CheckRebuilds(distances, vkp::kDistSymbols, vkp::kDistStep, vkp::kDistLimit);

    // An exact-size copy, so any read past the end is caught.
    std::vector<uint8_t> stream(data, data + size);
    CappedSink walked, tabled;
    const int walkResult =
        vkp::DecodeStream(stream.data(), stream.size(), &walked, vkp::DecodeMethod::kTreeWalk);
    const int tableResult =
        vkp::DecodeStream(stream.data(), stream.size(), &tabled, vkp::DecodeMethod::kTable);
    if (walkResult != tableResult)
        std::abort();
    if (walkResult == kDecompressOk && walked.bytes != tabled.bytes)
        std::abort();
    return 0;
}
