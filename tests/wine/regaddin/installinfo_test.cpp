// Install information on the prefix's real registry.
#include "regaddin/regaddin.h"
#include "tests/wine/regaddin/regaddin_test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using namespace regtest;

const char kMakerKey[] = "SOFTWARE\\Varnok\\Varnex";
const std::string kProductKey = std::string(kMakerKey) + "\\SpreadsheetAddin";
char kProduct[] = "SpreadsheetAddin";

class InstallInfoTest : public ::testing::Test {
protected:
    void SetUp() override { DeleteKeyTree(HKEY_LOCAL_MACHINE, kProductKey); }
    void TearDown() override { DeleteKeyTree(HKEY_LOCAL_MACHINE, kProductKey); }

    // A record whose fields hold leftovers, so that reading must clear them.
    static installinfo_tag Dirty() {
        installinfo_tag info;
        std::memset(&info, 'x', sizeof info);
        info.installDir[259] = info.version[29] = info.build[29] = '\0';
        return info;
    }
};

TEST_F(InstallInfoTest, NoKeyReadsNothingAndWritingCreatesTheKey) {
    installinfo_tag info = Dirty();
    EXPECT_EQ(RegAddin_GetInstallInfo(kProduct, &info), 0);
    EXPECT_STREQ(info.installDir, "");
    EXPECT_STREQ(info.version, "");
    EXPECT_STREQ(info.build, "");

    installinfo_tag stored = {};
    std::strcpy(stored.installDir, "C:\\Program Files\\Varnex");
    std::strcpy(stored.version, "2.4.1");
    std::strcpy(stored.build, "2.4.1.318");
    ASSERT_EQ(RegAddin_SetInstallInfo(kProduct, &stored), 1);
    ASSERT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kProductKey));

    // Stored as REG_SZ with the terminating NUL counted.
    std::string data;
    DWORD type = 0;
    ASSERT_TRUE(ReadValue(HKEY_LOCAL_MACHINE, kProductKey, "Install", &data, &type));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(data, std::string("C:\\Program Files\\Varnex") + '\0');
    ASSERT_TRUE(ReadValue(HKEY_LOCAL_MACHINE, kProductKey, "Build", &data));
    EXPECT_EQ(data, std::string("2.4.1.318") + '\0');

    installinfo_tag read = Dirty();
    ASSERT_EQ(RegAddin_GetInstallInfo(kProduct, &read), 1);
    EXPECT_STREQ(read.installDir, "C:\\Program Files\\Varnex");
    EXPECT_STREQ(read.version, "2.4.1");
    EXPECT_STREQ(read.build, "2.4.1.318");

    // Writing again opens the key and replaces the values.
    std::strcpy(stored.version, "2.5");
    ASSERT_EQ(RegAddin_SetInstallInfo(kProduct, &stored), 1);
    ASSERT_EQ(RegAddin_GetInstallInfo(kProduct, &read), 1);
    EXPECT_STREQ(read.version, "2.5");
}

TEST_F(InstallInfoTest, KeyWithOnlyInstallReadsEmptyVersionAndBuild) {
    ASSERT_TRUE(WriteValue(HKEY_LOCAL_MACHINE, kProductKey, "Install", "D:\\Apps\\Varnex"));
    installinfo_tag info = Dirty();
    EXPECT_EQ(RegAddin_GetInstallInfo(kProduct, &info), 1);
    EXPECT_STREQ(info.installDir, "D:\\Apps\\Varnex");
    EXPECT_STREQ(info.version, "");
    EXPECT_STREQ(info.build, "");
}

TEST_F(InstallInfoTest, ValueTooLongForItsFieldReadsEmpty) {
    ASSERT_TRUE(
        WriteValue(HKEY_LOCAL_MACHINE, kProductKey, "Install", "C:\\" + std::string(300, 'd')));
    ASSERT_TRUE(WriteValue(HKEY_LOCAL_MACHINE, kProductKey, "Version", std::string(30, '9')));
    ASSERT_TRUE(WriteValue(HKEY_LOCAL_MACHINE, kProductKey, "Build", std::string(29, '8')));
    installinfo_tag info = Dirty();
    EXPECT_EQ(RegAddin_GetInstallInfo(kProduct, &info), 1);
    EXPECT_STREQ(info.installDir, "");
    EXPECT_STREQ(info.version, "");                           // 30 characters and a NUL: too long
    EXPECT_EQ(std::string(info.build), std::string(29, '8')); // exactly fits
}

