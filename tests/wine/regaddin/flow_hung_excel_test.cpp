// An Excel that does not go away when it is asked to quit: before the restart (12) and at the
// end of the run (logged, result unchanged). Each wait runs its fifteen real seconds.
#include "tests/wine/regaddin/flow_fixture.h"

namespace {

using namespace flowtest;
using ::testing::ElementsAreArray;

using HungExcelTest = FlowTest;

TEST_F(HungExcelTest, ExcelStayingAfterTheRestartCloseGives12) {
    options_.quitNever = true;
    StartStandin();
    ASSERT_EQ(1, standin::WriteOptionsValue(options_.version, "OPEN", "qubrix.xla"));
    EXPECT_EQ(12, Install());
    EXPECT_THAT(FlowLines(), ElementsAreArray(Concat(
                                 {StartLines(),
                                  {"Found registry entry OPEN = qubrix.xla",
                                   "Stopped search at registry value OPEN1 - (code = 2)",
                                   "Entries to delete = 1", "Deleted registry value OPEN",
                                   "Closing Excel...", "Excel closing, waiting for completion..."},
                                  WaitLines(15),
                                  {"Excel window failed to close (timeout), or error!",
                                   "Excel close did not complete - no restart possible",
                                   "--- RegAddin.lib returned 12 ---"}})));
    EXPECT_EQ(1, standin::CountEvents(Journal(), "create")) << "no second instance";
    EXPECT_FALSE(ComInitialisedMta());
    EXPECT_EQ(1, standin::EndAllInstances());
}

TEST_F(HungExcelTest, ExcelStayingAtTheEndIsLoggedAndTheResultStands) {
    options_.quitNever = true;
    options_.markerDelayMs = 900;
    StartStandin();
    EXPECT_EQ(0, Install());
    std::vector<std::string> expected =
        Concat({StartLines(),
                {"Could not open registry key - \"" + OptionsKey() + "\"", "Entries to delete = 0"},
                AddinLines(1)});
    expected.pop_back(); // the Excel window does not go
    expected = Concat({expected,
                       WaitLines(15),
                       {"Excel window failed to close (timeout), or error!",
                        "Excel close did not complete!!!!", "--- RegAddin.lib returned 0 ---"}});
    EXPECT_THAT(FlowLines(), ElementsAreArray(expected));
    EXPECT_EQ(1u, standin::FindInvokes(Journal(), "Application", "Quit").size());
    EXPECT_EQ(1, standin::EndAllInstances());
}

} // namespace
