// The folder rules the installer's dialog and the uninstaller share: full drive paths in their
// normal form, folders compared as Windows compares them, and the folders no product may use.
#include "regaddin/folder_rules.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

using namespace folders;

TEST(Folders, OnlyFullDrivePathsAndTheirNormalForm) {
    EXPECT_EQ(NormalizeFolder("C:/Tools/Varnex\\\\"), "C:\\Tools\\Varnex");
    EXPECT_EQ(NormalizeFolder("C:\\"), "C:\\");
    for (const char *good : {"C:\\", "C:\\Tools", "d:\\A B\\c.d"})
        EXPECT_TRUE(IsPlainDriveFolder(good)) << good;
    for (const char *bad : {"", "C:", "C:Tools", "Tools", "\\\\server\\share", "C:\\a\\..\\b",
                            "C:\\.\\b", "C:\\a\\\\b", "C:\\a*", "C:\\a?b", "C:\\a:b", "1:\\a",
                            // names Windows would take otherwise in one call than in another
                            "C:\\Program Files \\X", "C:\\Tools.\\X", "C:\\Tools\\X ", "C:\\X."})
        EXPECT_FALSE(IsPlainDriveFolder(bad)) << bad;
    EXPECT_FALSE(IsPlainDriveFolder("C:\\" + std::string(257, 'x')));
    EXPECT_TRUE(IsPlainDriveFolder("C:\\" + std::string(256, 'x')));
}

TEST(Folders, SameAndInsideIgnoreLetterCaseAndTrailingSeparators) {
    EXPECT_TRUE(SameFolder("C:\\Program Files\\Varnok", "c:\\program files\\VARNOK\\"));
    EXPECT_FALSE(SameFolder("C:\\Program Files\\Varnok", "C:\\Program Files\\Varnok2"));
    EXPECT_TRUE(InsideOrSame("C:\\Windows\\System32", "C:\\"));
    EXPECT_TRUE(InsideOrSame("C:\\Windows\\System32", "c:\\windows"));
    EXPECT_TRUE(InsideOrSame("C:\\Windows", "C:\\Windows\\"));
    EXPECT_FALSE(InsideOrSame("C:\\Windows2\\x", "C:\\Windows"));
    EXPECT_FALSE(InsideOrSame("C:\\Windows", "C:\\Windows\\System32"));
    EXPECT_FALSE(InsideOrSame("C:\\a", ""));
}

TEST(Folders, RefusedAreOtherPathsDriveRootsAndWhatIsOrHoldsASystemFolder) {
    const std::vector<std::string> system = {"C:\\windows", "C:\\Program Files", "C:\\users\\Ann",
                                             "C:\\users\\Ann\\Temp"};
    EXPECT_EQ(RefuseFolder("C:\\Program Files\\Varnok\\VarnexAddin", system), FolderRefusal::None);
    EXPECT_EQ(RefuseFolder("C:\\Tools", system), FolderRefusal::None);
    EXPECT_EQ(RefuseFolder("C:\\users\\Ann\\Varnex", system), FolderRefusal::None);
    EXPECT_EQ(RefuseFolder("C:\\Program Files2", system), FolderRefusal::None);
    EXPECT_EQ(RefuseFolder("Tools", system), FolderRefusal::NotFullPath);
    EXPECT_EQ(RefuseFolder("C:\\Tools\\..\\windows", system), FolderRefusal::NotFullPath);
    EXPECT_EQ(RefuseFolder("\\\\server\\share", system), FolderRefusal::NotFullPath);
    EXPECT_EQ(RefuseFolder("C:\\", system), FolderRefusal::DriveRoot);
    EXPECT_EQ(RefuseFolder("d:\\", system), FolderRefusal::DriveRoot);
    std::string which;
    EXPECT_EQ(RefuseFolder("c:\\WINDOWS", system, &which), FolderRefusal::SystemFolder);
    EXPECT_EQ(which, "C:\\windows");
    EXPECT_EQ(RefuseFolder("C:\\program files", system), FolderRefusal::SystemFolder);
    EXPECT_EQ(RefuseFolder("C:\\users", system, &which), FolderRefusal::SystemFolder);
    EXPECT_EQ(which, "C:\\users\\Ann");
    EXPECT_EQ(RefuseFolder("C:\\users\\Ann\\Temp", system), FolderRefusal::SystemFolder);
}

// A file system of a few parts: a junction the system made, one a user made, a plain folder.
TEST(Folders, NeitherALinkNorBelowALinkAUserMade) {
    const std::map<std::string, PathPart> parts = {
        {"C:\\Documents and Settings", {true, true, true}},
        {"C:\\Documents and Settings\\Ann", {true, false, false}},
        {"C:\\Tools", {true, false, false}},
        {"C:\\Tools\\Jump", {true, true, false}},
        {"C:\\Tools\\Jump\\Varnex", {true, false, true}},
        {"C:\\Tools\\Own", {true, true, true}},
    };
    std::vector<std::string> asked;
    const auto probe = [&](const std::string &path) {
        asked.push_back(path);
        const auto found = parts.find(path);
        return found == parts.end() ? PathPart{} : found->second;
    };
    std::string part;
    EXPECT_EQ(RefuseLinks("C:\\Tools\\Varnex", probe), LinkRefusal::None);
    EXPECT_EQ(asked, (std::vector<std::string>{"C:\\Tools", "C:\\Tools\\Varnex"}));
    EXPECT_EQ(RefuseLinks("C:\\Tools\\New\\Deeper", probe), LinkRefusal::None);
    EXPECT_EQ(RefuseLinks("C:\\Documents and Settings\\Ann\\Varnex", probe), LinkRefusal::None)
        << "the system's own junction";
    EXPECT_EQ(RefuseLinks("C:\\Tools\\Jump", probe, &part), LinkRefusal::IsLink);
    EXPECT_EQ(part, "C:\\Tools\\Jump");
    EXPECT_EQ(RefuseLinks("C:\\Tools\\Own", probe), LinkRefusal::IsLink)
        << "the folder itself may be no link at all";
    EXPECT_EQ(RefuseLinks("C:\\Tools\\Jump\\Varnex", probe, &part), LinkRefusal::BelowUsersLink);
    EXPECT_EQ(part, "C:\\Tools\\Jump");
    EXPECT_EQ(RefuseLinks("C:\\Tools\\Jump\\Varnex\\Sub", probe), LinkRefusal::BelowUsersLink);
}

} // namespace
