// extract_bench: the installer's extraction throughput against a plain copy of the same tree, on
// Windows (run under Wine by extract_bench.sh). Run by hand:
//   extract_bench.exe DIR [files=805] [scale=4] [rounds=3]
// Generates a product tree in DIR\source, packs it, then times (best of `rounds`) the walk and
// extraction of every record with PayloadArchive::ExtractCurrent, and CopyFileW of every file.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/payload_archive.h"
#include "archive/payload_checksum.h"
#include "archive/payload_win32.h"
#include "builder/payload_writer.h"
#include "tests/support/product_tree.h"

namespace fs = std::filesystem;

namespace {

double Now() {
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return double(counter.QuadPart) / double(frequency.QuadPart);
}

struct Warning : Win32Payload {
    void Warn(const char *text) override { std::fprintf(stderr, "warning: %s\n", text); }
};

// Seconds for the walk and the extraction of the whole payload into `target`.
double ExtractSeconds(const std::vector<uint8_t> &payload, const std::string &target) {
    Warning platform;
    const double start = Now();
    PayloadArchive archive(payload.data(), uint32_t(payload.size()), target.c_str(), &platform);
    if (!archive.IsUsable()) {
        std::fprintf(stderr, "the payload cannot be used\n");
        std::exit(1);
    }
    int result = 1;
    while (result > 0) {
        archive.Next();
        result = archive.ExtractCurrent();
    }
    const double seconds = Now() - start;
    archive.Release();
    if (result < 0) {
        std::fprintf(stderr, "extraction failed with %d\n", result);
        std::exit(1);
    }
    return seconds;
}

// Seconds for copying the tree with CreateDirectoryW and CopyFileW.
double CopySeconds(const fs::path &source, const fs::path &target) {
    std::vector<fs::path> entries;
    for (const auto &entry : fs::recursive_directory_iterator(source))
        entries.push_back(entry.path());
    const double start = Now();
    CreateDirectoryW(target.c_str(), nullptr);
    for (const fs::path &path : entries) {
        const fs::path copy = target / fs::relative(path, source);
        if (fs::is_directory(path))
            CreateDirectoryW(copy.c_str(), nullptr);
        else if (!CopyFileW(path.c_str(), copy.c_str(), FALSE)) {
            std::fprintf(stderr, "CopyFileW failed for %s\n", copy.u8string().c_str());
            std::exit(1);
        }
    }
    return Now() - start;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: extract_bench DIR [files=805] [scale=4] [rounds=3]\n");
        return 2;
    }
    const fs::path dir = argv[1];
    const uint32_t files = argc > 2 ? uint32_t(std::atoi(argv[2])) : 805;
    const int scale = argc > 3 ? std::atoi(argv[3]) : 4;
    const int rounds = argc > 4 ? std::atoi(argv[4]) : 3;

    const fs::path source = dir / "source";
    fs::remove_all(source);
    const ProductTree tree = MakeProductTree(source, files, 2024, scale);
    const fs::path packed = dir / "payload.bin";
    payload::PackOptions options;
    payload::PackStats stats;
    std::string error;
    if (!payload::PackDirectory(source.u8string(), packed.u8string(), options, &stats, &error)) {
        std::fprintf(stderr, "pack failed: %s\n", error.c_str());
        return 1;
    }
    std::vector<uint8_t> payload(size_t(fs::file_size(packed)));
    if (FILE *f = _wfopen(packed.c_str(), L"rb")) {
        payload.resize(std::fread(payload.data(), 1, payload.size(), f));
        std::fclose(f);
    }
    std::printf("tree: %u files (%u compressed) in %u folders, %.1f MB; payload %.1f MB\n",
                tree.files, stats.compressed, tree.folders, double(tree.bytes) / 1e6,
                double(payload.size()) / 1e6);

    // The installer's start-up check: the payload's SHA-256 against the one stored beside it.
    uint8_t stored[payload::kChecksumSize];
    payload::Sha256(payload.data(), payload.size(), stored);
    double bestCheck = 1e9;
    for (int round = 0; round < rounds; ++round) {
        const double start = Now();
        if (payload::CheckChecksum(payload.data(), payload.size(), stored, sizeof stored) !=
            payload::ChecksumResult::Matches) {
            std::fprintf(stderr, "the checksum does not match\n");
            return 1;
        }
        bestCheck = std::min(bestCheck, Now() - start);
    }
    std::printf("start-up check (SHA-256 of the payload): %.3f s, %.1f MB/s\n", bestCheck,
                double(payload.size()) / 1e6 / bestCheck);

    double bestExtract = 1e9, bestCopy = 1e9;
    for (int round = 0; round < rounds; ++round) {
        const fs::path extracted = dir / "extracted";
        const fs::path copied = dir / "copied";
        fs::remove_all(extracted);
        fs::remove_all(copied);
        bestExtract = std::min(bestExtract, ExtractSeconds(payload, extracted.u8string()));
        bestCopy = std::min(bestCopy, CopySeconds(source, copied));
    }
    const double mb = double(tree.bytes) / 1e6;
    std::printf("extraction (walk + ExtractCurrent): %7.3f s  %7.1f MB/s\n", bestExtract,
                mb / bestExtract);
    std::printf("CopyFileW of the same tree:          %7.3f s  %7.1f MB/s\n", bestCopy,
                mb / bestCopy);
    std::printf("MB of the installed tree per second of wall time, best of %d rounds\n", rounds);
    fs::remove_all(dir / "extracted");
    fs::remove_all(dir / "copied");
    return 0;
}
