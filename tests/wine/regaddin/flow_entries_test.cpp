// The stale entries of Excel's add-in list: which "OPEN" values are searched and deleted, the
// restart of Excel after a deletion, values that are not plain terminated texts, the uninstall
// direction, and a caller that owns COM.
#include "tests/wine/regaddin/flow_fixture.h"

namespace {

using namespace flowtest;
using ::testing::ElementsAreArray;

const char kOther[] = "/R \"C:\\Other\\other.xla\"";

class EntriesTest : public FlowTest {
protected:
    void SetValue(const char *name, const std::string &text) {
        ASSERT_EQ(1, standin::WriteOptionsValue(options_.version, name, text));
    }
    std::string Value(const char *name) const {
        return standin::ReadOptionsValue(options_.version, name);
    }
    std::vector<std::string> ValueNames() const {
        return regtest::ValueNames(HKEY_CURRENT_USER, standin::OptionsKeyPath(options_.version));
    }
};

TEST_F(EntriesTest, NoOpenValueMeansNothingToDeleteAndNoRestart) {
    options_.markerDelayMs = 900;
    StartStandin();
    SetValue("Other", "qubrix.xla"); // the key exists, but holds no "OPEN" value
    EXPECT_EQ(0, Install());
    EXPECT_THAT(FlowLines(),
                ElementsAreArray(Concat({StartLines(),
                                         {"Stopped search at registry value OPEN - (code = 2)",
                                          "Entries to delete = 0"},
                                         AddinLines(1),
                                         {"--- RegAddin.lib returned 0 ---"}})));
    EXPECT_EQ(1, standin::CountEvents(Journal(), "create"));
    EXPECT_EQ("qubrix.xla", Value("Other"));
}

TEST_F(EntriesTest, OnlyTheValueNamingTheAddinIsDeletedAndExcelRestarts) {
    options_.markerDelayMs = 900;
    StartStandin();
    SetValue("OPEN", kOther);
    SetValue("OPEN1", "/R \"D:\\Old Place\\qubrix.XLA\"");
    EXPECT_EQ(0, Install());
    EXPECT_THAT(FlowLines(), ElementsAreArray(Concat(
                                 {StartLines(),
                                  {"Found registry entry OPEN1 = /R \"D:\\Old Place\\qubrix.XLA\"",
                                   "Stopped search at registry value OPEN2 - (code = 2)",
                                   "Entries to delete = 1", "Deleted registry value OPEN1",
                                   "Closing Excel...", "Excel closing, waiting for completion...",
                                   kExcelGone, "Excel closed, restarting...", "Excel restarted."},
                                  AddinLines(1),
                                  {"--- RegAddin.lib returned 0 ---"}})));
    std::vector<JournalEntry> journal = Journal();
    EXPECT_EQ(2, standin::CountEvents(journal, "create"));
    EXPECT_EQ(2u, standin::FindInvokes(journal, "Application", "Quit").size());
    // The add-in was added by the second instance only.
    EXPECT_EQ(1u, standin::FindInvokes(journal, "AddIns", "Add").size());
    EXPECT_EQ(kOther, Value("OPEN"));
    // The stand-in, like Excel, records the add-in in the first free place.
    EXPECT_EQ("/R \"" + AddinPath() + "\"", Value("OPEN1"));
}

TEST_F(EntriesTest, SearchStopsAtTheFirstMissingNumber) {
    StartStandin();
    SetValue("OPEN", "/R \"C:\\a\\QUBRIX.xla\"");
    SetValue("OPEN1", kOther);
    SetValue("OPEN3", "/R \"C:\\b\\QUBRIX.xla\"");
    EXPECT_EQ(0, Uninstall());
    EXPECT_THAT(FlowLines(),
                ElementsAreArray(Concat(
                    {{"Uninstalling..."},
                     StartLines(),
                     {"Found registry entry OPEN = /R \"C:\\a\\QUBRIX.xla\"",
                      "Stopped search at registry value OPEN2 - (code = 2)",
                      "Entries to delete = 1", "Deleted registry value OPEN", "Closing Excel...",
                      "Excel closed.", "--- RegAddin.lib returned 0 ---"}})));
    // Nothing is renumbered, and OPEN3 behind the gap is never looked at.
    EXPECT_THAT(ValueNames(), ::testing::UnorderedElementsAre("OPEN1", "OPEN3"));
    // Unregistering touches nothing but the version.
    std::vector<JournalEntry> journal = Journal();
    EXPECT_EQ(0u, standin::FindInvokes(journal, "Application", "Workbooks").size());
    EXPECT_EQ(0u, standin::FindInvokes(journal, "Application", "Addins").size());
    EXPECT_EQ(1u, standin::FindInvokes(journal, "Application", "Quit").size());
}

// A value read as it is stored need not end in a NUL: a text of exactly 500 bytes without one
// (or binary data) must be searched and logged as those 500 bytes, not run on into the memory
// behind them. A value that does not fit in 500 bytes ends the search.
TEST_F(EntriesTest, ValuesWithoutATerminatorAreReadAsStored) {
    StartStandin();
    const std::string key = standin::OptionsKeyPath(options_.version);
    std::string full = "/R \"C:\\" + std::string(500 - 19, 'p') + "\\qubrix.xla\"";
    ASSERT_EQ(500u, full.size());
    ASSERT_TRUE(
        regtest::WriteRawValue(HKEY_CURRENT_USER, key, "OPEN", full.data(), 500, REG_BINARY));
    std::string shortText = "QUBRIX.XLA";
    ASSERT_TRUE(regtest::WriteRawValue(HKEY_CURRENT_USER, key, "OPEN1", shortText.data(),
                                       static_cast<DWORD>(shortText.size()), REG_SZ));
    std::string tooLong(501, 'q');
    ASSERT_TRUE(
        regtest::WriteRawValue(HKEY_CURRENT_USER, key, "OPEN2", tooLong.data(), 501, REG_BINARY));
    EXPECT_EQ(0, Uninstall());
    EXPECT_THAT(
        FlowLines(),
        ElementsAreArray(Concat(
            {{"Uninstalling..."},
             StartLines(),
             {"Found registry entry OPEN = " + full, "Found registry entry OPEN1 = QUBRIX.XLA",
              "Stopped search at registry value OPEN2 - (code = 234)", "Entries to delete = 2",
              "Deleted registry value OPEN", "Deleted registry value OPEN1", "Closing Excel...",
              "Excel closed.", "--- RegAddin.lib returned 0 ---"}})));
    EXPECT_THAT(ValueNames(), ::testing::ElementsAre("OPEN2"));
}

TEST_F(EntriesTest, UninstallWithAnotherFileNameRemovesOnlyTheDefaultAddinsEntries) {
    StartStandin();
    SetValue("OPEN", "/R \"C:\\x\\Other.xla\"");
    SetValue("OPEN1", "/R \"C:\\x\\QUBRIX.xla\"");
    // The caller's file must be in the folder ...
    EXPECT_EQ(11, Uninstall(0, "Other.xla"));
    EXPECT_EQ(0, standin::CountEvents(Journal(), "start")) << "Excel was not touched";
    // ... but what is removed is the default add-in's entry.
    ASSERT_TRUE(WriteFileText(AddinPath("Other.xla"), "other"));
    ASSERT_TRUE(DeleteFileA(AddinPath().c_str()));
    ClearCaptured();
    EXPECT_EQ(0, Uninstall(0, "Other.xla"));
    EXPECT_THAT(FlowLines(),
                ElementsAreArray(Concat(
                    {{"Uninstalling..."},
                     StartLines(),
                     {"Found registry entry OPEN1 = /R \"C:\\x\\QUBRIX.xla\"",
                      "Stopped search at registry value OPEN2 - (code = 2)",
                      "Entries to delete = 1", "Deleted registry value OPEN1", "Closing Excel...",
                      "Excel closed.", "--- RegAddin.lib returned 0 ---"}})));
    EXPECT_THAT(ValueNames(), ::testing::ElementsAre("OPEN"));
}

// With flag bit 0 the caller owns COM: the library neither initialises nor uninitialises it.
TEST_F(EntriesTest, KeepComLeavesTheCallersComAlone) {
    options_.markerDelayMs = 0;
    StartStandin();
    SetValue("OPEN", "/R \"C:\\old\\qubrix.xla\""); // a restart: two sessions
    ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    EXPECT_EQ(0, Install(kRegAddinKeepCom));
    EXPECT_EQ(0, Uninstall(kRegAddinKeepCom));
    // Still initialised exactly once: one CoUninitialize ends it.
    EXPECT_TRUE(ComInitialisedMta());
    CoUninitialize();
    EXPECT_FALSE(ComInitialisedMta());
    EXPECT_EQ(3, standin::CountEvents(Journal(), "create"));

    // Without the caller's COM, a session that may not initialise it cannot reach Excel.
    ClearCaptured();
    EXPECT_EQ(1, Install(kRegAddinKeepCom));
    const std::vector<std::string> lines = FlowLines();
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ("Invoking Excel...", lines[0]);
    EXPECT_EQ("Failed to initialize Excel - error = 2", lines[1]);
    EXPECT_FALSE(ComInitialisedMta());
    EXPECT_EQ(3, standin::CountEvents(Journal(), "create"));
}

} // namespace
