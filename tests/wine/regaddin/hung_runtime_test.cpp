// A runtime window that does not answer the close message must not hang the installer.
#include "regaddin/environment.h"
#include "regaddin/regaddin.h"
#include "tests/wine/regaddin/regaddin_test_support.h"

#include <gtest/gtest.h>

namespace {

using namespace regtest;

TEST(CloseTarveloProc, HungWindowIsCountedAndTheWaitIsBounded) {
    ChildProcess hung;
    ChildProcess normal;
    ASSERT_TRUE(StartStandin(&hung, "--hang", 0));
    ASSERT_TRUE(StartStandin(&normal, "", 1));
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(RegAddin_CloseTarveloProc(), 2);
    const ULONGLONG elapsed = GetTickCount64() - start;
    // Without the bound the call would wait as long as the stand-in sleeps (two minutes); the
    // margin keeps a slow machine from failing the test.
    EXPECT_LT(elapsed, 3ull * kRuntimeWindowTimeoutMs);
    EXPECT_EQ(normal.WaitForExit(10000), 0);
    EXPECT_EQ(hung.WaitForExit(0), -1); // still stuck in its handler
    EXPECT_EQ(CountWindows("Varnex - Closing Down"), 1);
}

} // namespace
