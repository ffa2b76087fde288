// The installation run's first step inside the test program, on the installer's own strings and
// the sample payload: the disk-space check with free-space figures that no volume here can give.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>

#include "app/install_run.h"
#include "app/installer_state.h"
#include "app/shared_texts.h"
#include "app/message_boxes.h"
#include "app/wizard.h"
#include "archive/install_log.h"
#include "resources/resource_ids.h"
#include "archive/payload_archive.h"
#include "tests/guidriver/gui_driver.h"
#include "tests/support/text_files.h"

namespace {

const char kFolder[] = "C:\\RunTest";

// What the fake volume answers: 100 GiB in all; free for this caller the archive's requirement
// plus `g_margin` bytes, or `g_available` bytes when that is set; free on the whole volume
// `g_volumeFree` bytes, a figure the check must not use (a quota can leave the caller less).
long long g_margin = 0;
long long g_available = -1;
const long long kVolumeFree = 50ll << 30;
long long g_volumeFree = kVolumeFree;
bool g_queryFails = false;
InstallRun *g_run = nullptr; // the run whose archive the fake volume is measured against

BOOL WINAPI FakeFreeSpace(LPCSTR, PULARGE_INTEGER available, PULARGE_INTEGER total,
                          PULARGE_INTEGER free) {
    if (g_queryFails)
        return FALSE;
    const long long required = g_run->Archive()->diskSpaceRequired;
    available->QuadPart =
        static_cast<ULONGLONG>(g_available >= 0 ? g_available : required + g_margin);
    total->QuadPart = 100ull << 30;
    free->QuadPart = static_cast<ULONGLONG>(g_volumeFree);
    return TRUE;
}

std::string ReadLog() {
    return ReadFileText(std::string(kFolder) + "\\install.log");
}

class InstallRunTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        g_state.instance = GetModuleHandleA(nullptr);
        LoadProductStrings(g_state, g_state.instance);
        lstrcpynA(g_state.installDir, kFolder, sizeof(g_state.installDir));
        CreateDirectoryA(kFolder, nullptr);
        g_state.log = new InstallLog(kFolder, "install.log", "Installation Started", "1.0");
    }
    void SetUp() override {
        g_run = &run_;
        run_.SetView(&view_);
    }
    void TearDown() override {
        g_run = nullptr;
        g_margin = 0;
        g_available = -1;
        g_volumeFree = kVolumeFree;
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
        last_ = run_.InstallStep();
        done = true;
        answerer.join();
        return last_.code;
    }
    // Warnings as the wizard shows them: a message box, logged first; nothing else is shown.
    struct WarningView : InstallRunView {
        void ShowProgress(int, const char *) override {}
        void ShowStep(const char *, const char *) override {}
        bool UserGivesUpOnExcel() override { return false; }
        void Warn(const char *text) override { ::Warn(text); }
    } view_;
    InstallRun run_{g_state, FakeFreeSpace};
    payload::StepResult last_; // of the first step
};

TEST_F(InstallRunTest, FreeSpaceEqualToTheRequirementIsEnough) {
    gui::MessageBoxInfo box;
    EXPECT_EQ(FirstStep(&box), 1);
    EXPECT_EQ(box.window, nullptr) << box.text;
    const std::string required = std::to_string(run_.Archive()->diskSpaceRequired);
    const std::string log = ReadLog();
    EXPECT_NE(log.find("@ Disk Space Required=" + required +
                       "\r\n@ Disk Size=107374182400\r\n"
                       "@ Bytes Available=" +
                       required + "\r\n"),
              std::string::npos)
        << log;
}

// The figures logged are the volume's own, not the requirement: here they differ from it, and
// the whole volume has less free than the caller may use, which must not count.
TEST_F(InstallRunTest, TheVolumesFiguresAreLoggedAndTheCallersFreeSpaceCounts) {
    g_available = 3000000000;
    g_volumeFree = 1000;
    gui::MessageBoxInfo box;
    EXPECT_EQ(FirstStep(&box), 1);
    EXPECT_EQ(box.window, nullptr) << box.text;
    const long long required = run_.Archive()->diskSpaceRequired;
    ASSERT_LT(required, 3000000000);
    ASSERT_GT(required, 1000);
    const std::string log = ReadLog();
    EXPECT_NE(log.find("@ Disk Space Required=" + std::to_string(required) +
                       "\r\n@ Disk Size=107374182400\r\n@ Bytes Available=3000000000\r\n"),
              std::string::npos)
        << log;
}

