// Application-data folder, folder creation and Excel detection on the prefix's real registry,
// file system and desktop.
#include "regaddin/regaddin.h"
#include "tests/wine/regaddin/regaddin_test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using namespace regtest;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

const char kVolatile[] = "Volatile Environment";

TEST(AppDataFolder, ReadsTheValueRawAndReportsAMissingOneSilently) {
    ASSERT_TRUE(WriteValue(HKEY_CURRENT_USER, kVolatile, "APPDATA",
                           "C:\\users\\tester\\AppData\\%Roaming%"));
    RegAddin_RegisterUninstall(nullptr, nullptr, nullptr, CaptureLine); // store a callback
    ClearCaptured();
    char buffer[260];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(RegAddin_GetAppDataFolder(buffer), 1);
    EXPECT_STREQ(buffer, "C:\\users\\tester\\AppData\\%Roaming%"); // not expanded

    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kVolatile, 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
    RegDeleteValueA(key, "APPDATA");
    RegCloseKey(key);
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(RegAddin_GetAppDataFolder(buffer), 0);
    EXPECT_STREQ(buffer, "");

    // Present but empty, or too long for 260 bytes: no folder.
    ASSERT_TRUE(WriteValue(HKEY_CURRENT_USER, kVolatile, "APPDATA", ""));
    EXPECT_EQ(RegAddin_GetAppDataFolder(buffer), 0);
    ASSERT_TRUE(WriteValue(HKEY_CURRENT_USER, kVolatile, "APPDATA", std::string(300, 'a')));
    EXPECT_EQ(RegAddin_GetAppDataFolder(buffer), 0);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(RegAddin_GetAppDataFolder(nullptr), 0);
    EXPECT_THAT(CapturedLines(), IsEmpty());

    // Without the key: the one line this function logs.
    DeleteKeyTree(HKEY_CURRENT_USER, kVolatile);
    EXPECT_EQ(RegAddin_GetAppDataFolder(buffer), 0);
    EXPECT_THAT(CapturedLines(), ElementsAre("Could not open registry key - "
                                             "\"HKEY_CURRENT_USER\\Volatile Environment\""));
    // With no callback stored, the same failure is silent.
    RegAddin_RegisterUninstall(nullptr, nullptr, nullptr, nullptr);
    ClearCaptured();
    EXPECT_EQ(RegAddin_GetAppDataFolder(buffer), 0);
    EXPECT_THAT(CapturedLines(), IsEmpty());
}

class MakeDirTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = UniqueFolder("C:\\mk");
        ASSERT_TRUE(CreateDirectoryA(root_.c_str(), nullptr));
    }
    std::string root_;
};

TEST_F(MakeDirTest, CreatesNestedFolders) {
    std::string target = root_ + "\\B\\C";
    EXPECT_EQ(RegAddin_MakeDir(&target[0]), 1);
    EXPECT_TRUE(IsFolder(root_ + "\\B"));
    EXPECT_TRUE(IsFolder(target));
    EXPECT_EQ(RegAddin_MakeDir(&target[0]), 1); // already there

    std::string withSlash = root_ + "\\D\\E\\";
    EXPECT_EQ(RegAddin_MakeDir(&withSlash[0]), 1);
    EXPECT_TRUE(IsFolder(root_ + "\\D\\E"));
}

TEST_F(MakeDirTest, RefusesUncRelativeAndDriveRelativePaths) {
    char unc[] = "\\\\server\\share\\dir";
    EXPECT_EQ(RegAddin_MakeDir(unc), 0);
    char relative[] = "relative\\dir";
    EXPECT_EQ(RegAddin_MakeDir(relative), 0);
    EXPECT_FALSE(IsFolder("relative"));
    char driveRelative[] = "C:mkrel\\dir";
    EXPECT_EQ(RegAddin_MakeDir(driveRelative), 0);
    EXPECT_FALSE(IsFolder("C:mkrel"));
    char empty[] = "";
    EXPECT_EQ(RegAddin_MakeDir(empty), 0);
    EXPECT_EQ(RegAddin_MakeDir(nullptr), 0);
}

TEST_F(MakeDirTest, FileInTheWayFails) {
    ASSERT_TRUE(WriteFileText(root_ + "\\A", "not a folder"));
    std::string target = root_ + "\\A\\B";
    EXPECT_EQ(RegAddin_MakeDir(&target[0]), 0);
    EXPECT_FALSE(IsFolder(target));
}

TEST_F(MakeDirTest, PathTooLongForTheWalkIsRefused) {
    // 279 characters need a separator and a NUL more than the 280-byte walk buffer holds.
    std::string target = root_ + "\\";
    target += std::string(279 - target.size(), 'l');
    ASSERT_EQ(target.size(), 279u);
    EXPECT_EQ(RegAddin_MakeDir(&target[0]), 0);
}

TEST(Detect, FindsAnExcelMainWindow) {
    EXPECT_EQ(RegAddin_Detect(), 0);
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "XLMain";
    ASSERT_NE(RegisterClassA(&windowClass), 0);
    HWND window = CreateWindowA("XLMain", "Microsoft Excel", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                                nullptr, nullptr, windowClass.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(RegAddin_Detect(), 1);
    DestroyWindow(window);
    EXPECT_EQ(RegAddin_Detect(), 0);
}

} // namespace
