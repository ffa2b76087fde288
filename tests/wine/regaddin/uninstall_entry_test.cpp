// The Control Panel uninstall entry on the prefix's real registry.
#include "regaddin/regaddin.h"
#include "tests/wine/regaddin/regaddin_test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

namespace {

using namespace regtest;
using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;

const std::string kUninstallRoot = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const std::string kEntryKey = kUninstallRoot + "\\VarnexAddin";
char kKeyName[] = "VarnexAddin";
char kDisplayName[] = "Varnex Spreadsheet Add-In";

std::string Value(const char *name) {
    std::string data;
    DWORD type = 0;
    if (!ReadValue(HKEY_LOCAL_MACHINE, kEntryKey, name, &data, &type))
        return "<missing>";
    if (type != REG_SZ)
        return "<type " + std::to_string(type) + ">";
    // REG_SZ with the terminating NUL counted in the data length.
    if (data.empty() || data.back() != '\0')
        return "<unterminated " + data + ">";
    return data.substr(0, data.size() - 1);
}

class UninstallEntryTest : public ::testing::Test {
protected:
    void SetUp() override {
        DeleteKeyTree(HKEY_LOCAL_MACHINE, kEntryKey);
        ClearCaptured();
    }
    void TearDown() override { DeleteKeyTree(HKEY_LOCAL_MACHINE, kEntryKey); }
};

TEST_F(UninstallEntryTest, WritesTheFourValuesForCTools) {
    char folder[] = "C:\\Tools";
    EXPECT_EQ(RegAddin_RegisterUninstall(kDisplayName, kKeyName, folder, CaptureLine), 0);
    EXPECT_EQ(Value("DisplayName"), "Varnex Spreadsheet Add-In");
    EXPECT_EQ(Value("UninstallString"), "\"C:\\Tools\\Uninstall.exe\" \"C:\\Tools\"");
    EXPECT_EQ(Value("InstallLocation"), "C:\\Tools");
    EXPECT_EQ(Value("DisplayIcon"), "\"C:\\Tools\\Uninstall.exe");
    EXPECT_THAT(
        ValueNames(HKEY_LOCAL_MACHINE, kEntryKey),
        UnorderedElementsAre("DisplayName", "UninstallString", "InstallLocation", "DisplayIcon"));
    EXPECT_THAT(LinesWithoutBanner(), ElementsAre("Adding Control Panel uninstall entries",
                                                  "--- RegAddin.lib returned 0 ---"));
}

TEST_F(UninstallEntryTest, WritingTwiceReplacesTheValues) {
    char first[] = "C:\\Tools";
    char second[] = "D:\\Other Place";
    ASSERT_EQ(RegAddin_RegisterUninstall(kDisplayName, kKeyName, first, CaptureLine), 0);
    ASSERT_TRUE(WriteValue(HKEY_LOCAL_MACHINE, kEntryKey, "Publisher", "Varnok"));
    char otherName[] = "Renamed";
    EXPECT_EQ(RegAddin_RegisterUninstall(otherName, kKeyName, second, CaptureLine), 0);
    EXPECT_EQ(Value("DisplayName"), "Renamed");
    EXPECT_EQ(Value("UninstallString"), "\"D:\\Other Place\\Uninstall.exe\" \"D:\\Other Place\"");
    EXPECT_EQ(Value("InstallLocation"), "D:\\Other Place");
    EXPECT_EQ(Value("DisplayIcon"), "\"D:\\Other Place\\Uninstall.exe");
    // The key was opened, not re-created: a value of its own survives.
    EXPECT_EQ(Value("Publisher"), "Varnok");
}

TEST_F(UninstallEntryTest, LongDisplayNameIsCutAndLongFolderIsKeptWhole) {
    std::string longName(150, 'n');
    std::string folder = "C:\\" + std::string(250, 'f');
    EXPECT_EQ(RegAddin_RegisterUninstall(&longName[0], kKeyName, &folder[0], CaptureLine), 0);
    EXPECT_EQ(Value("DisplayName"), std::string(99, 'n'));
    EXPECT_EQ(Value("UninstallString"),
              "\"" + folder + "\\Uninstall.exe\" \"" + folder + "\""); // 529 characters
    EXPECT_EQ(Value("DisplayIcon"), "\"" + folder + "\\Uninstall.exe");
}

TEST_F(UninstallEntryTest, RemovingDeletesTheEntry) {
    char folder[] = "C:\\Tools";
    ASSERT_EQ(RegAddin_RegisterUninstall(kDisplayName, kKeyName, folder, CaptureLine), 0);
    ClearCaptured();
    EXPECT_EQ(RegAddin_RegisterUninstall(nullptr, kKeyName, nullptr, CaptureLine), 0);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kEntryKey));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallRoot));
    EXPECT_THAT(LinesWithoutBanner(), ElementsAre("Removing Control Panel uninstall entries",
                                                  "--- RegAddin.lib returned 0 ---"));
}

