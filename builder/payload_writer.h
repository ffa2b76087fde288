// Turns a product folder into a payload archive.
#pragma once
#include <cstdint>
#include <string>

namespace payload {

struct PackOptions {
    std::string productVersion; // preamble text: ASCII, at most 29 characters
    int level = 6;              // compression level 1..9
    int jobs = 0;               // compressing threads; 0: one per core
    bool showProgress = false;  // a progress bar on stderr
    // Length of the installation folder assumed when checking that every full target path fits
    // the installer's 511-character path buffer (the wizard's folder field holds 259).
    uint32_t installFolderAllowance = 259;
};

struct PackStats {
    uint32_t files = 0;
    uint32_t folders = 0; // the root included
    uint32_t compressed = 0;
    uint64_t inputBytes = 0;
    uint64_t archiveBytes = 0;
};

// Packs the tree below `dir` into `outFile`. Returns 0 on success. On failure returns 1, leaves
// nothing at `outFile` (an older file there stays as it was) and describes the failure, naming
// the path concerned, in `*error`.
int PackDirectory(const std::string &dir, const std::string &outFile, const PackOptions &options,
                  PackStats *stats, std::string *error);

// Checks one file or folder name as the installer's Windows file system must hold it, and
// converts it to code page 1252. Returns null when it is fine, else the reason.
const char *CheckWindowsName(const std::string &utf8, std::string *ansi);

} // namespace payload
