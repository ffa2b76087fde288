#include "regaddin/string_rules.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(FindNoCase, FindsFirstOccurrenceIgnoringCase) {
    EXPECT_EQ(FindNoCase("Tools;Dir", "dir"), 6);
    EXPECT_EQ(FindNoCase("abcABC", "BC"), 1);
    EXPECT_EQ(FindNoCase("QUBRIX.xla", "qubrix.XLA"), 0);
    EXPECT_EQ(FindNoCase("C:\\A\\qubrix.xla\" /x", "QUBRIX.xla"), 5);
    EXPECT_EQ(FindNoCase("same", "same"), 0);
    EXPECT_EQ(FindNoCase("aaab", "aab"), 1); // restarts after a partial match
}

TEST(FindNoCase, NotFoundEmptyNullAndTooShort) {
    EXPECT_EQ(FindNoCase("Tools;Dir", "dirs"), -1);
    EXPECT_EQ(FindNoCase("", "a"), -1);
    EXPECT_EQ(FindNoCase("abc", ""), -1);
    EXPECT_EQ(FindNoCase(nullptr, "a"), -1);
    EXPECT_EQ(FindNoCase("abc", nullptr), -1);
    EXPECT_EQ(FindNoCase("ab", "abc"), -1);
}

TEST(FindNoCase, FoldsCodePage1252Letters) {
    EXPECT_EQ(FindNoCase("x\xE9t\xE9", "\xC9T\xC9"), 1);       // e acute
    EXPECT_EQ(FindNoCase("\xFF", "\x9F"), 0);                  // y diaeresis
    EXPECT_EQ(FindNoCase("a\x9A\x9C\x9E", "\x8A\x8C\x8E"), 1); // s caron, oe, z caron
    EXPECT_EQ(FindNoCase("\xF7", "\xD7"), -1);                 // division and multiplication signs
    EXPECT_EQ(FindNoCase("\xDF", "SS"), -1);                   // sharp s has no one-byte upper case
    EXPECT_EQ(FindNoCase("[", "{"), -1);                       // only letters fold
}

TEST(StartsWith, PrefixRules) {
    char text[] = "12.0";
    EXPECT_EQ(StartsWith(text, "12."), 1);
    EXPECT_EQ(std::string(text), "12.0"); // the text is left as it was
    EXPECT_EQ(StartsWith("9", "9."), 0);  // prefix longer than text
    EXPECT_EQ(StartsWith("9.", "9."), 1); // same length
    EXPECT_EQ(StartsWith("9.0", "9,"), 0);
    EXPECT_EQ(StartsWith("abc", "ABC"), 0); // case-sensitive
    EXPECT_EQ(StartsWith("anything", nullptr), 1);
    EXPECT_EQ(StartsWith(nullptr, nullptr), 1);
    EXPECT_EQ(StartsWith(nullptr, "a"), 0);
    EXPECT_EQ(StartsWith("abc", ""), 1);
    EXPECT_EQ(StartsWith("16.0", "15."), 0);
}

struct PathCase {
    const char *value;
    const char *folder;
    int expected;
};

class PathListContainsTest : public ::testing::TestWithParam<PathCase> {};

TEST_P(PathListContainsTest, Matches) {
    const PathCase &c = GetParam();
    EXPECT_EQ(PathListContains(c.value, c.folder), c.expected)
        << "value [" << (c.value ? c.value : "(null)") << "] folder ["
        << (c.folder ? c.folder : "(null)") << "]";
}

INSTANTIATE_TEST_SUITE_P(
    Listed, PathListContainsTest,
    ::testing::Values(PathCase{"C:\\Dir", "C:\\Dir", 1}, PathCase{"A;C:\\Dir", "C:\\Dir", 1},
                      PathCase{"X;c:\\dir;Y", "C:\\Dir", 1},
                      PathCase{"A;\"C:\\Dir\";B", "C:\\Dir", 1},
                      PathCase{"C:\\Windows;\"C:\\Program Files\\Tool\";C:\\Bin",
                               "C:\\program files\\tool", 1},
                      PathCase{"\"C:\\Dir\";B", "C:\\Dir", 1}, PathCase{"C:\\Dir;", "C:\\Dir", 1},
                      // a later occurrence counts when an earlier one does not
                      PathCase{"C:\\Dir2;C:\\Dir", "C:\\Dir", 1},
                      PathCase{"C:\\Other\\C:\\Dir;C:\\Dir;", "C:\\Dir", 1}));