// The volume as a whole has 50 GiB free, the caller one byte less than the requirement.
TEST_F(InstallRunTest, OneByteLessFailsWithTheRequiredSize) {
    g_margin = -1;
    gui::MessageBoxInfo box;
    EXPECT_EQ(FirstStep(&box), -1);
    const std::string required = std::to_string(run_.Archive()->diskSpaceRequired);
    EXPECT_EQ(last_.failure, payload::StepFailure::kNotEnoughSpace);
    EXPECT_EQ(last_.detail, required);
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
    const int records = run_.Archive()->entryCount;
    int steps = 0, result = 1;
    while (result > 0 && steps < 1000) {
        result = run_.InstallStep().code;
        ++steps;
    }
    EXPECT_EQ(result, 0);
    EXPECT_EQ(steps, records);
    EXPECT_EQ(run_.Archive(), nullptr) << "released after the last record";
    const std::string log = ReadLog();
    EXPECT_NE(log.find("@ Installing Files=Begin\r\n" + std::to_string(100 / records) +
                       " - C:\\RunTest\\\r\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("100 - C:\\RunTest\\"), std::string::npos);
    EXPECT_NE(log.find("@ Installing Files=End"), std::string::npos);
    EXPECT_NE(ReadFileText("C:\\RunTest\\qubrix.xla").size(), 0u);
}

// What the log records for each code of a failed registration; codes without a text of their own,
// 8 and anything above 12 among them, are named by number.
TEST(RegistrationErrors, EachCodeHasItsText) {
    const std::string start = "Excel failed to start. Excel may not be installed on this machine.";
    const std::string version = "Unsupported version of Excel.";
    const std::string comm = "Failure communicating with Excel.";
    const std::string registry = "Error updating the Windows Registry.";
    const std::string file = "Varnex Spreadsheet Add-In File Not Found.";
    const std::pair<int, std::string> cases[] = {
        {1, start},
        {2, version},
        {3, comm},
        {4, comm},
        {5, comm},
        {6, registry},
        {7, registry},
        {9, file},
        {10, file},
        {8, "Unknown Error (8)"},
        {11, "Unknown Error (11)"},
        {12, "Unknown Error (12)"},
        {13, "Unknown Error (13)"},
    };
    for (const auto &c : cases) {
        char text[kStringCapacity];
        RegistrationErrorText(g_state.instance, c.first, text, sizeof(text));
        EXPECT_EQ(text, c.second) << c.first;
    }
}

// The wizard's dialogs from the installer's own templates, as the user's screen shows them.
// The legal notice is two lines, each on a line of its own in its 20-unit static: none wraps.
TEST(WizardDialogs, TheLegalNoticeShowsAsTwoWholeLines) {
    HWND dialog = CreateDialogParamA(g_state.instance, MAKEINTRESOURCEA(IDD_AGREEMENT), nullptr,
                                     AgreementDlgProc, reinterpret_cast<LPARAM>(&g_state));
    ASSERT_NE(dialog, nullptr);
    HWND notice = GetDlgItem(dialog, IDC_LEGAL_NOTICE);
    const std::string text = gui::WindowText(notice);
    ASSERT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
    RECT client = {};
    GetClientRect(notice, &client);
    HDC dc = GetDC(notice);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(notice, WM_GETFONT, 0, 0)));
    TEXTMETRICA metrics = {};
    GetTextMetricsA(dc, &metrics);
    RECT needed = client;
    DrawTextA(dc, text.c_str(), -1, &needed, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS);
    SelectObject(dc, old);
    ReleaseDC(notice, dc);
    EXPECT_EQ(needed.bottom - needed.top, 2 * metrics.tmHeight) << "a line wraps: " << text;
    EXPECT_LE(needed.bottom, client.bottom) << "the second line is cut";
    DestroyWindow(dialog);
}

// A step that blocks the thread (one large file, Excel) must find its file name already painted.
TEST(WizardDialogs, ProgressTextsArePaintedBeforeTheStepGoesOn) {
    InstallRun run(g_state);
    ProgressDialog progress;
    progress.state = &g_state;
    progress.run = &run;
    HWND dialog = CreateDialogParamA(g_state.instance, MAKEINTRESOURCEA(IDD_PROGRESS), nullptr,
                                     ProgressDlgProc, reinterpret_cast<LPARAM>(&progress));
    ASSERT_NE(dialog, nullptr);
    KillTimer(dialog, kProgressTimerId); // no step runs here: only what the run shows counts
    ShowWindow(dialog, SW_SHOWNORMAL);
    UpdateWindow(dialog);
    run.SetProgress(40, "C:\\RunTest\\Big\\large.bin");
    run.NextStep("Installing files...");
    for (int id : {IDC_PROGRESS_BAR, IDC_STATUS_LINE, IDC_STEP_CAPTION, IDC_STEP_TEXT})
        EXPECT_FALSE(GetUpdateRect(GetDlgItem(dialog, id), nullptr, FALSE)) << "control " << id;
    EXPECT_EQ(gui::ControlText(dialog, IDC_STATUS_LINE), "C:\\RunTest\\Big\\large.bin");
    EXPECT_EQ(gui::ControlText(dialog, IDC_STEP_CAPTION), "Step 2 of 4");
    DestroyWindow(dialog);
}

} // namespace
