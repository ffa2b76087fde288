// The wait for the add-in's marker file, in real one-second rounds.
#include "tests/wine/regaddin/flow_fixture.h"

#include <algorithm>

namespace {

using namespace flowtest;
using ::testing::ElementsAreArray;

using MarkerTest = FlowTest;

TEST_F(MarkerTest, MarkerRemovedAfterThreeSeconds) {
    // Removed between the third and the fourth check.
    options_.markerDelayMs = 2900;
    StartStandin();
    EXPECT_EQ(0, Install());
    EXPECT_THAT(FlowLines(),
                ElementsAreArray(Concat({StartLines(),
                                         {"Could not open registry key - \"" + OptionsKey() + "\"",
                                          "Entries to delete = 0"},
                                         AddinLines(3),
                                         {"--- RegAddin.lib returned 0 ---"}})));
    // Once the marker is gone, one more second for the add-in to finish opening.
    const std::vector<std::string> &lines = CapturedLines();
    const auto found =
        std::find(lines.begin(), lines.end(), "Install semaphore not found - wait = 3");
    ASSERT_NE(found, lines.end());
    const size_t at = static_cast<size_t>(found - lines.begin());
    ASSERT_LT(at + 1, lines.size());
    EXPECT_GE(CapturedTicks()[at + 1] - CapturedTicks()[at], 900u);
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
