// RegAddin_Install through the stand-in Excel: the whole run with its log and the calls Excel
// receives, a second run that finds the first one's entry and restarts Excel, and the versions
// accepted. The banner goes out once per process, so the first test is the first framed call.
#include "tests/wine/regaddin/flow_fixture.h"
#include "tests/support/win_files.h"

#include <algorithm>

namespace {

using namespace flowtest;
using ::testing::ElementsAreArray;

std::vector<std::string> Args(const std::vector<JournalEntry> &journal, const char *object,
                              const char *member) {
    std::vector<JournalEntry> calls = standin::FindInvokes(journal, object, member);
    return calls.size() == 1
               ? calls[0].args
               : std::vector<std::string>{"<called " + std::to_string(calls.size()) + " times>"};
}

TEST_F(FlowTest, FirstInstallLogsTheRunAndDrivesExcelThenASecondFindsItsEntry) {
    options_.markerDelayMs = 900;
    StartStandin();
    EXPECT_EQ(0, Install());
    ASSERT_FALSE(CapturedLines().empty());
    EXPECT_EQ(regtest::kBanner, CapturedLines()[0]);
    // No add-in list yet: nothing to search. The marker goes 0.9 s after the add-in manager is
    // called: one wait of a second, two when a loaded machine is late by a tenth of a second.
    const std::vector<std::string> lines = FlowLines();
    const int waits = int(std::count_if(lines.begin(), lines.end(), [](const std::string &line) {
        return line.rfind("Wait ", 0) == 0;
    }));
    EXPECT_TRUE(waits == 1 || waits == 2) << waits;
    EXPECT_THAT(lines,
                ElementsAreArray(Concat({StartLines(),
                                         {"Could not open registry key - \"" + OptionsKey() + "\"",
                                          "Entries to delete = 0"},
                                         AddinLines(waits),
                                         {"--- RegAddin.lib returned 0 ---"}})));
    EXPECT_FALSE(PathExists(MarkerPath()));
    EXPECT_EQ("/R \"" + AddinPath() + "\"", standin::ReadOptionsValue("12.0", "OPEN"));

    std::vector<JournalEntry> journal = Journal();
    EXPECT_EQ(1, standin::CountEvents(journal, "create"));
    // The Excel of the size asked for answered, across the two sizes where they differ.
    const std::string bits =
        RegistryViewOf(standin::ExePathFromEnvironment()) == KEY_WOW64_64KEY ? "64" : "32";
    for (const JournalEntry &e : journal) {
        if (e.type == "EVENT" && e.object == "start") {
            EXPECT_NE(e.member.find(" bits=" + bits), std::string::npos) << e.line;
        }
    }
    EXPECT_EQ(1, standin::CountEvents(journal, "start"));
    EXPECT_EQ(1u, standin::FindInvokes(journal, "Application", "Version").size());
    EXPECT_EQ(std::vector<std::string>{"VT_I4:0"}, Args(journal, "Application", "Visible"));
    EXPECT_EQ(std::vector<std::string>{"VT_I4:0"}, Args(journal, "Application", "DisplayAlerts"));
    EXPECT_TRUE(Args(journal, "Workbooks", "Add").empty());
    EXPECT_EQ(std::vector<std::string>{"VT_BSTR:Varnok"}, Args(journal, "Workbook", "Title"));
    // Add(path, True): Invoke receives the last parameter first.
    EXPECT_EQ((std::vector<std::string>{"VT_BOOL:-1", "VT_BSTR:" + AddinPath()}),
              Args(journal, "AddIns", "Add"));
    EXPECT_EQ(std::vector<std::string>{"VT_I4:1"}, Args(journal, "AddIn", "Installed"));
    std::vector<JournalEntry> quit = standin::FindInvokes(journal, "Application", "Quit");
    ASSERT_EQ(1u, quit.size());
    EXPECT_EQ(DISPATCH_METHOD, quit[0].flags);
    for (const char *object : {"Workbooks", "Workbook", "AddIns", "AddIn"})
        EXPECT_EQ(1, standin::CountFreed(journal, object)) << object << " released once";
    EXPECT_FALSE(ComInitialisedMta()) << "the library left COM as it found it";

    // The second run: no banner; the first run's entry is stale, so it is deleted and Excel is
    // restarted before the add-in is added again.
    ClearCaptured();
    std::string slashed = folder_ + "\\";
    EXPECT_EQ(0, RegAddin_Install(0, &slashed[0], nullptr, CaptureLine));
    EXPECT_THAT(CapturedLines(),
                ::testing::Not(::testing::Contains(std::string(regtest::kBanner))));
    EXPECT_THAT(FlowLines(), ElementsAreArray(Concat(
                                 {StartLines(),
                                  {"Found registry entry OPEN = /R \"" + AddinPath() + "\"",
                                   "Stopped search at registry value OPEN1 - (code = 2)",
                                   "Entries to delete = 1", "Deleted registry value OPEN",
                                   "Closing Excel...", "Excel closing, waiting for completion...",
                                   kExcelGone, "Excel closed, restarting...", "Excel restarted."},
                                  AddinLines(1),
                                  {"--- RegAddin.lib returned 0 ---"}})));
    journal = Journal();
    EXPECT_EQ(3, standin::CountEvents(journal, "create"));
    EXPECT_EQ(3u, standin::FindInvokes(journal, "Application", "Quit").size());
    EXPECT_EQ(2u, standin::FindInvokes(journal, "AddIn", "Installed").size());
    EXPECT_EQ("/R \"" + AddinPath() + "\"", standin::ReadOptionsValue("12.0", "OPEN"));
    EXPECT_EQ("", standin::ReadOptionsValue("12.0", "OPEN1"));
}

TEST_F(FlowTest, VersionsOutsideNineToFifteenAreRefusedWith2) {
    for (const char *version : {"16.0", "", "8.0"}) {
        SCOPED_TRACE(version);
        ClearCaptured();
        options_.version = version;
        DeleteFileA(options_.journal.c_str()); // a journal of this run alone
        StartStandin();
        EXPECT_EQ(2, Install());
        EXPECT_THAT(FlowLines(), ElementsAreArray(Concat({StartLines(),
                                                          {"Unsupported version of Excel",
                                                           "--- RegAddin.lib returned 2 ---"}})));
        std::vector<JournalEntry> journal = Journal();
        EXPECT_EQ(1u, standin::FindInvokes(journal, "Application", "Quit").size());
        EXPECT_EQ(0u, standin::FindInvokes(journal, "Application", "Workbooks").size());
        ASSERT_TRUE(standin::WaitForExcelWindowGone(5000));
    }
    // The uninstall direction checks the version the same way.
    ClearCaptured();
    options_.version = "16.0";
    StartStandin();
    EXPECT_EQ(2, Uninstall());
    EXPECT_THAT(FlowLines(), ElementsAreArray(Concat({{"Uninstalling..."},
                                                      StartLines(),
                                                      {"Unsupported version of Excel",
                                                       "--- RegAddin.lib returned 2 ---"}})));
}

TEST_F(FlowTest, EveryVersionFromNineToFifteenIsAccepted) {
    for (const char *version : {"9.0", "10.0", "11.0", "12.0", "13.0", "14.0", "15.0"}) {
        SCOPED_TRACE(version);
        ClearCaptured();
        options_.version = version;
        options_.markerDelayMs = 0;
        StartStandin();
        standin::ClearOptions(version);
        EXPECT_EQ(0, Install());
        const std::vector<std::string> lines = FlowLines();
        ASSERT_GE(lines.size(), 3u);
        EXPECT_EQ("Excel version = " + options_.version, lines[1]);
        EXPECT_EQ("Add-In was successfully installed.", lines[lines.size() - 3]);
        // The add-in list of that version is the one searched.
        EXPECT_EQ("Could not open registry key - \"" + OptionsKey() + "\"", lines[2]);
        EXPECT_EQ("/R \"" + AddinPath() + "\"", standin::ReadOptionsValue(version, "OPEN"));
        ASSERT_TRUE(standin::WaitForExcelWindowGone(5000));
        standin::ClearOptions(version);
    }
}

} // namespace
