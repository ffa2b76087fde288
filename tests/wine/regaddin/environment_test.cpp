// Application-data folder, folder creation and Excel detection on the prefix's real registry,
// file system and desktop.
#include "regaddin/folder_security.h"
#include "regaddin/regaddin.h"
#include "tests/wine/regaddin/regaddin_test_support.h"

#include <sddl.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

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

// The protected DACLs the programs give the folders they make, read back ACE by ACE as Windows
// would apply them. (Wine keeps no file DACLs: what it reads back from a folder is its default,
// so the folder itself cannot show them; the descriptor and the call that sets it can.)
struct Ace {
    std::string sid;
    ACCESS_MASK mask;
    BYTE flags;
    bool operator==(const Ace &o) const {
        return sid == o.sid && mask == o.mask && flags == o.flags;
    }
};

std::vector<Ace> AllowedAces(PSECURITY_DESCRIPTOR descriptor, bool *isProtected) {
    std::vector<Ace> aces;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    if (!GetSecurityDescriptorControl(descriptor, &control, &revision) ||
        !GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present || !dacl)
        return aces;
    *isProtected = (control & SE_DACL_PROTECTED) != 0;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void *raw = nullptr;
        if (!GetAce(dacl, i, &raw))
            break;
        const auto *ace = static_cast<ACCESS_ALLOWED_ACE *>(raw);
        char *text = nullptr;
        std::string sid = "?";
        if (ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE &&
            ConvertSidToStringSidA(const_cast<DWORD *>(&ace->SidStart), &text)) {
            sid = text;
            LocalFree(text);
        }
        aces.push_back({sid, ace->Mask, ace->Header.AceFlags});
    }
    return aces;
}

TEST(FolderSecurity, ProtectedDaclsOfTheInstallationAndTheWorkingFolder) {
    const BYTE inherited = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
    const Ace system{"S-1-5-18", FILE_ALL_ACCESS, inherited};
    const Ace administrators{"S-1-5-32-544", FILE_ALL_ACCESS, inherited};
    const Ace trustedInstaller{"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464",
                               FILE_ALL_ACCESS, inherited};
    const Ace users{"S-1-5-32-545", FILE_GENERIC_READ | FILE_GENERIC_EXECUTE, inherited};

    folders::FolderSecurity installation(folders::FolderAccess::Installation);
    ASSERT_TRUE(installation.Valid());
    bool isProtected = false;
    EXPECT_THAT(AllowedAces(installation.Descriptor(), &isProtected),
                ElementsAre(system, administrators, trustedInstaller, users));
    EXPECT_TRUE(isProtected) << "nothing inherited from the folder above";
    folders::FolderSecurity working(folders::FolderAccess::AdministratorsOnly);
    ASSERT_TRUE(working.Valid());
    isProtected = false;
    EXPECT_THAT(AllowedAces(working.Descriptor(), &isProtected),
                ElementsAre(system, administrators));
    EXPECT_TRUE(isProtected);
    ASSERT_NE(working.Attributes(), nullptr);
    EXPECT_EQ(working.Attributes()->lpSecurityDescriptor, working.Descriptor());

    // Made with it, and set on a folder found, through the call the installer makes: both
    // succeed (what Wine reads back afterwards is its default, not these).
    ASSERT_TRUE(CreateDirectoryA("C:\\Secured", working.Attributes()));
    unsigned long error = 1;
    EXPECT_TRUE(folders::ProtectFolder("C:\\Secured", folders::FolderAccess::Installation, &error));
    EXPECT_EQ(error, 0u);
    EXPECT_TRUE(RemoveDirectoryA("C:\\Secured"));
    EXPECT_FALSE(
        folders::ProtectFolder("C:\\Secured", folders::FolderAccess::Installation, &error));
    EXPECT_EQ(error, static_cast<unsigned long>(ERROR_FILE_NOT_FOUND));
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
