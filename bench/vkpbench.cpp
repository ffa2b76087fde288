// vkpbench [--levels LIST] [--decode-level N] [--repeat N] [--quiet] [PATH...]
// The VKP1 codec against zlib 9 on the same files in one run:
// - size per level, as one stream per file against zlib -9 per file (a file is stored when
//   coding does not make it smaller, as the archive does), and as a payload (plus the same record
//   header and name per file on both sides);
// - encoding MB/s per level;
// - decoding time of the table-driven decoder against zlib's inflate, separately for large files
//   (1 MB and more), small files (64 KB and less) and all files.
// Without paths, a generated mixed corpus is used. Directories are walked recursively.
#include <dirent.h>
#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <time.h>
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
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
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
    // Small pieces of the text as a set of small files.
    for (size_t at = 0, n = 0; n < 100; ++n, at += 20011) {
        const size_t length = 500 + (n * 7919) % 30000;
        items.push_back(
            {"generated/small" + std::to_string(n) + ".txt",
             std::vector<uint8_t>(text.data.begin() + at, text.data.begin() + at + length)});
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

size_t ZlibCompress(const std::vector<uint8_t> &data, std::vector<uint8_t> *out) {
    uLongf length = compressBound(data.size());
    out->resize(length);
    if (compress2(out->data(), &length, data.data(), data.size(), 9) != Z_OK)
        return data.size();
    out->resize(length);
    return length;
}

// The payload's record header and NUL-terminated name of one file, the same on both sides.
uint64_t RecordOverhead(const std::string &path) {
    const size_t slash = path.rfind('/');
    return 28 + (slash == std::string::npos ? path.size() : path.size() - slash - 1) + 1;
}

struct Coded {
    const Item *item;
    std::vector<uint8_t> stream, zipped;
};

// Decoding times of one class of files.
struct DecodeClass {
    const char *name;
    uint64_t minSize, maxSize;
    int files = 0;
    uint64_t bytes = 0;
    double ours = 0, inflate = 0;
};

void PrintDecode(const DecodeClass &c) {
    if (c.files == 0) {
        std::printf("| %-26s | %5d | %8s | %10s | %12s | %12s |\n", c.name, 0, "-", "-", "-", "-");
        return;
    }
    const double mb = c.bytes / 1e6;
    std::printf("| %-26s | %5d | %8.1f | %10.1f | %12.1f | %12.2f |\n", c.name, c.files, mb,
                mb / c.ours, mb / c.inflate, c.ours / c.inflate);
}

} // namespace

