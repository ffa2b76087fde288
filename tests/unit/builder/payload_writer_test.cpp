// The payload writer's refusals: each name, size or link a product folder may hold that the
// installer could not put on disk is refused with its path, and nothing is written.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "builder/payload_writer.h"
#include "tests/support/temp_dir.h"
#include "tests/support/text_files.h"

namespace fs = std::filesystem;

namespace {

void Touch(const fs::path &p, const std::string &text = "x") {
    std::ofstream(p) << text;
}

struct Refusal {
    const char *what;
    std::function<void(const fs::path &root)> make;
    std::string expectPath; // relative to root, as named in the message
    const char *expectReason;
    uint32_t allowance = 259;
};

TEST(PayloadWriter, EveryRefusalNamesThePathAndWritesNothing) {
    const std::string name81(81, 'n');
    const std::string folder80(80, 'd');
    std::vector<Refusal> cases = {
        {"name over 80", [&](const fs::path &r) { Touch(r / name81); }, name81, "longer than 80"},
        {"not in code page 1252", [](const fs::path &r) { Touch(r / u8"smile\U0001F600.txt"); },
         u8"smile\U0001F600.txt", "code page 1252"},
        {"Greek", [](const fs::path &r) { Touch(r / u8"\u03b1.txt"); }, u8"\u03b1.txt",
         "code page 1252"},
        {"question mark", [](const fs::path &r) { Touch(r / "what?.txt"); }, "what?.txt",
         "character Windows does not allow"},
        {"colon", [](const fs::path &r) { Touch(r / "a:b"); }, "a:b", "does not allow"},
        {"backslash", [](const fs::path &r) { Touch(r / "a\\b"); }, "a\\b", "does not allow"},
        {"pipe", [](const fs::path &r) { Touch(r / "a|b"); }, "a|b", "does not allow"},
        {"control character", [](const fs::path &r) { Touch(r / "a\tb"); }, "a\tb",
         "does not allow"},
        {"trailing dot", [](const fs::path &r) { Touch(r / "name."); }, "name.", "dot or a blank"},
        {"trailing blank", [](const fs::path &r) { fs::create_directory(r / "dir "); }, "dir ",
         "dot or a blank"},
        {"device name", [](const fs::path &r) { Touch(r / "CON"); }, "CON", "reserved"},
        {"device name with extension", [](const fs::path &r) { Touch(r / "nul.txt"); }, "nul.txt",
         "reserved"},
        {"device name COM", [](const fs::path &r) { fs::create_directory(r / "com7"); }, "com7",
         "reserved"},
        {"device name LPT", [](const fs::path &r) { Touch(r / "Lpt1 .log"); }, "Lpt1 .log",
         "reserved"},
        {"case collision",
         [](const fs::path &r) {
             fs::create_directory(r / "Doc");
             Touch(r / "Doc" / "Readme.txt");
             Touch(r / "Doc" / "README.TXT");
         },
         "Doc/R", "only in letter case"},
        {"case collision of accented letters",
         [](const fs::path &r) {
             Touch(r / u8"caf\u00e9");
             Touch(r / u8"CAF\u00c9");
         },
         "", "only in letter case"},
        {"file of 2 GiB",
         [](const fs::path &r) {
             Touch(r / "big.bin");
             fs::resize_file(r / "big.bin", uint64_t(1) << 31);
         },
         "big.bin", "2 GiB or more"},
        {"totals past 32 bits",
         [](const fs::path &r) {
             for (const char *n : {"a.bin", "b.bin"}) {
                 Touch(r / n);
                 fs::resize_file(r / n, (uint64_t(1) << 31) - 1);
             }
         },
         "", "32-bit"},
        {"link out of the tree",
         [](const fs::path &r) { fs::create_symlink("/etc/hostname", r / "host"); }, "host",
         "out of the tree"},
        {"folder link out of the tree",
         [](const fs::path &r) { fs::create_directory_symlink("/usr", r / "usr"); }, "usr",
         "out of the tree"},
        {"link loop",
         [](const fs::path &r) {
             fs::create_directory(r / "a");
             fs::create_directory_symlink("..", r / "a" / "up");
         },
         "a/up", "parent folders"},
        {"dangling link", [](const fs::path &r) { fs::create_symlink("nowhere", r / "dead"); },
         "dead", "cannot be found"},
        {"fifo", [](const fs::path &r) { mkfifo((r / "pipe").c_str(), 0600); }, "pipe",
         "neither a regular file nor a folder"},
        {"folder path over 80",
         [&](const fs::path &r) {
             fs::create_directories(r / std::string(40, 'a') / std::string(40, 'b'));
         },
         std::string(40, 'a') + "/" + std::string(40, 'b'), "folder path"},
        {"full path over 511",
         [&](const fs::path &r) {
             fs::create_directory(r / folder80);
             Touch(r / folder80 / std::string(40, 'f'));
         },
         folder80 + "/" + std::string(40, 'f'), "511-character", 400},
    };

    for (const Refusal &c : cases) {
        SCOPED_TRACE(c.what);
        TempDir tmp;
        const fs::path root = tmp.Root() / "product";
        fs::create_directory(root);
        Touch(root / "fine.txt", "a file that would be accepted");
        c.make(root);
        const fs::path out = tmp.Root() / "out.bin";
        Touch(out, "previous payload");
        payload::PackOptions options;
        options.installFolderAllowance = c.allowance;
        std::string error;
        EXPECT_FALSE(payload::PackDirectory(root.string(), out.string(), options, nullptr, &error));
        const std::string named =
            c.expectPath.empty() ? root.string() : (root / c.expectPath).string();
        EXPECT_NE(error.find(named), std::string::npos) << error;
        EXPECT_NE(error.find(c.expectReason), std::string::npos) << error;
        // Nothing written: the old file is as it was, no partial file is left.
        EXPECT_EQ(ReadFileText(out.string()), "previous payload");
        size_t entries = 0;
        for (const auto &e : fs::directory_iterator(tmp.Root()))
            entries += e.path() == root ? 0 : 1;
        EXPECT_EQ(entries, 1u);
    }
}

} // namespace
