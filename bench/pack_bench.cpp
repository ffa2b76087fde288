// pack_bench: payload builder throughput with one and two jobs, and the payload's size against
// per-file zlib -9, on a generated product tree. Run by hand:
//   build/host/bench/pack_bench [files=805] [scale=4] [level=6]
#include <zlib.h>

#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "builder/payload_writer.h"
#include "tests/support/product_tree.h"

namespace fs = std::filesystem;

namespace {

// Wall time of one pack; adds the processor time of all threads to `*cpu`.
double PackSeconds(const fs::path &tree, const fs::path &out, int level, int jobs,
                   payload::PackStats *stats, double *cpu) {
    payload::PackOptions options;
    options.level = level;
    options.jobs = jobs;
    std::string error;
    const auto start = std::chrono::steady_clock::now();
    const std::clock_t cpuStart = std::clock();
    if (!payload::PackDirectory(tree.string(), out.string(), options, stats, &error)) {
        std::fprintf(stderr, "pack failed: %s\n", error.c_str());
        std::exit(1);
    }
    *cpu = double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char **argv) {
    const uint32_t files = argc > 1 ? uint32_t(std::atoi(argv[1])) : 805;
    const int scale = argc > 2 ? std::atoi(argv[2]) : 4;
    const int level = argc > 3 ? std::atoi(argv[3]) : 6;
    const fs::path root = fs::temp_directory_path() / "vnx-pack-bench";
    fs::remove_all(root);
    const ProductTree made = MakeProductTree(root / "product", files, 805, scale);
    std::printf("tree: %u files in %u folders, %.2f MB\n", made.files, made.folders,
                made.bytes / 1e6);

    payload::PackStats stats;
    for (int jobs : {1, 2}) {
        double best = 1e9, bestCpu = 0;
        for (int run = 0; run < 3; ++run) {
            double cpu = 0;
            const double s =
                PackSeconds(root / "product", root / "payload.bin", level, jobs, &stats, &cpu);
            if (s < best) {
                best = s;
                bestCpu = cpu;
            }
        }
        std::printf("pack --level %d --jobs %d: %.3f s wall, %.2f MB/s (best of 3); %.3f s "
                    "processor time\n",
                    level, jobs, best, made.bytes / 1e6 / best, bestCpu);
    }
    std::printf("payload: %llu bytes (%u of %u files compressed)\n",
                static_cast<unsigned long long>(stats.archiveBytes), stats.compressed, stats.files);

    // Per-file zlib -9, each file kept as it is when zlib does not make it smaller, plus the
    // same record headers and names as the payload.
    uint64_t zlibData = 0, headers = 30 + 36;
    for (const auto &e : fs::recursive_directory_iterator(root / "product")) {
        headers += 28 + e.path().filename().string().size() + 1;
        if (!e.is_regular_file())
            continue;
        std::ifstream in(e.path(), std::ios::binary);
        std::vector<unsigned char> raw(std::istreambuf_iterator<char>(in), {});
        uLongf packedSize = compressBound(uLong(raw.size()));
        std::vector<unsigned char> packed(packedSize);
        compress2(packed.data(), &packedSize, raw.data(), uLong(raw.size()), 9);
        zlibData += packedSize < raw.size() ? packedSize : raw.size();
    }
    std::printf("per-file zlib -9: %llu bytes; payload / zlib = %.3f\n",
                static_cast<unsigned long long>(zlibData + headers),
                double(stats.archiveBytes) / double(zlibData + headers));
    fs::remove_all(root);
    return 0;
}
