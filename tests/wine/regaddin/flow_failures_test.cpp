// Runs that end early: Excel missing or failing to start, members that fail, and the folder checks
// that come before Excel is touched.
#include "regaddin/excel_flow_steps.h"
#include "tests/support/text_files.h"
#include "tests/wine/regaddin/flow_fixture.h"

namespace {

using namespace flowtest;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::StartsWith;

using Lines = std::vector<::testing::Matcher<std::string>>;

class FailureTest : public FlowTest {
protected:
    // The start of an install run up to the add-in list search, which finds no key.
    Lines RunStart() const {
        Lines lines;
        for (const std::string &line : StartLines())
            lines.push_back(line);
        lines.push_back("Could not open registry key - \"" + OptionsKey() + "\"");
        lines.push_back("Entries to delete = 0");
        return lines;
    }
    static Lines With(Lines lines, const Lines &more) {
        lines.insert(lines.end(), more.begin(), more.end());
        return lines;
    }
};

TEST_F(FailureTest, ExcelNotRegisteredGives1WithoutAnyCall) {
    ASSERT_EQ(1, standin::Unregister(false));
    ASSERT_EQ(1, standin::Configure(options_));
    EXPECT_EQ(1, Install());
    EXPECT_THAT(FlowLines(),
                ElementsAre("Invoking Excel...", "Failed to initialize Excel - error = 3",
                            "--- RegAddin.lib returned 1 ---"));
    ClearCaptured();
    EXPECT_EQ(1, Uninstall());
    EXPECT_THAT(FlowLines(), ElementsAre("Uninstalling...", "Invoking Excel...",
                                         "Failed to initialize Excel - error = 3",
                                         "--- RegAddin.lib returned 1 ---"));
    EXPECT_FALSE(PathExists(options_.journal)) << "no Excel ran";
    EXPECT_FALSE(ComInitialisedMta());
}

TEST_F(FailureTest, ServerFailingToStartGives1WithStatus2) {
    options_.failStart = true;
    StartStandin();
    EXPECT_EQ(1, Install());
    EXPECT_THAT(FlowLines(),
                ElementsAre("Invoking Excel...", "Failed to initialize Excel - error = 2",
                            "--- RegAddin.lib returned 1 ---"));
    EXPECT_EQ(0, standin::CountEvents(Journal(), "create"));
    EXPECT_FALSE(ComInitialisedMta());
}

TEST_F(FailureTest, MissingWorkbooksGives3) {
    options_.noWorkbooks = true;
    StartStandin();
    EXPECT_EQ(3, Install());
    EXPECT_THAT(
        FlowLines(),
        ElementsAreArray(With(RunStart(), {StartsWith("AutoWrap - IDispatch::Invoke(\"Workbooks\""),
                                           "Failed to find the Excel workbooks collection",
                                           "--- RegAddin.lib returned 3 ---"})));
    std::vector<JournalEntry> journal = Journal();
    EXPECT_EQ(1u, standin::FindInvokes(journal, "Application", "Quit").size());
    EXPECT_FALSE(PathExists(MarkerPath()));
}

TEST_F(FailureTest, WorkbookNotAddedGives4) {
    options_.failWorkbookAdd = true;
    StartStandin();
    EXPECT_EQ(4, Install());
    EXPECT_THAT(FlowLines(), ElementsAreArray(With(
                                 RunStart(), {"Adding a temporary workbook...",
                                              StartsWith("AutoWrap - IDispatch::Invoke(\"Add\""),
                                              "Failed to add a temporary workbook",
                                              "--- RegAddin.lib returned 4 ---"})));
    std::vector<JournalEntry> journal = Journal();
    EXPECT_EQ(1u, standin::FindInvokes(journal, "Application", "Quit").size());
    EXPECT_EQ(0u, standin::FindInvokes(journal, "Application", "Addins").size());
    EXPECT_FALSE(PathExists(MarkerPath()));
    EXPECT_FALSE(ComInitialisedMta());
}

TEST_F(FailureTest, AddinNotAddedGives5AndLeavesTheMarker) {
    options_.failAddinAdd = true;
    StartStandin();
    EXPECT_EQ(5, Install());
    EXPECT_THAT(FlowLines(), ElementsAreArray(With(
                                 RunStart(), {"Adding a temporary workbook...",
                                              "Creating semaphore = \"" + MarkerPath() + "\"",
                                              "Created semaphore", "Invoking the Add-In manager...",
                                              StartsWith("AutoWrap - IDispatch::Invoke(\"Add\""),
                                              "Failed to add the Addin via the Addin Manager.",
                                              kExcelGone, "--- RegAddin.lib returned 5 ---"})));
    const std::optional<std::string> marker = ReadFileIfAny(MarkerPath());
    ASSERT_TRUE(marker.has_value()) << "the marker stays";
    EXPECT_EQ("Varnex Sem", *marker) << "no terminator written";
    std::vector<JournalEntry> journal = Journal();
    for (const char *object : {"Workbooks", "Workbook", "AddIns"})
        EXPECT_EQ(1, standin::CountFreed(journal, object)) << object << " released once";
}

TEST_F(FailureTest, FolderChecksComeBeforeExcel) {
    StartStandin();
    std::string missing = folder_ + "\\missing";
    EXPECT_EQ(9, RegAddin_Install(0, &missing[0], nullptr, CaptureLine));
    EXPECT_THAT(FlowLines(), ElementsAre("Directory \"" + missing + "\" does not exist!",
                                         "--- RegAddin.lib returned 9 ---"));
    ClearCaptured();
    ASSERT_TRUE(DeleteFileA(AddinPath().c_str()));
    EXPECT_EQ(11, Install());
    EXPECT_EQ(11, Uninstall());
    EXPECT_THAT(FlowLines(), ElementsAre("--- RegAddin.lib returned 11 ---",
                                         "--- RegAddin.lib returned 11 ---"));
    EXPECT_FALSE(PathExists(options_.journal)) << "no Excel ran";
    EXPECT_FALSE(PathExists(MarkerPath()));
}

// The marker path is the folder, a backslash and "install.sem": a folder as long as the run
// accepts (311 characters less the add-in name) must not make it overrun a fixed buffer; the whole
// path is logged and, where it cannot be created, the wait ends at once.
TEST_F(FailureTest, MarkerPathOfALongFolderIsFormedWhole) {
    const std::string longFolder = "C:\\" + std::string(306, 'f');
    const std::string marker = longFolder + "\\install.sem";
    ClearCaptured();
    const bool created = CreateInstallSemaphore(longFolder.c_str());
    ASSERT_GE(regtest::LinesWithoutBanner().size(), 1u);
    EXPECT_EQ("Creating semaphore = \"" + marker + "\"", regtest::LinesWithoutBanner()[0]);
    EXPECT_FALSE(created) << "the folder does not exist";
    EXPECT_EQ(1u, regtest::LinesWithoutBanner().size());
    ClearCaptured();
    EXPECT_TRUE(WaitForSemaphoreRemoval(longFolder.c_str(), 15));
    EXPECT_THAT(regtest::LinesWithoutBanner(),
                ElementsAre("Install semaphore not found - wait = 0"));
}

} // namespace
