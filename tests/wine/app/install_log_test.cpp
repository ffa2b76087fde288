// The install log on a real (Wine) file system: header block, CRLF line ends, one
// open-append-close per line, and its quiet failures.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "archive/install_log.h"
#include "tests/support/text_files.h"

namespace {

const char kSeparator[] = "------------------------------------------------------";

// The log's lines; the file must end with a complete CRLF line.
std::vector<std::string> LogLines(const std::string &text) {
    EXPECT_TRUE(text.empty() || (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0))
        << "the file must end with a complete CRLF line";
    return SplitCrLf(text);
}

class InstallLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = "C:\\logtest_" +
                  std::string(::testing::UnitTest::GetInstance()->current_test_info()->name());
        CreateDirectoryA(folder_.c_str(), nullptr);
        path_ = folder_ + "\\install.log";
        DeleteFileA(path_.c_str());
    }
    std::string folder_;
    std::string path_;
};

// Checks the six header lines that start at `lines[at]` and returns the index after them.
size_t ExpectHeader(const std::vector<std::string> &lines, size_t at, const char *version) {
    EXPECT_GE(lines.size(), at + 9);
    if (lines.size() < at + 9)
        return lines.size();
    EXPECT_EQ(lines[at + 0], "");
    EXPECT_EQ(lines[at + 1], "");
    EXPECT_EQ(lines[at + 2], kSeparator);
    const std::string &timeLine = lines[at + 3];
    const std::string prefix = "--  Installation Started: ";
    EXPECT_EQ(timeLine.substr(0, prefix.size()), prefix);
    EXPECT_EQ(timeLine.size(), prefix.size() + 24 + 4) << timeLine;
    EXPECT_EQ(timeLine.substr(timeLine.size() - 4), "  --");
    EXPECT_EQ(lines[at + 4], kSeparator);
    EXPECT_EQ(lines[at + 5], "");
    EXPECT_EQ(lines[at + 6], "");
    EXPECT_EQ(lines[at + 7], std::string("Installing Addin version ") + version);
    EXPECT_EQ(lines[at + 8], "");
    return at + 9;
}

TEST_F(InstallLogTest, HeaderBlockThenLinesWithCrLf) {
    {
        InstallLog log(folder_.c_str(), "install.log", "Installation Started", "2.4.1.318");
        EXPECT_EQ(log.WriteLine("Kobal Installer 1.7"), 1);
        EXPECT_EQ(log.WriteKeyValue("Install Dir", "C:\\Program Files\\X"), 1);
        EXPECT_EQ(log.WriteNote("first line\nsecond line"), 1);
        EXPECT_EQ(log.WritePreviousInstall("C:\\Old", "2.3", "2.3.1.7"), 1);
        EXPECT_EQ(log.Close(), 0) << "nothing stays open between lines";
    }
    const std::string text = ReadFileText(path_);
    EXPECT_EQ(text.substr(0, 4), "\r\n\r\n");
    const std::vector<std::string> lines = LogLines(text);
    size_t at = ExpectHeader(lines, 0, "2.4.1.318");
    ASSERT_EQ(lines.size(), at + 4);
    EXPECT_EQ(lines[at++], "Kobal Installer 1.7");
    EXPECT_EQ(lines[at++], "@ Install Dir=C:\\Program Files\\X");
    EXPECT_EQ(lines[at++], "* first line second line");
    EXPECT_EQ(lines[at++], "Previous build 2.3.1.7 (ver 2.3) found at C:\\Old");
    EXPECT_EQ(text.find("\r\r"), std::string::npos);
}

TEST_F(InstallLogTest, EachLineIsOnDiskAsSoonAsWrittenAndTheFileIsNotHeld) {
    InstallLog log(folder_.c_str(), "install.log", "Installation Started", "1.0");
    const size_t before = ReadFileText(path_).size();
    ASSERT_EQ(log.WriteLine("visible at once"), 1);
    const std::string now = ReadFileText(path_);
    EXPECT_EQ(now.size(), before + std::string("visible at once\r\n").size());
    // Another program may even take the file exclusively between two lines.
    HANDLE exclusive = CreateFileA(path_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(exclusive, INVALID_HANDLE_VALUE);
    EXPECT_EQ(log.WriteLine("while locked"), 0) << "a locked file fails quietly";
    CloseHandle(exclusive);
    EXPECT_EQ(log.WriteLine("after the lock"), 1);
    const std::string text = ReadFileText(path_);
    EXPECT_EQ(text.find("while locked"), std::string::npos);
    EXPECT_NE(text.find("after the lock\r\n"), std::string::npos);
}

TEST_F(InstallLogTest, EmptyAndNullTextsWriteNothing) {
    InstallLog log(folder_.c_str(), "install.log", "Installation Started", "1.0");
    const std::string before = ReadFileText(path_);
    EXPECT_EQ(log.WriteLine(""), 0);
    EXPECT_EQ(log.WriteLine(nullptr), 0);
    EXPECT_EQ(log.WriteNote(nullptr), 0);
    EXPECT_EQ(log.WriteKeyValue(nullptr, "x"), 0);
    EXPECT_EQ(ReadFileText(path_), before);
    EXPECT_EQ(log.Close(), 0) << "a null text leaves the file closed";
}

TEST_F(InstallLogTest, NoteKeepsCarriageReturnsAndJoinsLines) {
    InstallLog log(folder_.c_str(), "install.log", "Installation Started", "1.0");
    ASSERT_EQ(log.WriteNote("a\nb\n\nc"), 1);
    const std::vector<std::string> lines = LogLines(ReadFileText(path_));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "* a b  c");
}

