// Closing the add-in runtime's windows and running a program to its end, with the runtime
// stand-in as the other process.
#include "regaddin/regaddin.h"
#include "tests/wine/regaddin/regaddin_test_support.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace regtest;

const char kRuntimeTitle[] = "tarveloapplywin";
const char kClosingTitle[] = "Varnex - Closing Down";

TEST(CloseTarveloProc, NoWindowGivesZero) {
    EXPECT_EQ(RegAddin_CloseTarveloProc(), 0);
}

TEST(CloseTarveloProc, TwoWindowsAreRetitledAndToldToClose) {
    ChildProcess first;
    ChildProcess second;
    ASSERT_TRUE(StartStandin(&first, "", 0));
    ASSERT_TRUE(StartStandin(&second, "", 1));
    EXPECT_EQ(RegAddin_CloseTarveloProc(), 2);
    // Each stand-in exits 0 only if its title was "Varnex - Closing Down" when the close message
    // arrived.
    EXPECT_EQ(first.WaitForExit(10000), 0);
    EXPECT_EQ(second.WaitForExit(10000), 0);
    EXPECT_EQ(CountWindows(kRuntimeTitle), 0);
    EXPECT_EQ(RegAddin_CloseTarveloProc(), 0);
}

TEST(CloseTarveloProc, WindowThatIgnoresTheMessageIsCountedOnce) {
    ChildProcess runtime;
    ASSERT_TRUE(StartStandin(&runtime, "--ignore", 0));
    EXPECT_EQ(RegAddin_CloseTarveloProc(), 1);
    EXPECT_EQ(CountWindows(kRuntimeTitle), 0);
    EXPECT_EQ(CountWindows(kClosingTitle), 1); // retitled, still open
    EXPECT_EQ(runtime.WaitForExit(0), -1);
    EXPECT_EQ(RegAddin_CloseTarveloProc(), 0); // no longer found
}

TEST(StartProcessAndWait, ReportsTheExitCode) {
    std::string commandLine = "\"" + StandinPath() + "\" --exit 7";
    int code = -1;
    EXPECT_EQ(RegAddin_StartProcessAndWait(&commandLine[0], &code), 1);
    EXPECT_EQ(code, 7);
    EXPECT_EQ(commandLine, "\"" + StandinPath() + "\" --exit 7"); // left as it was
    commandLine = "\"" + StandinPath() + "\" --exit 0";
    EXPECT_EQ(RegAddin_StartProcessAndWait(&commandLine[0], nullptr), 1);
}

TEST(StartProcessAndWait, MissingProgramGivesTheNotFoundError) {
    std::string commandLine = "C:\\no\\such\\program.exe /x";
    int code = -1;
    EXPECT_EQ(RegAddin_StartProcessAndWait(&commandLine[0], &code), 0);
    EXPECT_TRUE(code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) << code;
    EXPECT_EQ(RegAddin_StartProcessAndWait(&commandLine[0], nullptr), 0);
    code = -1;
    EXPECT_EQ(RegAddin_StartProcessAndWait(nullptr, &code), 0);
    EXPECT_EQ(code, ERROR_INVALID_PARAMETER);
}

} // namespace
