// vkpbench [--levels LIST] [--repeat N] [PATH...]
// Compressed size per level against zlib -9 (a file is stored when coding does not make it
// smaller, as the archive does), encoding MB/s per level, and decoding MB/s of the table-driven
// decoder against zlib's inflate on the same files in the same run. Without paths, a generated
// mixed corpus is used. Directories are walked recursively.
#include <dirent.h>
#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <ctime>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "compress/compress.h"
#include "decompress/decompress.h"
#include "decompress/stream_decoder.h"

namespace {

struct Item {
    std::string name;
    std::vector<uint8_t> data;
};

// Processor time of this (single-threaded) process: the machine may be shared, and the goals are
// per core, so wall-clock time would count other programs' load.
double Now() {
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

bool ReadFile(const std::string &path, std::vector<uint8_t> *data) {
    std::FILE *file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return false;
    uint8_t chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        data->insert(data->end(), chunk, chunk + got);
    std::fclose(file);
    return true;
}

void Collect(const std::string &path, std::vector<Item> *items) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0)
        return;
    if (S_ISDIR(st.st_mode)) {
        DIR *dir = opendir(path.c_str());
        if (dir == nullptr)
            return;
        std::vector<std::string> names;
        while (dirent *entry = readdir(dir)) {
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                names.push_back(entry->d_name);
        }
        closedir(dir);
        std::sort(names.begin(), names.end());
        for (const std::string &name : names)
            Collect(path + "/" + name, items);
    } else if (S_ISREG(st.st_mode)) {
        Item item{path, {}};
        if (ReadFile(path, &item.data))
            items->push_back(std::move(item));
    }
}

std::vector<Item> GeneratedCorpus() {
    std::vector<Item> items;
    std::mt19937 rng(2024);
    // Text: a word list with Zipf-like choice and line structure.
    std::vector<std::string> words;
    for (int i = 0; i < 3000; ++i) {
        std::string w;
        for (int k = 0, n = 2 + rng() % 9; k < n; ++k)
            w.push_back(static_cast<char>('a' + rng() % 26));
        words.push_back(w);
    }
    Item text{"generated/text.txt", {}};
    while (text.data.size() < 3000000) {
        const size_t r = static_cast<size_t>(std::pow(rng() / double(rng.max()), 3) * words.size());
        const std::string &w = words[std::min(r, words.size() - 1)];
        text.data.insert(text.data.end(), w.begin(), w.end());
        text.data.push_back(rng() % 12 == 0 ? '\n' : ' ');
    }
    items.push_back(std::move(text));
    // Binary: records of little-endian counters, opcodes, zero padding and random bytes.
    Item binary{"generated/binary.bin", {}};
    uint32_t counter = 0;
    while (binary.data.size() < 3000000) {
        switch (rng() % 5) {
        case 0:
            counter += rng() % 256;
            for (int i = 0; i < 4; ++i)
                binary.data.push_back(static_cast<uint8_t>(counter >> (8 * i)));
            break;
        case 1:
            binary.data.insert(binary.data.end(),
                               {0x48, 0x8B, 0x45, uint8_t(rng() % 16 * 8), 0xE8});
            break;
        case 2:
            binary.data.insert(binary.data.end(), rng() % 32, 0);
            break;
        default:
            binary.data.push_back(static_cast<uint8_t>(rng() % 97));
            break;
        }
    }
    items.push_back(std::move(binary));
    Item noise{"generated/random.bin", std::vector<uint8_t>(500000)};
    for (uint8_t &b : noise.data)
        b = static_cast<uint8_t>(rng());
    items.push_back(std::move(noise));
    return items;
}

size_t ZlibSize(const std::vector<uint8_t> &data, std::vector<uint8_t> *out) {
    uLongf length = compressBound(data.size());
    out->resize(length);
    if (compress2(out->data(), &length, data.data(), data.size(), 9) != Z_OK)
        return data.size();
    out->resize(length);
    return length;
}

struct Totals {
    uint64_t original = 0, zlib = 0;
    std::vector<uint64_t> sizes;
    std::vector<double> encodeSeconds;
    double decodeSeconds = 0, inflateSeconds = 0;
    uint64_t decodedBytes = 0, inflatedBytes = 0;
};

} // namespace