TEST_F(InstallLogTest, LongLinesAreCutAtTheFormatterLimit) {
    InstallLog log(folder_.c_str(), "install.log", "Installation Started", "1.0");
    const std::string value(3000, 'v');
    ASSERT_EQ(log.WriteKeyValue("Key", value.c_str()), 1);
    const std::vector<std::string> lines = LogLines(ReadFileText(path_));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().size(), 1023u);
    EXPECT_EQ(lines.back().substr(0, 6), "@ Key=");
    // WriteLine itself takes any length.
    ASSERT_EQ(log.WriteLine(value.c_str()), 1);
    const std::vector<std::string> after = LogLines(ReadFileText(path_));
    ASSERT_FALSE(after.empty());
    EXPECT_EQ(after.back(), value);
}

TEST_F(InstallLogTest, TwoRunsGiveTwoHeaderBlocks) {
    {
        InstallLog first(folder_.c_str(), "install.log", "Installation Started", "1.0");
        first.WriteLine("first run");
    }
    {
        InstallLog second(folder_.c_str(), "install.log", "Installation Started", "2.0");
        second.WriteLine("second run");
    }
    const std::vector<std::string> lines = LogLines(ReadFileText(path_));
    size_t at = ExpectHeader(lines, 0, "1.0");
    ASSERT_LT(at, lines.size());
    EXPECT_EQ(lines[at++], "first run");
    at = ExpectHeader(lines, at, "2.0");
    ASSERT_LT(at, lines.size());
    EXPECT_EQ(lines[at++], "second run");
    EXPECT_EQ(at, lines.size());
}

TEST_F(InstallLogTest, AFolderThatAppearsLaterGetsLinesButNoHeader) {
    const std::string later = folder_ + "\\later";
    const std::string laterLog = later + "\\install.log";
    InstallLog log(later.c_str(), "install.log", "Installation Started", "1.0");
    EXPECT_EQ(log.WriteLine("lost"), 0);
    ASSERT_TRUE(CreateDirectoryA(later.c_str(), nullptr));
    EXPECT_EQ(log.WriteLine("kept"), 1);
    EXPECT_EQ(log.WriteKeyValue("Installing Files", "Begin"), 1);
    EXPECT_EQ(ReadFileText(laterLog), "kept\r\n@ Installing Files=Begin\r\n");
}

TEST_F(InstallLogTest, OverlongFolderLeavesTheRunWithoutALog) {
    const std::string longFolder = "C:\\" + std::string(300, 'f');
    InstallLog log(longFolder.c_str(), "install.log", "Installation Started", "1.0");
    EXPECT_EQ(log.WriteLine("nowhere"), 0);
    EXPECT_STREQ(log.Path(), "");
    // Exactly at the limit: folder, backslash and name fill 279 characters.
    const std::string fits = "C:\\" + std::string(279 - 3 - 12, 'd');
    InstallLog atLimit(fits.c_str(), "install.log", "Installation Started", "1.0");
    EXPECT_EQ(std::string(atLimit.Path()), fits + "\\install.log");
    const std::string tooLong = fits + "e";
    InstallLog overLimit(tooLong.c_str(), "install.log", "Installation Started", "1.0");
    EXPECT_STREQ(overLimit.Path(), "");
}

TEST_F(InstallLogTest, OverlongVersionIsCut) {
    const std::string version(80, '9');
    { InstallLog log(folder_.c_str(), "install.log", "Installation Started", version.c_str()); }
    const std::vector<std::string> lines = LogLines(ReadFileText(path_));
    ExpectHeader(lines, 0, std::string(51, '9').c_str());
}

} // namespace