TEST_F(UninstallEntryTest, RemovingAMissingEntryLogsTheFullKeyAndReturns10) {
    EXPECT_EQ(RegAddin_RegisterUninstall(kDisplayName, kKeyName, nullptr, CaptureLine), 10);
    EXPECT_THAT(
        LinesWithoutBanner(),
        ElementsAre("Removing Control Panel uninstall entries",
                    "Could not open registry key (for remove) - \"HKEY_LOCAL_MACHINE\\SOFTWARE\\"
                    "Microsoft\\Windows\\CurrentVersion\\Uninstall\\VarnexAddin\"",
                    "--- RegAddin.lib returned 10 ---"));
}

TEST_F(UninstallEntryTest, RemovingAnEntryWithoutDisplayIconStillDeletesTheKey) {
    char folder[] = "C:\\Tools";
    ASSERT_EQ(RegAddin_RegisterUninstall(kDisplayName, kKeyName, folder, CaptureLine), 0);
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kEntryKey.c_str(), 0, KEY_SET_VALUE, &key),
              ERROR_SUCCESS);
    RegDeleteValueA(key, "DisplayIcon");
    RegCloseKey(key);
    ClearCaptured();
    EXPECT_EQ(RegAddin_RegisterUninstall(kDisplayName, kKeyName, nullptr, CaptureLine), 10);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kEntryKey));
    EXPECT_THAT(LinesWithoutBanner(), ElementsAre("Removing Control Panel uninstall entries",
                                                  "Could not delete registry value DisplayIcon",
                                                  "--- RegAddin.lib returned 10 ---"));
}

TEST_F(UninstallEntryTest, KeyThatCannotBeCreatedIsLogged) {
    // A key name longer than the registry allows for one key.
    std::string longKey(300, 'k');
    char folder[] = "C:\\Tools";
    EXPECT_EQ(RegAddin_RegisterUninstall(kDisplayName, &longKey[0], folder, CaptureLine), 10);
    EXPECT_THAT(LinesWithoutBanner(),
                ElementsAre("Adding Control Panel uninstall entries",
                            "Failed to create key \"" + kUninstallRoot + "\\" + longKey + "\"",
                            "--- RegAddin.lib returned 10 ---"));
}

TEST_F(UninstallEntryTest, EmptyKeyNameNeverTouchesTheUninstallList) {
    ASSERT_TRUE(WriteValue(HKEY_LOCAL_MACHINE, kUninstallRoot, "DisplayName", "kept"));
    char empty[] = "";
    char folder[] = "C:\\Tools";
    EXPECT_EQ(RegAddin_RegisterUninstall(kDisplayName, empty, folder, CaptureLine), 10);
    EXPECT_EQ(RegAddin_RegisterUninstall(kDisplayName, empty, nullptr, CaptureLine), 10);
    EXPECT_EQ(RegAddin_RegisterUninstall(kDisplayName, nullptr, nullptr, CaptureLine), 10);
    std::string data;
    EXPECT_TRUE(ReadValue(HKEY_LOCAL_MACHINE, kUninstallRoot, "DisplayName", &data));
    EXPECT_FALSE(ReadValue(HKEY_LOCAL_MACHINE, kUninstallRoot, "UninstallString", &data));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallRoot));
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstallRoot.c_str(), 0, KEY_SET_VALUE, &key),
              ERROR_SUCCESS);
    RegDeleteValueA(key, "DisplayName");
    RegCloseKey(key);
}

} // namespace
