// Helpers shared by the codec tests: a plain model of the adaptive trees (quadratic selection),
// a stream writer built on that model only, temporary folders and test data.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace codectest {

struct ModelNode {
    uint32_t weight = 0;
    bool active = false;
    int parent = -1, child0 = -1, child1 = -1, side = 0;
};

// One build as described: scan every active node for each merge, strict comparisons, rescale
// while a code is longer than 16 bits, optionally halve the weights afterwards.
void ModelBuild(std::vector<ModelNode> &nodes, int n, bool halve);

// One adaptive tree with its rebuild schedule.
struct ModelTree {
    ModelTree(int leaves, uint32_t step, uint32_t limit);
    void Count(int symbol);
    std::string CodeOf(int symbol) const; // '0'/'1' characters, first bit first

    int n;
    uint32_t step, limit, countdown, seen;
    bool settled = false;
    std::vector<ModelNode> nodes;
};

// Writes streams symbol by symbol with the model trees, independent of the production coder.
class ModelStreamWriter {
public:
    void Literal(uint8_t byte);
    void Match(uint32_t length, uint32_t distance); // length 3..514, distance 0..65535
    void RawBits(uint32_t value, int count);
    // Header with `size`, the bits so far padded to whole words.
    std::vector<uint8_t> Finish(uint32_t size) const;

private:
    ModelTree lit_{288, 72, 3456};
    ModelTree dist_{32, 8, 384};
    std::string bits_;
};

// A stream made of the header and the given coded bytes.
std::vector<uint8_t> MakeStream(uint32_t size, const std::vector<uint8_t> &coded);

bool ReadFile(const std::string &path, std::vector<uint8_t> *data);
bool WriteFile(const std::string &path, const std::vector<uint8_t> &data);

std::vector<uint8_t> RandomBytes(size_t size, uint32_t seed);
std::vector<uint8_t> TextLike(size_t size, uint32_t seed);
std::vector<uint8_t> BinaryLike(size_t size, uint32_t seed);
std::vector<uint8_t> Periodic(size_t size, size_t period, uint32_t seed);

} // namespace codectest
