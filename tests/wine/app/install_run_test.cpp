// The installation run's first step inside the test program, on the installer's own strings and
// the sample payload: the disk-space check with free-space figures that no volume here can give.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

#include "app/install_run.h"
#include "app/installer_state.h"
#include "archive/install_log.h"
#include "archive/payload_archive.h"
#include "tests/guidriver/gui_driver.h"

namespace {

const char kFolder[] = "C:\\RunTest";

// What the fake volume answers: the archive's requirement plus `g_margin` bytes.
long long g_margin = 0;
bool g_queryFails = false;

BOOL WINAPI FakeFreeSpace(LPCSTR, PULARGE_INTEGER available, PULARGE_INTEGER total,
                          PULARGE_INTEGER free) {
    if (g_queryFails)
        return FALSE;
    const long long required = CurrentArchive()->diskSpaceRequired;
    available->QuadPart = static_cast<ULONGLONG>(required + g_margin);
    total->QuadPart = 100ull << 30;
    free->QuadPart = available->QuadPart;
    return TRUE;
}

std::string ReadLog() {
    return gui::ReadFileText(std::string(kFolder) + "\\install.log");
}

class InstallRunTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        g_state.instance = GetModuleHandleA(nullptr);
        LoadProductStrings(g_state.instance);
        lstrcpynA(g_state.installDir, kFolder, sizeof(g_state.installDir));
        CreateDirectoryA(kFolder, nullptr);
        g_state.log = new InstallLog(kFolder, "install.log", "Installation Started", "1.0");
        SetFreeSpaceQuery(FakeFreeSpace);
    }
    void TearDown() override {
        ReleasePayload();
        g_margin = 0;
        g_queryFails = false;
    }
    // Runs the first step while another thread answers any message box; returns its result.
    int FirstStep(gui::MessageBoxInfo *box) {
        std::atomic<bool> done(false);
        std::thread answerer([&] {
            while (!done) {
                gui::MessageBoxInfo seen;
                if (gui::WaitForMessageBox(GetCurrentProcessId(), &seen, 100)) {
                    *box = seen;
                    gui::AnswerMessageBox(seen.window, IDOK);
                    return;
                }
            }
        });
        const int result = InstallStep();
        done = true;
        answerer.join();
        return result;
    }
};

TEST_F(InstallRunTest, FreeSpaceEqualToTheRequirementIsEnough) {
    gui::MessageBoxInfo box;
    EXPECT_EQ(FirstStep(&box), 1);
    EXPECT_EQ(box.window, nullptr) << box.text;
    const std::string required = std::to_string(CurrentArchive()->diskSpaceRequired);
    const std::string log = ReadLog();
    EXPECT_NE(log.find("@ Disk Space Required=" + required +
                       "\r\n@ Disk Size=107374182400\r\n"
                       "@ Bytes Available=" +
                       required + "\r\n"),
              std::string::npos)
        << log;
}

TEST_F(InstallRunTest, OneByteLessFailsWithTheRequiredSize) {
    g_margin = -1;
    gui::MessageBoxInfo box;
    EXPECT_EQ(FirstStep(&box), -1);
    const std::string required = std::to_string(CurrentArchive()->diskSpaceRequired);
    EXPECT_EQ(box.text,
              "Insufficient Disk Space. Installation requires " + required + " bytes free.");
    EXPECT_EQ(box.icon, gui::BoxIcon::Warning);
    EXPECT_NE(ReadLog().find("* Insufficient Disk Space. Installation requires " + required),
              std::string::npos);
}

TEST_F(InstallRunTest, AVolumeWithMoreThanFourGigabytesAlwaysPasses) {
    g_margin = 5ll << 30;
    gui::MessageBoxInfo box;
    EXPECT_EQ(FirstStep(&box), 1);
    EXPECT_EQ(box.window, nullptr);
}

TEST_F(InstallRunTest, AFailedQuerySkipsTheCheckAndTheAnnouncement) {
    g_queryFails = true;
    const std::string before = ReadLog();
    gui::MessageBoxInfo box;
    EXPECT_EQ(FirstStep(&box), 1);
    EXPECT_EQ(box.window, nullptr);
    const std::string added = ReadLog().substr(before.size());
    EXPECT_NE(added.find("@ Total Size="), std::string::npos);
    EXPECT_EQ(added.find("@ Disk Size="), std::string::npos) << added;
}

TEST_F(InstallRunTest, TheCopyRunsToTheLastRecordWithItsPercentages) {
    gui::MessageBoxInfo box;
    ASSERT_EQ(FirstStep(&box), 1);
    const int records = CurrentArchive()->entryCount;
    int steps = 0, result = 1;
    while (result > 0 && steps < 1000) {
        result = InstallStep();
        ++steps;
    }
    EXPECT_EQ(result, 0);
    EXPECT_EQ(steps, records);
    EXPECT_EQ(CurrentArchive(), nullptr) << "released after the last record";
    const std::string log = ReadLog();
    EXPECT_NE(log.find("@ Installing Files=Begin\r\n" + std::to_string(100 / records) +
                       " - C:\\RunTest\\\r\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("100 - C:\\RunTest\\"), std::string::npos);
    EXPECT_NE(log.find("@ Installing Files=End"), std::string::npos);
    EXPECT_NE(gui::ReadFileText("C:\\RunTest\\qubrix.xla").size(), 0u);
}

} // namespace
