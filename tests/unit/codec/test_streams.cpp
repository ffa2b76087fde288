#include "tests/unit/codec/test_streams.h"

#include <cstdio>
#include <cstdlib>
#include <random>

namespace codectest {

void ModelBuild(std::vector<ModelNode> &nodes, int n, bool halve) {
    for (;;) {
        for (int i = 0; i < n; ++i) {
            nodes[i].active = true;
            nodes[i].child0 = nodes[i].child1 = i;
        }
        for (int k = n; k <= 2 * n - 2; ++k) {
            uint32_t min1 = 0xFFFFFFFF, min2 = 0xFFFFFFFF;
            int i1 = -1, i2 = -1;
            for (int j = 0; j < k; ++j) {
                if (!nodes[j].active)
                    continue;
                const uint32_t w = nodes[j].weight;
                if (w < min2) {
                    if (w < min1) {
                        i2 = i1, min2 = min1;
                        i1 = j, min1 = w;
                    } else {
                        i2 = j, min2 = w;
                    }
                }
            }
            nodes[k].weight = min1 + min2;
            nodes[k].active = true;
            nodes[k].child0 = i1;
            nodes[k].child1 = i2;
            nodes[i1].active = nodes[i2].active = false;
            nodes[i1].parent = nodes[i2].parent = k;
            nodes[i1].side = 0;
            nodes[i2].side = 1;
        }
        bool tooLong = false;
        for (int i = 0; i < n; ++i) {
            int depth = 0;
            for (int at = i; at != 2 * n - 2; at = nodes[at].parent)
                ++depth;
            tooLong |= depth > 16;
        }
        if (!tooLong)
            break;
        for (int i = 0; i < n; ++i)
            nodes[i].weight = (nodes[i].weight >> 2) + 1;
    }
    if (halve) {
        for (int i = 0; i < n; ++i)
            nodes[i].weight = (nodes[i].weight >> 1) + 1;
    }
}

ModelTree::ModelTree(int leaves, uint32_t s, uint32_t l)
    : n(leaves), step(s), limit(l), countdown(s), seen(s), nodes(2 * leaves - 1) {
    for (int i = 0; i < n; ++i)
        nodes[i].weight = 1;
    ModelBuild(nodes, n, false);
}

void ModelTree::Count(int symbol) {
    ++nodes[symbol].weight;
    if (--countdown != 0)
        return;
    if (settled) {
        countdown = limit;
        ModelBuild(nodes, n, true);
        return;
    }
    seen += step;
    if (seen >= limit)
        settled = true;
    countdown = step;
    ModelBuild(nodes, n, false);
}

std::string ModelTree::CodeOf(int symbol) const {
    std::string bits;
    for (int at = symbol; at != 2 * n - 2; at = nodes[at].parent)
        bits.insert(bits.begin(), static_cast<char>('0' + nodes[at].side));
    return bits;
}

void ModelStreamWriter::RawBits(uint32_t value, int count) {
    for (int i = count - 1; i >= 0; --i)
        bits_.push_back(static_cast<char>('0' + ((value >> i) & 1)));
}

void ModelStreamWriter::Literal(uint8_t byte) {
    bits_ += lit_.CodeOf(byte);
    lit_.Count(byte);
}

void ModelStreamWriter::Match(uint32_t length, uint32_t distance) {
    // Table search written independently of the coder: code i covers [base, base + 2^extra).
    for (int i = 0; i < 32; ++i) {
        const int extra = i < 8 ? 0 : ((i - 8) >> 2) + 1;
        const uint32_t base =
            i < 8 ? 3 + i : 3 + (1u << (extra + 2)) + ((uint32_t(i - 8) & 3) << extra);
        if (length >= base && length < base + (1u << extra)) {
            bits_ += lit_.CodeOf(256 + i);
            lit_.Count(256 + i);
            RawBits(length - base, extra);
            break;
        }
    }
    for (int i = 0; i < 32; ++i) {
        const int extra = i < 4 ? 0 : ((i - 4) >> 1) + 1;
        const uint32_t base = i < 4 ? i : (1u << (extra + 1)) + ((uint32_t(i - 4) & 1) << extra);
        if (distance >= base && distance < base + (1u << extra)) {
            bits_ += dist_.CodeOf(i);
            dist_.Count(i);
            RawBits(distance - base, extra);
            break;
        }
    }
}

std::vector<uint8_t> ModelStreamWriter::Finish(uint32_t size) const {
    std::string bits = bits_;
    while (bits.size() % 16 != 0)
        bits.push_back('0');
    std::vector<uint8_t> coded;
    for (size_t i = 0; i < bits.size(); i += 8) {
        uint8_t byte = 0;
        for (size_t j = 0; j < 8; ++j)
            byte = static_cast<uint8_t>((byte << 1) | (bits[i + j] - '0'));
        coded.push_back(byte);
    }
    return MakeStream(size, coded);
}

std::vector<uint8_t> MakeStream(uint32_t size, const std::vector<uint8_t> &coded) {
    std::vector<uint8_t> s;
    s.reserve(8 + coded.size());
    for (char c : {'V', 'K', 'P', '1'})
        s.push_back(static_cast<uint8_t>(c));
    for (int shift = 24; shift >= 0; shift -= 8)
        s.push_back(static_cast<uint8_t>(size >> shift));
    for (uint8_t b : coded)
        s.push_back(b);
    return s;
}

bool ReadFile(const std::string &path, std::vector<uint8_t> *data) {
    std::FILE *file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return false;
    data->clear();
    uint8_t chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        data->insert(data->end(), chunk, chunk + got);
    std::fclose(file);
    return true;
}

bool WriteFile(const std::string &path, const std::vector<uint8_t> &data) {
    std::FILE *file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    bool ok = data.empty() || std::fwrite(data.data(), 1, data.size(), file) == data.size();
    return std::fclose(file) == 0 && ok;
}

std::vector<uint8_t> RandomBytes(size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> data(size);
    for (uint8_t &b : data)
        b = static_cast<uint8_t>(rng());
    return data;
}

std::vector<uint8_t> TextLike(size_t size, uint32_t seed) {
    static const char *const kWords[] = {"the ",    "installer ", "copies ", "files ",  "into ",
                                         "folder ", "and ",       "Excel ",  "add-in ", "of ",
                                         "a ",      "registry ",  "log\n",   "window ", "stream, "};
    std::mt19937 rng(seed);
    std::vector<uint8_t> data;
    data.reserve(size);
    while (data.size() < size) {
        const char *word = kWords[rng() % 15];
        for (const char *c = word; *c && data.size() < size; ++c)
            data.push_back(static_cast<uint8_t>(*c));
        if (rng() % 50 == 0 && data.size() < size)
            data.push_back(static_cast<uint8_t>('0' + rng() % 10));
    }
    return data;
}

std::vector<uint8_t> BinaryLike(size_t size, uint32_t seed) {
    // Little-endian records with small counters, repeated opcodes and zero runs.
    std::mt19937 rng(seed);
    std::vector<uint8_t> data;
    data.reserve(size);
    uint32_t counter = 0;
    while (data.size() < size) {
        switch (rng() % 4) {
        case 0:
            counter += rng() % 64;
            for (int i = 0; i < 4; ++i)
                data.push_back(static_cast<uint8_t>(counter >> (8 * i)));
            break;
        case 1:
            data.insert(data.end(), {0x48, 0x8B, 0x45, static_cast<uint8_t>(rng() % 8 * 8)});
            break;
        case 2:
            data.insert(data.end(), rng() % 24, 0);
            break;
        default:
            data.push_back(static_cast<uint8_t>(rng()));
            break;
        }
    }
    data.resize(size);
    return data;
}

std::vector<uint8_t> Periodic(size_t size, size_t period, uint32_t seed) {
    std::vector<uint8_t> unit = RandomBytes(period, seed);
    std::vector<uint8_t> data(size);
    for (size_t i = 0; i < size; ++i)
        data[i] = unit[i % period];
    return data;
}

} // namespace codectest