TEST_F(InstallInfoTest, ValueStoredWithoutTerminatorIsStillATerminatedText) {
    ASSERT_TRUE(WriteRawValue(HKEY_LOCAL_MACHINE, kProductKey, "Version", "1.2", 3));
    ASSERT_TRUE(
        WriteRawValue(HKEY_LOCAL_MACHINE, kProductKey, "Build", std::string(30, '7').c_str(), 30));
    installinfo_tag info = Dirty();
    EXPECT_EQ(RegAddin_GetInstallInfo(kProduct, &info), 1);
    EXPECT_STREQ(info.version, "1.2");
    EXPECT_STREQ(info.build, ""); // fills the field with no room for the NUL
}

TEST_F(InstallInfoTest, WritingAFieldWithoutTerminatorStoresOnlyTheField) {
    installinfo_tag stored;
    std::memset(&stored, 'v', sizeof stored);
    std::strcpy(stored.installDir, "C:\\V");
    ASSERT_EQ(RegAddin_SetInstallInfo(kProduct, &stored), 1);
    std::string data;
    ASSERT_TRUE(ReadValue(HKEY_LOCAL_MACHINE, kProductKey, "Version", &data));
    EXPECT_EQ(data, std::string(30, 'v') + '\0');
}

TEST_F(InstallInfoTest, RemovingDeletesTheKeyOnceOnly) {
    installinfo_tag stored = {};
    std::strcpy(stored.installDir, "C:\\V");
    ASSERT_EQ(RegAddin_SetInstallInfo(kProduct, &stored), 1);
    ASSERT_TRUE(WriteValue(HKEY_LOCAL_MACHINE, kMakerKey, "Other", "kept"));

    EXPECT_EQ(RegAddin_RemoveInstallInfo(kProduct), 1);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kProductKey));
    EXPECT_EQ(RegAddin_RemoveInstallInfo(kProduct), 0);
    // The maker's key and its other contents are untouched.
    EXPECT_TRUE(ReadValue(HKEY_LOCAL_MACHINE, kMakerKey, "Other", nullptr));
    DeleteKeyTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\Varnok");
}

TEST_F(InstallInfoTest, NullRecordAndUnusableKeyNamesTouchNothing) {
    EXPECT_EQ(RegAddin_GetInstallInfo(kProduct, nullptr), 0);
    EXPECT_EQ(RegAddin_SetInstallInfo(kProduct, nullptr), 0);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kProductKey));

    installinfo_tag stored = {};
    std::strcpy(stored.installDir, "C:\\V");
    char empty[] = "";
    EXPECT_EQ(RegAddin_SetInstallInfo(nullptr, &stored), 0);
    EXPECT_EQ(RegAddin_SetInstallInfo(empty, &stored), 0);
    EXPECT_FALSE(ReadValue(HKEY_LOCAL_MACHINE, kMakerKey, "Install", nullptr));
    std::string tooLong(600, 'k');
    EXPECT_EQ(RegAddin_SetInstallInfo(&tooLong[0], &stored), 0);

    // An empty name must not remove the maker's key itself.
    ASSERT_TRUE(WriteValue(HKEY_LOCAL_MACHINE, kMakerKey, "Install", "C:\\Kept"));
    EXPECT_EQ(RegAddin_RemoveInstallInfo(empty), 0);
    EXPECT_EQ(RegAddin_RemoveInstallInfo(nullptr), 0);
    EXPECT_TRUE(ReadValue(HKEY_LOCAL_MACHINE, kMakerKey, "Install", nullptr));
    DeleteKeyTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\Varnok");
}

TEST_F(InstallInfoTest, ReadingLogsNothing) {
    // The install information never logs, even with a callback stored by an earlier call.
    RegAddin_RegisterUninstall(nullptr, nullptr, nullptr, CaptureLine);
    ClearCaptured();
    installinfo_tag info;
    RegAddin_GetInstallInfo(kProduct, &info);
    RegAddin_SetInstallInfo(kProduct, &info);
    RegAddin_RemoveInstallInfo(kProduct);
    RegAddin_RemoveInstallInfo(kProduct);
    EXPECT_TRUE(CapturedLines().empty());
    RegAddin_RegisterUninstall(nullptr, nullptr, nullptr, nullptr);
}

} // namespace
