#include <gtest/gtest.h>

#include "app/command_line.h"

namespace {

TEST(CommandLine, EmptyOrMissingIsANormalRun) {
    EXPECT_EQ(ClassifyCommandLine(nullptr), CommandLineRequest::Install);
    EXPECT_EQ(ClassifyCommandLine(""), CommandLineRequest::Install);
}

TEST(CommandLine, VersionSwitchIsExactlyDashVInEitherCase) {
    EXPECT_EQ(ClassifyCommandLine("-v"), CommandLineRequest::Version);
    EXPECT_EQ(ClassifyCommandLine("-V"), CommandLineRequest::Version);
    for (const char *refused : {"/v", "-v ", " -v", "-vv", "v", "-", "--v", "-version"})
        EXPECT_EQ(ClassifyCommandLine(refused), CommandLineRequest::Invalid) << refused;
}

TEST(CommandLine, TestModeSwitchIsTheWholeCommandLine) {
    for (const char *text : {"-t", "/t", "-T", "/T"})
        EXPECT_EQ(ClassifyCommandLine(text), CommandLineRequest::TestMode) << text;
    for (const char *refused : {"-t ", "x -t", "-tt", "/t/t", "t"})
        EXPECT_EQ(ClassifyCommandLine(refused), CommandLineRequest::Invalid) << refused;
}

} // namespace
