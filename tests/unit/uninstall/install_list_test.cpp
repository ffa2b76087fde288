// The installation list: what the builder writes reads back the same, and a list that is not
// one, or that names a path outside the installation folder, is refused with its line.
#include <gtest/gtest.h>

#include <string>

#include "archive/install_list.h"
#include "archive/payload_format.h"

namespace {

using payload::InstallList;
using payload::ParseInstallList;

bool Parse(const std::string &text, InstallList *list, std::string *error) {
    return ParseInstallList(text.data(), text.size(), list, error);
}

// A SHA-256 as the list holds it.
const std::string kDigest(64, 'e');
const std::string kEmptyDigest = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";

TEST(InstallList, WhatIsWrittenReadsBackTheSame) {
    InstallList list;
    list.entries = {{false, "Uninstall.exe", -1, ""},
                    {false, "qubrix.xla", 3677, kDigest},
                    {true, "Doc", -1, ""},
                    {false, "Doc\\index.htm", 0, kEmptyDigest},
                    {true, "Doc\\Img \xE9t\xE9", -1, ""},
                    {false, "Doc\\Img \xE9t\xE9\\a b.gif", 2147483647,
                     "0123456789abcdef" + kDigest.substr(16)}};
    const std::string text = payload::FormatInstallList(list);
    EXPECT_EQ(text.substr(0, 10), "VNXLIST 2\n");
    EXPECT_NE(text.find("\nF\t-\t-\tUninstall.exe\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nF\t0\t" + kEmptyDigest + "\tDoc\\index.htm\n"), std::string::npos)
        << text;
    InstallList back;
    std::string error;
    ASSERT_TRUE(Parse(text, &back, &error)) << error;
    ASSERT_EQ(back.entries.size(), list.entries.size());
    for (size_t i = 0; i < list.entries.size(); ++i) {
        EXPECT_EQ(back.entries[i].isFolder, list.entries[i].isFolder) << i;
        EXPECT_EQ(back.entries[i].path, list.entries[i].path) << i;
        EXPECT_EQ(back.entries[i].size, list.entries[i].size) << i;
        EXPECT_EQ(back.entries[i].sha256, list.entries[i].sha256) << i;
    }
}

TEST(InstallList, AnythingElseIsRefusedWithItsLine) {
    const std::string f1 = "F\t1\t" + kDigest + "\t"; // a file of one byte
    const struct {
        std::string text;
        const char *error;
    } cases[] = {
        {"", "line 1: not an installation list"},
        {"VNXLIST 1\nF\t1\ta.txt\n", "line 1: not an installation list"},
        {"VNXLIST 2\n" + f1 + "a.txt", "line 2: the list does not end with a line break"},
        {"VNXLIST 2\nX\ta\n", "line 2: neither a folder nor a file entry"},
        {"VNXLIST 2\nF\ta.txt\n", "line 2: neither a folder nor a file entry"},
        {"VNXLIST 2\nF\t12x\t" + kDigest + "\ta.txt\n", "line 2: bad file size \"12x\""},
        {"VNXLIST 2\nF\t3000000000\t" + kDigest + "\ta.txt\n",
         "line 2: bad file size \"3000000000\""},
        {"VNXLIST 2\nD\t\n", "line 2: empty path"},
        {"VNXLIST 2\nD\tDoc\n" + f1 + "..\\..\\boot.ini\n",
         "line 3: name holds a \"..\" component"},
        {"VNXLIST 2\n" + f1 + "C:\\boot.ini\n", "line 2: name holds a drive or colon"},
        {"VNXLIST 2\n" + f1 + "\\boot.ini\n", "line 2: name starts with a backslash or slash"},
        {"VNXLIST 2\nD\tDoc\\\n", "line 2: malformed path"},
        {"VNXLIST 2\nD\tDoc\nD\tdoc\n", "line 3: \"doc\" is listed twice"},
        // Windows folds accented letters too.
        {"VNXLIST 2\nD\t\xC9t\xE9\nD\t\xE9T\xC9\n", "line 3: \"\xE9T\xC9\" is listed twice"},
        {"VNXLIST 2\n" + f1 + "a.txt\textra\n", "line 2: neither a folder nor a file entry"},
        {"VNXLIST 2\nD\tDoc\tDoc\n", "line 2: neither a folder nor a file entry"},
        {"VNXLIST 2\nF\t1\ta.txt\n", "line 2: neither a folder nor a file entry"}, // no SHA-256
        {"VNXLIST 2\nF\t1\t" + kDigest.substr(1) + "\ta.txt\n", "line 2: bad SHA-256 \""},
        {"VNXLIST 2\nF\t1\tE" + kDigest.substr(1) + "\ta.txt\n", "line 2: bad SHA-256 \""},
        {"VNXLIST 2\nF\t1\t-\ta.txt\n", "line 2: bad SHA-256 \"-\""},
        {"VNXLIST 2\nF\t-\t" + kDigest + "\ta.txt\n", "line 2: bad SHA-256 \""},
    };
    for (const auto &c : cases) {
        InstallList list;
        std::string error;
        EXPECT_FALSE(Parse(c.text, &list, &error)) << c.text;
        EXPECT_EQ(error.rfind(c.error, 0), 0u) << c.text << ": " << error;
    }
    // The longest path the archive can hold (a folder name, a backslash, a file name) is taken;
    // one character more is not.
    const std::string longest = std::string(payload::kMaxNameLength, 'd') + "\\" +
                                std::string(payload::kMaxNameLength, 'f');
    InstallList list;
    std::string error;
    EXPECT_TRUE(Parse("VNXLIST 2\n" + f1 + longest + "\n", &list, &error)) << error;
    EXPECT_FALSE(Parse("VNXLIST 2\n" + f1 + longest + "x\n", &list, &error));
    EXPECT_EQ(error, "line 2: path longer than the archive allows");
}

} // namespace
