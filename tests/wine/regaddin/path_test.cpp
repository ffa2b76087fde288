// The machine-wide PATH on the prefix's real registry: reading, the entry test, adding a folder,
// and the settings broadcast, which must not hang on a window that stopped answering.
#include "regaddin/environment.h"
#include "regaddin/regaddin.h"
#include "regaddin/string_rules.h"
#include "tests/wine/regaddin/regaddin_test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

using namespace regtest;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

const char kEnvKey[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";

class SystemPathTest : public ::testing::Test {
protected:
    void SetUp() override {
        RegAddin_RegisterUninstall(nullptr, nullptr, nullptr, CaptureLine); // store a callback
        ClearCaptured();
    }
    static void SetPath(const std::string &value) {
        ASSERT_TRUE(WriteValue(HKEY_LOCAL_MACHINE, kEnvKey, "Path", value, REG_EXPAND_SZ));
    }
    // The stored PATH value, which must be REG_EXPAND_SZ with its NUL counted.
    static std::string StoredPath() {
        std::string data;
        DWORD type = 0;
        if (!ReadValue(HKEY_LOCAL_MACHINE, kEnvKey, "Path", &data, &type))
            return "<missing>";
        if (type != REG_EXPAND_SZ)
            return "<type " + std::to_string(type) + ">";
        if (data.empty() || data.back() != '\0')
            return "<unterminated>";
        return data.substr(0, data.size() - 1);
    }
};

TEST_F(SystemPathTest, ReadsTheValueUnexpanded) {
    SetPath("%SystemRoot%\\system32;C:\\Tools");
    std::vector<char> buffer(kSystemPathCapacity);
    ASSERT_TRUE(ReadSystemPath(buffer.data(), buffer.size()));
    EXPECT_STREQ(buffer.data(), "%SystemRoot%\\system32;C:\\Tools");
}

TEST_F(SystemPathTest, FindsListedFolders) {
    SetPath("C:\\Windows;\"C:\\Program Files\\Tool\";C:\\Bin");
    char quoted[] = "C:\\program files\\tool";
    EXPECT_EQ(RegAddin_IsDirOnPath(quoted), 1);
    SetPath("A;C:\\Dir");
    char dir[] = "C:\\Dir";
    EXPECT_EQ(RegAddin_IsDirOnPath(dir), 1);
    SetPath("A;C:\\Dir\\;B");
    EXPECT_EQ(RegAddin_IsDirOnPath(dir), 1);
    SetPath("C:\\Dirs;C:\\Dir2;C:\\Other\\C:\\Dir");
    EXPECT_EQ(RegAddin_IsDirOnPath(dir), 0);
    SetPath("");
    EXPECT_EQ(RegAddin_IsDirOnPath(dir), 0);
}

// Letter case is that of the machine's ANSI code page. ctest runs this case once more under code
// pages 1251 and 932 (VNX_EXPECT_ACP names the one the run must have).
TEST_F(SystemPathTest, FoldsLetterCaseAsTheMachinesCodePage) {
    const char *expected = std::getenv("VNX_EXPECT_ACP");
    if (expected) {
        ASSERT_EQ(GetACP(), static_cast<UINT>(std::atoi(expected)));
    }
    switch (GetACP()) {
    case 1251: { // a Cyrillic folder, listed in capitals
        SetPath("A;C:\\\xCF\xD0\xCE\xC3\xD0\xC0\xCC\xCC\xDB;B");
        char folder[] = "C:\\\xEF\xF0\xEE\xE3\xF0\xE0\xEC\xEC\xFB";
        EXPECT_EQ(RegAddin_IsDirOnPath(folder), 1);
        break;
    }
    case 932: { // two katakana whose second bytes differ as 'A' and 'a' do: not the same name
        SetPath("A;C:\\\x83\x41;B");
        char folder[] = "C:\\\x83\x61";
        EXPECT_EQ(RegAddin_IsDirOnPath(folder), 0);
        char same[] = "c:\\\x83\x41";
        EXPECT_EQ(RegAddin_IsDirOnPath(same), 1);
        break;
    }
    default: {
        SetPath("A;C:\\\xC9T\xC9;B");
        char folder[] = "c:\\\xE9t\xE9";
        EXPECT_EQ(RegAddin_IsDirOnPath(folder), 1);
        break;
    }
    }
}

TEST_F(SystemPathTest, ValueThatCannotBeReadIsNotSearchedAndNotExtended) {
    const std::string huge = "C:\\Dir;" + std::string(kSystemPathCapacity, 'p');
    SetPath(huge);
    char dir[] = "C:\\Dir";
    EXPECT_EQ(RegAddin_IsDirOnPath(dir), 0);
    EXPECT_FALSE(AddDirToPath("C:\\Tools"));
    EXPECT_EQ(StoredPath(), huge);

    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kEnvKey, 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
    RegDeleteValueA(key, "Path");
    RegCloseKey(key);
    EXPECT_EQ(RegAddin_IsDirOnPath(dir), 0);
    EXPECT_FALSE(AddDirToPath("C:\\Tools"));
}

TEST_F(SystemPathTest, AddsTheFolderWithAndWithoutBlanks) {
    SetPath("A;B");
    EXPECT_TRUE(AddDirToPath("C:\\Program Files\\Tool"));
    EXPECT_EQ(StoredPath(), "A;B;\"C:\\Program Files\\Tool\";");
    char added[] = "C:\\Program Files\\Tool";
    EXPECT_EQ(RegAddin_IsDirOnPath(added), 1);

    SetPath("A;B;");
    EXPECT_TRUE(AddDirToPath("C:\\Tools"));
    EXPECT_EQ(StoredPath(), "A;B;C:\\Tools;");

    SetPath("");
    EXPECT_TRUE(AddDirToPath("C:\\Tools"));
    EXPECT_EQ(StoredPath(), "C:\\Tools;");
    EXPECT_THAT(CapturedLines(), IsEmpty());
}

TEST_F(SystemPathTest, RefusesAValueThatWouldNotFit) {
    const std::string nearlyFull(kSystemPathCapacity - 10, 'p');
    SetPath(nearlyFull);
    EXPECT_FALSE(AddDirToPath("C:\\Some\\Tools"));
    EXPECT_EQ(StoredPath(), nearlyFull);
    EXPECT_THAT(CapturedLines(), ElementsAre("The new PATH value would not fit in 10000 bytes."));
}

TEST_F(SystemPathTest, InstallStopsWith6WhenThePathCannotBeUpdated) {
    std::string folder = UniqueFolder("C:\\pathstep");
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    ASSERT_TRUE(WriteFileText(folder + "\\QUBRIX.xla", "add-in"));
    const std::string nearlyFull(kSystemPathCapacity - 5, 'p');
    SetPath(nearlyFull);
    EXPECT_EQ(RegAddin_Install(kRegAddinAddToPath, &folder[0], nullptr, CaptureLine), 6);
    EXPECT_THAT(LinesWithoutBanner(),
                ElementsAre("PATH needs updating",
                            "The new PATH value would not fit in 10000 bytes.",
                            "PATH could not be updated - registration of Varnok Spreadsheet "
                            "Add-In cannot continue!",
                            "RegAddin returned 6", "--- RegAddin.lib returned 6 ---"));
    EXPECT_EQ(StoredPath(), nearlyFull);
}

TEST_F(SystemPathTest, BroadcastDoesNotHangOnAWindowThatStoppedAnswering) {
    // A top-level window whose thread no longer pumps messages: a broadcast without a bound
    // would wait for it forever and the test runner would kill this program.
    ChildProcess frozen;
    ASSERT_TRUE(StartStandin(&frozen, "--freeze", CountWindows("tarveloapplywin")));
    SetPath("A");
    EXPECT_TRUE(WriteSystemPath("A;C:\\Broadcast;"));
    EXPECT_EQ(StoredPath(), "A;C:\\Broadcast;");
    EXPECT_EQ(frozen.WaitForExit(0), -1); // still there, still frozen
}

} // namespace
