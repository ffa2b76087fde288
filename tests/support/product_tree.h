// Generates product-like folder trees for the payload builder's tests and benchmark.
#pragma once
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "builder/file_times.h"

struct ProductTree {
    uint32_t files = 0;
    uint32_t folders = 1; // the root
    uint64_t bytes = 0;
};

// Writes one file of `kind` (0 empty, 1 text, 2 random, 3 table of numbers) and `size` bytes.
inline void WriteSampleFile(const std::filesystem::path &path, int kind, size_t size,
                            std::mt19937 &rng) {
    std::string data;
    data.reserve(size);
    static const char *kWords[] = {"Range", "Workbook", "Sheet", "Value", "Formula",
                                   "Cell",  "Addin",    "Macro", "Row",   "Column",
                                   "=SUM(", "Qubrix",   "\r\n",  "    ",  "Dim x As Long"};
    while (data.size() < size) {
        if (kind == 2) {
            data.push_back(char(rng() & 0xFF));
        } else if (kind == 3) {
            data += std::to_string(rng() % 100000) + (rng() % 8 == 0 ? "\r\n" : ";");
        } else {
            data += kWords[rng() % 15];
            data.push_back(' ');
        }
    }
    data.resize(size);
    std::ofstream(path, std::ios::binary).write(data.data(), std::streamsize(size));
}

// 46 folders (the root and 45 below it, up to three levels deep) holding `fileCount` files of
// mixed kinds; sizes are scaled by `scale` (1: about 2.5 MB in all). Times are distinct, with
// sub-second parts.
inline ProductTree MakeProductTree(const std::filesystem::path &root, uint32_t fileCount,
                                   uint32_t seed, int scale = 1) {
    namespace fs = std::filesystem;
    std::mt19937 rng(seed);
    ProductTree tree;
    std::vector<fs::path> folders = {root};
    fs::create_directories(root);
    static const char *kFolderNames[] = {"Doc",     "bin",     "Lib", "images", "Templates",
                                         "Samples", "Données", "x64", "Help",   "Config"};
    while (folders.size() < 46) {
        const fs::path &parent = folders[rng() % folders.size()];
        if (std::distance(root.begin(), root.end()) + 3 <=
            std::distance(parent.begin(), parent.end()))
            continue;
        fs::path sub = parent / fs::u8path(std::string(kFolderNames[rng() % 10]) + "_" +
                                           std::to_string(folders.size()));
        fs::create_directory(sub);
        folders.push_back(sub);
    }
    tree.folders = uint32_t(folders.size());
    static const char *kExt[] = {".txt", ".htm", ".dll", ".xla", ".gif", ".csv", ".bas"};
    for (uint32_t i = 0; i < fileCount; ++i) {
        const fs::path &folder = i < folders.size() ? folders[i] : folders[rng() % folders.size()];
        const int kind = int(rng() % 4);
        size_t size;
        switch (rng() % 10) {
        case 0:
            size = 0;
            break;
        case 1:
            size = 1 + rng() % 40;
            break;
        case 2:
            size = 4096;
            break;
        case 3:
            size = 4097;
            break;
        case 4:
            size = (20000 + rng() % 60000) * scale;
            break;
        default:
            size = (rng() % 6000) * scale;
            break;
        }
        std::string name = (i % 7 == 0 ? "Fichier é " : (i % 5 == 0 ? "readme_" : "File")) +
                           std::to_string(i) + kExt[rng() % 7];
        if (i % 11 == 0)
            name[0] = char(std::tolower(name[0]));
        const fs::path path = folder / fs::u8path(name);
        WriteSampleFile(path, kind, size, rng);
        payload::SetModificationTime(
            path, payload::UnixToFileTime(1500000000 + int64_t(i) * 3607, (i * 7919) % 1000000000));
        ++tree.files;
        tree.bytes += size;
    }
    return tree;
}