INSTANTIATE_TEST_SUITE_P(
    TrailingSeparatorAndLastQuoted, PathListContainsTest,
    ::testing::Values(
        PathCase{"A;C:\\Dir\\;B", "C:\\Dir", 1}, PathCase{"A;C:\\Dir/;B", "C:\\Dir", 1},
        PathCase{"A;C:\\Dir\\", "C:\\Dir", 1}, PathCase{"A;\"C:\\Dir\\\";B", "C:\\Dir", 1},
        PathCase{"A;\"C:\\Dir\"", "C:\\Dir", 1},
        PathCase{"A;\"C:\\Program Files\\Tool\"", "C:\\Program Files\\Tool", 1},
        PathCase{"\"C:\\Dir\"", "C:\\Dir", 1},
        // only one separator is skipped
        PathCase{"A;C:\\Dir\\\\;B", "C:\\Dir", 0}, PathCase{"A;C:\\Dir\\Sub;B", "C:\\Dir", 0},
        // the folder text is searched unchanged: its own trailing backslash counts
        PathCase{"A;C:\\Dir;B", "C:\\Dir\\", 0}, PathCase{"A;C:\\Dir\\;B", "C:\\Dir\\", 1}));

INSTANTIATE_TEST_SUITE_P(NotListed, PathListContainsTest,
                         ::testing::Values(PathCase{"C:\\Dir2", "C:\\Dir", 0},
                                           PathCase{"C:\\Other\\C:\\Dir", "C:\\Dir", 0},
                                           PathCase{"C:\\Dirs;C:\\Dir2", "C:\\Dir", 0},
                                           PathCase{"XC:\\Dir;B", "C:\\Dir", 0},
                                           PathCase{"A;x\"C:\\Dir\";B", "C:\\Dir", 0},
                                           PathCase{"A;\"C:\\Dir\"x;B", "C:\\Dir", 0},
                                           PathCase{"A;C:\\Dir B;C", "C:\\Dir", 0},
                                           PathCase{"", "C:\\Dir", 0}, PathCase{"C:\\Dir", "", 0},
                                           PathCase{nullptr, "C:\\Dir", 0},
                                           PathCase{"C:\\Dir", nullptr, 0}));

std::string Compose(const char *oldValue, const char *folder, std::size_t capacity = 10000) {
    std::string out(capacity, 'x');
    if (!ComposePathWithDir(oldValue, folder, &out[0], capacity))
        return "<refused:" + std::string(out.c_str()) + ">";
    return out.c_str();
}

TEST(ComposePathWithDir, AppendsFolderWithSeparatorAndQuotes) {
    EXPECT_EQ(Compose("A;B", "C:\\Program Files\\Tool"), "A;B;\"C:\\Program Files\\Tool\";");
    EXPECT_EQ(Compose("A;B;", "C:\\Tools"), "A;B;C:\\Tools;");
    EXPECT_EQ(Compose("A;B", "C:\\Tools"), "A;B;C:\\Tools;");
    EXPECT_EQ(Compose("", "C:\\Tools"), "C:\\Tools;");
    EXPECT_EQ(Compose("", "C:\\My Tools"), "\"C:\\My Tools\";");
}

TEST(ComposePathWithDir, RefusesWhatDoesNotFit) {
    // "A;" + "C:\T" + ";" = 7 characters and a NUL.
    EXPECT_EQ(Compose("A", "C:\\T", 8), "A;C:\\T;");
    EXPECT_EQ(Compose("A", "C:\\T", 7), "<refused:>");
    const std::string nearlyFull(9990, 'p');
    EXPECT_EQ(Compose(nearlyFull.c_str(), "C:\\Tools"), "<refused:>");
    EXPECT_EQ(Compose(nearlyFull.c_str(), "C:\\T"), nearlyFull + ";C:\\T;"); // 9997 + NUL
    EXPECT_EQ(Compose(nullptr, "C:\\T"), "<refused:>");
    EXPECT_EQ(Compose("A", nullptr), "<refused:>");
}

} // namespace
