// vnxpack: builds and inspects the installer's payload. Dispatches the first argument to a verb.
#include <cstdio>
#include <cstring>

#include "tools/archive_commands.h"
#include "tools/commands.h"
#include "tools/installer_command.h"

namespace {

struct Verb {
    const char *name;
    const char *usage;
    int (*run)(int argc, char **argv);
};

const Verb kVerbs[] = {
    {"compress",
     "compress IN OUT [--level N]   code one file as a VKP1 stream (N 1..9, default 6; 9 is\n"
     "                                for release builds: smallest, several times slower)",
     vnxpack::RunCompress},
    {"decompress", "decompress IN OUT             decode one VKP1 stream into a file",
     vnxpack::RunDecompress},
    {"pack",
     "pack DIR -o FILE [--product-version TEXT] [--level N] [--jobs N]\n"
     "     [--add NAME=FILE]... [--check-list LIST]\n"
     "                                build a payload archive from a product folder (level as\n"
     "                                for compress), with files the build adds at its root;\n"
     "                                LIST: the installation list the payload must match",
     vnxpack::RunPack},
    {"file-list",
     "file-list DIR -o LIST [--add NAME]...\n"
     "                                the installation list of a product folder (what the\n"
     "                                uninstaller removes), with the names the build adds",
     vnxpack::RunFileList},
    {"list", "list FILE                     records of a payload, or of an installer .exe",
     vnxpack::RunList},
    {"verify",
     "verify FILE DIR [--add NAME=FILE]... [--ca FILE] [--signed]\n"
     "                                compare every member with a folder, and the members the\n"
     "                                build added with their files; check the payload's SHA-256,\n"
     "                                which must be there; of an installer, check the image and\n"
     "                                its signature first (--ca: the certificates its chain must\n"
     "                                lead to; --signed: a signature must be there); exit 1 on\n"
     "                                any difference",
     vnxpack::RunVerify},
    {"unpack",
     "unpack FILE DIR [--rescue]    extract a payload into a folder once it matches its SHA-256\n"
     "                                (--rescue: a damaged one too, ending with exit 1)",
     vnxpack::RunUnpack},
    {"installer",
     "installer PRODUCT_DIR --stub-dir DIR -o Setup.exe --product-version V --product-build B\n"
     "          [--build-date D] [--level N] [--jobs N] [--uninstaller-out FILE]\n"
     "          [--sign-pkcs12 FILE --sign-password-file FILE [--timestamp-url URL]]\n"
     "                                make a product's installer from the stubs Setup.exe and\n"
     "                                Uninstall.exe in DIR (dist/<arch>/stub/): no compiler;\n"
     "                                signed with osslsigncode when a certificate is given",
     vnxpack::RunInstaller},
};

void PrintUsage(std::FILE *to) {
    std::fprintf(to, "usage: vnxpack VERB ARGS...\n       vnxpack --help\nverbs:\n");
    for (const Verb &verb : kVerbs)
        std::fprintf(to, "  %s\n", verb.usage);
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 2) {
        PrintUsage(stderr);
        return vnxpack::kExitUsage;
    }
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        PrintUsage(stdout);
        return vnxpack::kExitOk;
    }
    for (const Verb &verb : kVerbs) {
        if (std::strcmp(argv[1], verb.name) == 0)
            return verb.run(argc - 2, argv + 2);
    }
    std::fprintf(stderr, "vnxpack: unknown verb \"%s\"\n", argv[1]);
    PrintUsage(stderr);
    return vnxpack::kExitUsage;
}