int main(int argc, char **argv) {
    std::vector<int> levels = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    int repeat = 3;
    std::vector<std::string> paths;
    bool quiet = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--levels") == 0 && i + 1 < argc) {
            levels.clear();
            for (char *p = std::strtok(argv[++i], ","); p; p = std::strtok(nullptr, ","))
                levels.push_back(std::atoi(p));
        } else if (std::strcmp(argv[i], "--repeat") == 0 && i + 1 < argc) {
            repeat = std::max(1, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--quiet") == 0) {
            quiet = true;
        } else if (std::strcmp(argv[i], "--help") == 0) {
            std::printf("usage: vkpbench [--levels 1,6,9] [--repeat N] [--quiet] [PATH...]\n");
            return 0;
        } else {
            paths.push_back(argv[i]);
        }
    }
    for (int level : levels) {
        if (level < vkp::kMinLevel || level > vkp::kMaxLevel) {
            std::fprintf(stderr, "vkpbench: level %d is not 1..9\n", level);
            return 2;
        }
    }
    std::vector<Item> items;
    for (const std::string &path : paths)
        Collect(path, &items);
    if (paths.empty())
        items = GeneratedCorpus();
    if (items.empty()) {
        std::fprintf(stderr, "vkpbench: no files\n");
        return 1;
    }

    Totals totals;
    totals.sizes.assign(levels.size(), 0);
    totals.encodeSeconds.assign(levels.size(), 0);
    const int defaultIndex = [&] {
        for (size_t i = 0; i < levels.size(); ++i)
            if (levels[i] == vkp::kDefaultLevel)
                return static_cast<int>(i);
        return static_cast<int>(levels.size()) - 1;
    }();
    if (!quiet) {
        std::printf("%-44s %10s %10s", "file", "size", "zlib-9");
        for (int level : levels)
            std::printf(" %9s%d", "L", level);
        std::printf("\n");
    }
    std::vector<uint8_t> zipped, stream, decoded, inflated;
    for (const Item &item : items) {
        const size_t size = item.data.size();
        const size_t zsize = std::min(ZlibSize(item.data, &zipped), size);
        totals.original += size;
        totals.zlib += zsize;
        if (!quiet)
            std::printf("%-44.44s %10zu %10zu", item.name.c_str(), size, zsize);
        std::vector<uint8_t> decodeStream;
        for (size_t li = 0; li < levels.size(); ++li) {
            stream.clear();
            std::string error;
            const double start = Now();
            if (!vkp::CompressBuffer(item.data.data(), size, &stream, levels[li], &error)) {
                std::fprintf(stderr, "\nvkpbench: cannot compress \"%s\": %s\n", item.name.c_str(),
                             error.c_str());
                return 1;
            }
            totals.encodeSeconds[li] += Now() - start;
            const size_t stored = std::min(stream.size(), size);
            totals.sizes[li] += stored;
            if (!quiet)
                std::printf(" %10zu", stored);
            if (static_cast<int>(li) == defaultIndex)
                decodeStream = stream;
        }
        if (!quiet)
            std::printf("\n");
        // Decoding speed, only over the files that both store compressed; the fastest of the
        // repeats counts for each decoder, which keeps other load on the machine out of it.
        if (decodeStream.size() < size && zsize < size) {
            decoded.reserve(size);
            inflated.resize(size);
            double bestOurs = 1e30, bestZlib = 1e30;
            for (int r = 0; r < repeat; ++r) {
                double start = Now();
                const int result =
                    vkp::DecodeToBuffer(decodeStream.data(), decodeStream.size(), &decoded);
                bestOurs = std::min(bestOurs, Now() - start);
                if (result != kDecompressOk || decoded != item.data) {
                    std::fprintf(stderr, "vkpbench: \"%s\" does not decode back\n",
                                 item.name.c_str());
                    return 1;
                }
                uLongf length = size;
                start = Now();
                const int zresult =
                    uncompress(inflated.data(), &length, zipped.data(), zipped.size());
                bestZlib = std::min(bestZlib, Now() - start);
                if (zresult != Z_OK || length != size) {
                    std::fprintf(stderr, "vkpbench: zlib cannot inflate \"%s\"\n",
                                 item.name.c_str());
                    return 1;
                }
            }
            totals.decodeSeconds += bestOurs;
            totals.inflateSeconds += bestZlib;
            totals.decodedBytes += size;
            totals.inflatedBytes += size;
        }
    }
    const double mb = 1e6;
    std::printf("\n%zu files, %.1f MB; zlib -9 total %llu bytes (%.4f)\n", items.size(),
                totals.original / mb, static_cast<unsigned long long>(totals.zlib),
                double(totals.zlib) / totals.original);
    std::printf("%-6s %12s %9s %10s\n", "level", "bytes", "vs zlib9", "enc MB/s");
    for (size_t li = 0; li < levels.size(); ++li) {
        std::printf("%-6d %12llu %9.4f %10.1f\n", levels[li],
                    static_cast<unsigned long long>(totals.sizes[li]),
                    double(totals.sizes[li]) / totals.zlib,
                    totals.original / mb / totals.encodeSeconds[li]);
    }
    const double ours = totals.decodedBytes / mb / totals.decodeSeconds;
    const double zlib = totals.inflatedBytes / mb / totals.inflateSeconds;
    std::printf("decode (level %d streams): %.1f MB/s; zlib inflate: %.1f MB/s; ratio %.2f\n",
                levels[defaultIndex], ours, zlib, ours / zlib);
    return 0;
}