int main(int argc, char **argv) {
    std::vector<int> levels = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    int decodeLevel = 0;
    int repeat = 3;
    std::vector<std::string> paths;
    bool quiet = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--levels") == 0 && i + 1 < argc) {
            levels.clear();
            for (char *p = std::strtok(argv[++i], ","); p; p = std::strtok(nullptr, ","))
                levels.push_back(std::atoi(p));
        } else if (std::strcmp(argv[i], "--decode-level") == 0 && i + 1 < argc) {
            decodeLevel = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--repeat") == 0 && i + 1 < argc) {
            repeat = std::max(1, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--quiet") == 0) {
            quiet = true;
        } else if (std::strcmp(argv[i], "--help") == 0) {
            std::printf("usage: vkpbench [--levels 1,6,9] [--decode-level N] [--repeat N] "
                        "[--quiet] [PATH...]\n");
            return 0;
        } else {
            paths.push_back(argv[i]);
        }
    }
    for (int level : levels) {
        if (level < vkp::kMinLevel || level > vkp::kMaxLevel) {
            std::fprintf(stderr, "vkpbench: level %d is not %d..%d\n", level, vkp::kMinLevel,
                         vkp::kMaxLevel);
            return 2;
        }
    }
    // The streams decoded: of --decode-level, else of the default level, else of the last one.
    int decodeIndex = static_cast<int>(levels.size()) - 1;
    for (size_t i = 0; i < levels.size(); ++i) {
        if (levels[i] == (decodeLevel != 0 ? decodeLevel : vkp::kDefaultLevel))
            decodeIndex = static_cast<int>(i);
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

    uint64_t original = 0, zlibBytes = 0, overhead = 0;
    double zlibSeconds = 0;
    std::vector<uint64_t> sizes(levels.size(), 0);
    std::vector<double> encodeSeconds(levels.size(), 0);
    DecodeClass classes[] = {{"large files (>= 1 MB)", 1u << 20, UINT64_MAX},
                             {"small files (<= 64 KB)", 0, 65536},
                             {"all files", 0, UINT64_MAX}};
    if (!quiet) {
        std::printf("%-44s %10s %10s", "file", "size", "zlib-9");
        for (int level : levels)
            std::printf(" %9s%d", "L", level);
        std::printf("\n");
    }
    std::vector<uint8_t> zipped, stream, decoded, inflated, decodeStream;
    std::vector<Coded> coded;
    for (const Item &item : items) {
        const size_t size = item.data.size();
        double start = Now();
        const size_t zsize = std::min(ZlibCompress(item.data, &zipped), size);
        zlibSeconds += Now() - start;
        original += size;
        zlibBytes += zsize;
        overhead += RecordOverhead(item.name);
        if (!quiet)
            std::printf("%-44.44s %10zu %10zu", item.name.c_str(), size, zsize);
        for (size_t li = 0; li < levels.size(); ++li) {
            stream.clear();
            std::string error;
            start = Now();
            if (!vkp::CompressBuffer(item.data.data(), size, &stream, levels[li], &error)) {
                std::fprintf(stderr, "\nvkpbench: cannot compress \"%s\": %s\n", item.name.c_str(),
                             error.c_str());
                return 1;
            }
            encodeSeconds[li] += Now() - start;
            const size_t stored = std::min(stream.size(), size);
            sizes[li] += stored;
            if (!quiet)
                std::printf(" %10zu", stored);
            if (static_cast<int>(li) == decodeIndex)
                decodeStream.swap(stream);
        }
        if (!quiet)
            std::printf("\n");
        // Decoding is timed per class of files below, over the files that both store
        // compressed.
        if (decodeStream.size() < size && zsize < size)
            coded.push_back({&item, decodeStream, zipped});
    }

    // Each class is decoded as a whole (small files take microseconds each, too short to time
    // one by one), ours and inflate in turn; the fastest of the repeats counts for each, which
    // keeps other load on the machine out of it. Every output is checked.
    for (DecodeClass &c : classes) {
        std::vector<const Coded *> members;
        for (const Coded &k : coded) {
            const size_t size = k.item->data.size();
            if (size >= c.minSize && size <= c.maxSize) {
                members.push_back(&k);
                ++c.files;
                c.bytes += size;
            }
        }
        c.ours = c.inflate = 1e30;
        // The first round checks every output and is not timed.
        for (int r = 0; r <= repeat && !members.empty(); ++r) {
            double start = Now();
            for (const Coded *k : members) {
                if (vkp::DecodeToBuffer(k->stream.data(), k->stream.size(), &decoded) !=
                        kDecompressOk ||
                    (r == 0 && decoded != k->item->data)) {
                    std::fprintf(stderr, "vkpbench: \"%s\" does not decode back\n",
                                 k->item->name.c_str());
                    return 1;
                }
            }
            if (r > 0)
                c.ours = std::min(c.ours, Now() - start);
            start = Now();
            for (const Coded *k : members) {
                const size_t size = k->item->data.size();
                inflated.resize(size);
                uLongf length = size;
                if (uncompress(inflated.data(), &length, k->zipped.data(), k->zipped.size()) !=
                        Z_OK ||
                    length != size || (r == 0 && inflated != k->item->data)) {
                    std::fprintf(stderr, "vkpbench: zlib cannot inflate \"%s\"\n",
                                 k->item->name.c_str());
                    return 1;
                }
            }
            if (r > 0)
                c.inflate = std::min(c.inflate, Now() - start);
        }
    }

    const double mb = 1e6;
    std::printf("\n%zu files, %.1f MB; zlib -9: %llu bytes (%.4f of the input), %.1f MB/s\n\n",
                items.size(), original / mb, static_cast<unsigned long long>(zlibBytes),
                double(zlibBytes) / original, original / mb / zlibSeconds);
    std::printf(
        "| level | bytes       | vs zlib -9 per file | payload vs zlib -9 | encode MB/s |\n");
    std::printf(
        "|-------|-------------|---------------------|--------------------|-------------|\n");
    for (size_t li = 0; li < levels.size(); ++li) {
        std::printf("| %5d | %11llu | %19.4f | %18.4f | %11.2f |\n", levels[li],
                    static_cast<unsigned long long>(sizes[li]), double(sizes[li]) / zlibBytes,
                    double(sizes[li] + overhead) / (zlibBytes + overhead),
                    original / mb / encodeSeconds[li]);
    }
    std::printf("\ndecoding level %d streams against inflate (best of %d, processor time):\n\n",
                levels[decodeIndex], repeat);
    std::printf("| %-26s | files | MB       | ours MB/s  | inflate MB/s | time / zlib  |\n",
                "files");
    std::printf("|----------------------------|-------|----------|------------|--------------|"
                "--------------|\n");
    for (const DecodeClass &c : classes)
        PrintDecode(c);
    return 0;
}
