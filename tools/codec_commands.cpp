// The single-stream verbs: compress and decompress.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "compress/compress.h"
#include "decompress/decompress.h"
#include "decompress/stream_decoder.h"
#include "tools/commands.h"

namespace vnxpack {
namespace {

bool WantsHelp(int argc, char **argv) {
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0)
            return true;
    }
    return false;
}

int Usage(const char *text, std::FILE *to, int code) {
    std::fprintf(to, "usage: vnxpack %s\n", text);
    return code;
}

// Size of an open file, or -1.
long long FileSize(std::FILE *file) {
    if (std::fseek(file, 0, SEEK_END) != 0)
        return -1;
    const long long size = std::ftell(file);
    if (std::fseek(file, 0, SEEK_SET) != 0)
        return -1;
    return size;
}

bool ReadWholeFile(const char *path, std::vector<uint8_t> *data, std::string *error) {
    std::FILE *file = std::fopen(path, "rb");
    if (file == nullptr) {
        *error = std::string("cannot open \"") + path + "\": " + std::strerror(errno);
        return false;
    }
    const long long size = FileSize(file);
    bool ok = size >= 0 && static_cast<unsigned long long>(size) <= UINT32_MAX;
    if (ok) {
        data->resize(static_cast<size_t>(size));
        ok = size == 0 || std::fread(data->data(), 1, data->size(), file) == data->size();
    }
    std::fclose(file);
    if (!ok)
        *error = std::string("cannot read \"") + path + "\"";
    return ok;
}

} // namespace

int RunCompress(int argc, char **argv) {
    const char *usage =
        "compress IN OUT [--level N]\n"
        "  N: 1 (fastest) to 9, default 6; 9 is for release builds (packed once, downloaded\n"
        "  many times): the smallest streams, several times slower than 8";
    if (WantsHelp(argc, argv))
        return Usage(usage, stdout, kExitOk);
    const char *paths[2] = {nullptr, nullptr};
    int pathCount = 0;
    int level = vkp::kDefaultLevel;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--level") == 0) {
            if (i + 1 >= argc)
                return Usage(usage, stderr, kExitUsage);
            char *end = nullptr;
            const long value = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || value < vkp::kMinLevel || value > vkp::kMaxLevel) {
                std::fprintf(stderr, "vnxpack: --level must be %d to %d\n", vkp::kMinLevel,
                             vkp::kMaxLevel);
                return kExitUsage;
            }
            level = static_cast<int>(value);
        } else if (pathCount < 2 && argv[i][0] != '-') {
            paths[pathCount++] = argv[i];
        } else {
            return Usage(usage, stderr, kExitUsage);
        }
    }
    if (pathCount != 2)
        return Usage(usage, stderr, kExitUsage);

    std::FILE *in = std::fopen(paths[0], "rb");
    if (in == nullptr) {
        std::fprintf(stderr, "vnxpack: cannot open \"%s\": %s\n", paths[0], std::strerror(errno));
        return kExitFailure;
    }
    const long long size = FileSize(in);
    if (size < 0) {
        std::fprintf(stderr, "vnxpack: cannot read \"%s\"\n", paths[0]);
        std::fclose(in);
        return kExitFailure;
    }
    std::FILE *out = std::fopen(paths[1], "wb");
    if (out == nullptr) {
        std::fprintf(stderr, "vnxpack: cannot create \"%s\": %s\n", paths[1], std::strerror(errno));
        std::fclose(in);
        return kExitFailure;
    }
    std::string error;
    bool ok = vkp::CompressFile(in, static_cast<uint64_t>(size), out, level, &error);
    std::fclose(in);
    if (std::fclose(out) != 0 && ok) {
        ok = false;
        error = "write error";
    }
    if (!ok) {
        std::fprintf(stderr, "vnxpack: cannot compress \"%s\" into \"%s\": %s\n", paths[0],
                     paths[1], error.c_str());
        std::remove(paths[1]);
        return kExitFailure;
    }
    return kExitOk;
}

int RunDecompress(int argc, char **argv) {
    const char *usage = "decompress IN OUT";
    if (WantsHelp(argc, argv))
        return Usage(usage, stdout, kExitOk);
    if (argc != 2 || argv[0][0] == '-' || argv[1][0] == '-')
        return Usage(usage, stderr, kExitUsage);
    std::vector<uint8_t> stream;
    std::string error;
    if (!ReadWholeFile(argv[0], &stream, &error)) {
        std::fprintf(stderr, "vnxpack: %s\n", error.c_str());
        return kExitFailure;
    }
    static const uint8_t kEmpty[1] = {0};
    const int result = DecompressBounded(stream.empty() ? kEmpty : stream.data(),
                                         static_cast<uint32_t>(stream.size()), argv[1]);
    switch (result) {
    case kDecompressOk:
        return kExitOk;
    case kDecompressBadStream:
        std::fprintf(stderr, "vnxpack: \"%s\" is not a valid VKP1 stream\n", argv[0]);
        break;
    case kDecompressCantOpen:
        std::fprintf(stderr, "vnxpack: cannot create \"%s\"\n", argv[1]);
        break;
    default:
        std::fprintf(stderr, "vnxpack: cannot write \"%s\" completely\n", argv[1]);
        break;
    }
    return kExitFailure;
}

} // namespace vnxpack
