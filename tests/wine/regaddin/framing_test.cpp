// The log framing of the entry points that take a callback, and the folder checks of
// RegAddin_Install and RegAddin_Uninstall. The banner goes out once per process, so this program
// holds nothing else and its first test is the first framed call of the process.
#include "regaddin/regaddin.h"
#include "tests/wine/regaddin/regaddin_test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

namespace {

using namespace regtest;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

char kKeyName[] = "FramingTestEntry";

TEST(Framing, BannerOncePerProcessReturnLineAndSilentNullCallback) {
    // A null callback logs nothing, and the banner stays pending.
    ClearCaptured();
    EXPECT_EQ(RegAddin_RegisterUninstall(nullptr, kKeyName, nullptr, nullptr), 10);
    char appData[260];
    RegAddin_GetAppDataFolder(appData);
    EXPECT_THAT(CapturedLines(), IsEmpty());

    // The first call with a callback: banner, the step's lines, the return line.
    EXPECT_EQ(RegAddin_RegisterUninstall(nullptr, kKeyName, nullptr, CaptureLine), 10);
    EXPECT_THAT(CapturedLines(),
                ElementsAre("--- RegAddin.lib (1.10) ---",
                            "Removing Control Panel uninstall entries",
                            ::testing::StartsWith("Could not open registry key (for remove)"),
                            "--- RegAddin.lib returned 10 ---"));

    // Later calls: no banner.
    ClearCaptured();
    char display[] = "Framing";
    char folder[] = "C:\\Framing";
    EXPECT_EQ(RegAddin_RegisterUninstall(display, kKeyName, folder, CaptureLine), 0);
    EXPECT_EQ(RegAddin_RegisterUninstall(display, kKeyName, nullptr, CaptureLine), 0);
    EXPECT_THAT(CapturedLines(), ElementsAre("Adding Control Panel uninstall entries",
                                             "--- RegAddin.lib returned 0 ---",
                                             "Removing Control Panel uninstall entries",
                                             "--- RegAddin.lib returned 0 ---"));

    // A null callback replaces the stored one: silent again, also for later plain entry points.
    ClearCaptured();
    EXPECT_EQ(RegAddin_RegisterUninstall(display, kKeyName, nullptr, nullptr), 10);
    RegAddin_GetAppDataFolder(appData);
    EXPECT_THAT(CapturedLines(), IsEmpty());
}

class FolderChecks : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = UniqueFolder("C:\\fc");
        ASSERT_TRUE(CreateDirectoryA(folder_.c_str(), nullptr));
        ClearCaptured();
    }
    std::string folder_;
};

TEST_F(FolderChecks, MissingFolderGives9BeforeAnythingElse) {
    std::string missing = folder_ + "\\missing";
    EXPECT_EQ(RegAddin_Install(kRegAddinAddToPath, &missing[0], nullptr, CaptureLine), 9);
    EXPECT_THAT(CapturedLines(), ElementsAre("Directory \"" + missing + "\" does not exist!",
                                             "--- RegAddin.lib returned 9 ---"));
    ClearCaptured();
    EXPECT_EQ(RegAddin_Uninstall(0, &missing[0], nullptr, CaptureLine), 9);
    EXPECT_THAT(CapturedLines(), ElementsAre("Directory \"" + missing + "\" does not exist!",
                                             "--- RegAddin.lib returned 9 ---"));
    // A file is not a folder.
    std::string file = folder_ + "\\file.txt";
    ASSERT_TRUE(WriteFileText(file, "x"));
    EXPECT_EQ(RegAddin_Install(0, &file[0], nullptr, nullptr), 9);
    EXPECT_EQ(RegAddin_Install(0, nullptr, nullptr, nullptr), 9);
    std::string tooLong = "C:\\" + std::string(1000, 'x');
    ClearCaptured();
    EXPECT_EQ(RegAddin_Install(0, &tooLong[0], nullptr, CaptureLine), 9);
    // A log line holds at most 699 characters.
    ASSERT_EQ(CapturedLines().size(), 2u);
    EXPECT_EQ(CapturedLines()[0], ("Directory \"" + tooLong).substr(0, 699));
}

TEST_F(FolderChecks, FolderWithoutTheAddinGives11WithoutALine) {
    EXPECT_EQ(RegAddin_Install(kRegAddinAddToPath, &folder_[0], nullptr, CaptureLine), 11);
    EXPECT_THAT(CapturedLines(), ElementsAre("--- RegAddin.lib returned 11 ---"));

    // The caller's file name is what is looked for; the default is QUBRIX.xla.
    ASSERT_TRUE(WriteFileText(folder_ + "\\QUBRIX.xla", "add-in"));
    char other[] = "Other.xla";
    ClearCaptured();
    EXPECT_EQ(RegAddin_Uninstall(0, &folder_[0], other, CaptureLine), 11);
    EXPECT_THAT(CapturedLines(), ElementsAre("--- RegAddin.lib returned 11 ---"));
    std::string longName(120, 'n');
    EXPECT_EQ(RegAddin_Install(0, &folder_[0], &longName[0], nullptr), 11);

    // A trailing backslash or "/" on the folder changes nothing.
    std::string slashed = folder_ + "\\";
    EXPECT_EQ(RegAddin_Install(0, &slashed[0], other, nullptr), 11);
    slashed = folder_ + "/";
    EXPECT_EQ(RegAddin_Install(0, &slashed[0], other, nullptr), 11);
    std::string missing = folder_ + "\\gone\\";
    ClearCaptured();
    EXPECT_EQ(RegAddin_Install(0, &missing[0], nullptr, CaptureLine), 9);
    EXPECT_THAT(CapturedLines(), ElementsAre("Directory \"" + folder_ + "\\gone\" does not exist!",
                                             "--- RegAddin.lib returned 9 ---"));
}

} // namespace
