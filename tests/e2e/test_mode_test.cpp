// A rehearsal of the full product with the test-mode switch: the whole wizard and the whole log,
// and nothing written on the machine.
#include <gtest/gtest.h>
#include <windows.h>

#include "tests/e2e/e2e_support.h"

namespace {

using namespace e2e;

TEST(TestMode, RehearsalWritesNothingAndLogsEverything) {
    ASSERT_TRUE(MakeFolder(kDefaultFolder));
    EXPECT_EQ(InstallIntoNewFolder(EnvPath("VNX_SETUP_FULL_EXE"), "/T", "C:\\Rehearsal", 180000),
              0);
    EXPECT_FALSE(PathExists("C:\\Rehearsal"));
    EXPECT_EQ(ReadRegistryText(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName"), "");
    EXPECT_EQ(ReadRegistryText(HKEY_LOCAL_MACHINE, kInfoKey, "Install"), "");
    const std::vector<std::string> log =
        SplitCrLf(ReadFileText(std::string(kDefaultFolder) + "\\install.log"));
    EXPECT_EQ(MissingInOrder(
                  log, {"@ Install Dir=C:\\Rehearsal", "Test Mode: Skip closing TarveloProc.exe",
                        "Summary=cFiles=805\t cDirs=46", "@ Installing Files=Begin",
                        "@ Installing Files=End", "Test Mode: Skip registering the Add-In",
                        "* Installation Complete", "* Exit Install"}),
              "");
    bool spaceChecked = false;
    for (const std::string &line : log) {
        EXPECT_NE(line.rfind("@ Instances of TarveloProc.exe closed", 0), 0u) << "left alone";
        // The folder does not exist: the free space of the drive it would be made on counts.
        spaceChecked = spaceChecked || line.rfind("@ Bytes Available=", 0) == 0;
    }
    EXPECT_TRUE(spaceChecked);
    int records = 0;
    for (const std::string &line : log)
        records += line.find(" - C:\\Rehearsal\\") != std::string::npos;
    EXPECT_EQ(records, 851);
}

} // namespace
