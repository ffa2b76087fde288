// Turns a product folder into a payload archive.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "archive/install_list.h"
#include "product/path_limits.h"

namespace payload {

// A file the build adds at the product's root, beside the product's own files (the project's
// uninstaller).
struct RootFile {
    std::string name;   // its name in the archive (UTF-8, checked like every product name)
    std::string source; // the file to pack; ListDirectory does not need it to exist yet
};

struct PackOptions {
    std::string productVersion; // preamble text: ASCII, at most 29 characters
    int level = 6;              // compression level 1..9
    int jobs = 0;               // compressing threads; 0: one per core
    bool showProgress = false;  // a progress bar on stderr
    // Length of the installation folder assumed when checking that every full target path fits
    // the installer's 511-character path buffer (the wizard's folder field holds as many
    // characters as a file's full path may have).
    uint32_t installFolderAllowance = product::kMaxFilePathLength;
    // Added at the root. A product file or folder of the same name, letter case ignored, is
    // refused: the build's file takes that place.
    std::vector<RootFile> rootFiles;
    // When set, the installation list (ListDirectory) of what is packed must equal this file's
    // text: the list the uninstaller carries then names exactly what the payload installs.
    std::string expectedListFile;
};

struct PackStats {
    uint32_t files = 0;
    uint32_t folders = 0; // the root included
    uint32_t compressed = 0;
    uint64_t inputBytes = 0;
    uint64_t archiveBytes = 0;
};

// Packs the tree below `dir` into `outFile`, and its SHA-256 (archive/payload_checksum.h) into
// `outFile` + ".sha256" as the 32 raw bytes the installer carries beside the payload. On failure
// returns false, leaves nothing new at `outFile` (an older file there stays as it was) and
// describes the failure, naming the path concerned, in `*error`.
bool PackDirectory(const std::string &dir, const std::string &outFile, const PackOptions &options,
                   PackStats *stats, std::string *error);

// Writes the SHA-256 of the file `path` to `path` + ".sha256" (written whole or not at all);
// false with the reason in `*error`.
bool WriteChecksumFile(const std::string &path, std::string *error);

// The installation list of the tree below `dir` and the root files of `options`, made by the
// same scan as PackDirectory. Root files are listed without a size (the build makes them, maybe
// after the list). False with the reason (naming the path) in `*error`.
bool ListDirectory(const std::string &dir, const PackOptions &options, InstallList *list,
                   std::string *error);

// Checks one file or folder name as the installer's Windows file system must hold it, and
// converts it to code page 1252. Returns null when it is fine, else the reason.
const char *CheckWindowsName(const std::string &utf8, std::string *ansi);

} // namespace payload
