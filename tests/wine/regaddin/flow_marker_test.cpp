// The wait for the add-in's marker file, in real one-second rounds.
#include "tests/wine/regaddin/flow_fixture.h"

namespace {

using namespace flowtest;
using ::testing::ElementsAreArray;

using MarkerTest = FlowTest;

TEST_F(MarkerTest, MarkerRemovedAfterThreeSeconds) {
    // Removed between the third and the fourth check.
    options_.markerDelayMs = 2900;
    StartStandin();
    const DWORD start = GetTickCount();
    EXPECT_EQ(0, Install());
    const DWORD elapsed = GetTickCount() - start;
    EXPECT_THAT(FlowLines(),
                ElementsAreArray(Concat({StartLines(),
                                         {"Could not open registry key - \"" + OptionsKey() + "\"",
                                          "Entries to delete = 0"},
                                         AddinLines(3),
                                         {"--- RegAddin.lib returned 0 ---"}})));
    // Three rounds, then one more second for the add-in to finish opening.
    EXPECT_GE(elapsed, 3900u);
}

TEST_F(MarkerTest, MarkerNeverRemovedIsLoggedAndTheResultStands) {
    options_.markerNever = true;
    StartStandin();
    EXPECT_EQ(0, Install());
    EXPECT_THAT(
        FlowLines(),
        ElementsAreArray(Concat(
            {StartLines(),
             {"Could not open registry key - \"" + OptionsKey() + "\"", "Entries to delete = 0",
              "Adding a temporary workbook...", "Creating semaphore = \"" + MarkerPath() + "\"",
              "Created semaphore", "Invoking the Add-In manager..."},
             WaitLines(15),
             {"Semaphore failed to delete (timeout), or error!",
              "Add-In Manager successfully added the Add-In.", "Add-In was successfully installed.",
              kExcelGone, "--- RegAddin.lib returned 0 ---"}})));
    EXPECT_TRUE(PathExists(MarkerPath())) << "the library never deletes the marker itself";
}

} // namespace
