// The Windows build of vnxpack: pack, list, verify and unpack a generated product tree.
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/environment.h"
#include "tests/support/product_tree.h"
#include "tests/support/win_files.h"

namespace {

namespace fs = std::filesystem;

// Where vnxpack.exe was built; set by the build.
const char *const kVnxpack = VNXPACK_EXE;

int Vnxpack(const std::string &arguments, std::string *output) {
    const std::string log = WorkPath("vnxpack-output.txt");
    return RunProgram("\"" + std::string(kVnxpack) + "\" " + arguments, log, output);
}

std::string Quoted(const fs::path &path) {
    return "\"" + path.string() + "\"";
}

bool SameBytes(const fs::path &a, const fs::path &b) {
    std::ifstream x(a, std::ios::binary), y(b, std::ios::binary);
    return x.good() && y.good() &&
           std::equal(std::istreambuf_iterator<char>(x), {}, std::istreambuf_iterator<char>(y), {});
}

TEST(VnxpackOnWindows, PacksListsVerifiesAndUnpacksAGeneratedTree) {
    const fs::path work = fs::path(WorkDir());
    const fs::path tree = work / "product";
    const fs::path payload = work / "payload.bin";
    const fs::path unpacked = work / "unpacked";
    // Names with letters outside ASCII ("Données", "Fichier é") are generated here too; they are
    // kept away from the command lines, which pass only ASCII paths.
    const ProductTree made = MakeProductTree(tree, 150, 11);

    std::string out;
    ASSERT_EQ(Vnxpack("pack " + Quoted(tree) + " -o " + Quoted(payload) +
                          " --product-version 2.4.1 --jobs 2",
                      &out),
              0)
        << out;
    ASSERT_TRUE(fs::exists(payload));

    ASSERT_EQ(Vnxpack("list " + Quoted(payload), &out), 0) << out;
    EXPECT_NE(out.find("version \"2.4.1\""), std::string::npos) << out;
    EXPECT_NE(out.find(std::to_string(made.files) + " files ("), std::string::npos) << out;
    EXPECT_NE(out.find(std::to_string(made.folders) + " folders"), std::string::npos) << out;

    ASSERT_EQ(Vnxpack("verify " + Quoted(payload) + " " + Quoted(tree), &out), 0) << out;
    EXPECT_NE(out.find("members match"), std::string::npos) << out;

    ASSERT_EQ(Vnxpack("unpack " + Quoted(payload) + " " + Quoted(unpacked), &out), 0) << out;
    uint32_t files = 0;
    fs::path changed;
    for (const auto &entry : fs::recursive_directory_iterator(tree)) {
        const fs::path copy = unpacked / fs::relative(entry.path(), tree);
        if (entry.is_directory()) {
            EXPECT_TRUE(fs::is_directory(copy)) << copy.u8string();
            continue;
        }
        ++files;
        EXPECT_TRUE(SameBytes(entry.path(), copy)) << copy.u8string();
        payload::FileTime want{}, got{};
        ASSERT_TRUE(payload::GetModificationTime(entry.path(), &want));
        ASSERT_TRUE(payload::GetModificationTime(copy, &got));
        EXPECT_EQ(payload::FileTimeToU64(got), payload::FileTimeToU64(want)) << copy.u8string();
        if (changed.empty() && entry.file_size() > 100)
            changed = copy;
    }
    EXPECT_EQ(files, made.files);
    ASSERT_EQ(Vnxpack("verify " + Quoted(payload) + " " + Quoted(unpacked), &out), 0) << out;

    // One changed byte in the unpacked copy is caught.
    ASSERT_FALSE(changed.empty());
    payload::FileTime time{};
    ASSERT_TRUE(payload::GetModificationTime(changed, &time));
    {
        std::fstream file(changed, std::ios::binary | std::ios::in | std::ios::out);
        file.seekp(50);
        file.put('\x7f');
    }
    ASSERT_TRUE(payload::SetModificationTime(changed, time));
    EXPECT_EQ(Vnxpack("verify " + Quoted(payload) + " " + Quoted(unpacked), &out), 1) << out;
    EXPECT_NE(out.find("1 difference"), std::string::npos) << out;
}

} // namespace
