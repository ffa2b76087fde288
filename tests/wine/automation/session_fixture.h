// The fixture of the ExcelSession tests: a stand-in Excel configured per test, COM checks and
// file and registry helpers.
#pragma once
#include "automation/excel_session.h"
#include "automation/dispatch.h"
#include "tests/support/com_state.h"
#include "tests/support/win_files.h"
#include "tests/wine/automation/test_support.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

using standin::JournalEntry;

class SessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        TakeCapturedLines();
        ASSERT_FALSE(ComInitialisedMta());
    }
    void TearDown() override {
        if (!standin::WaitForExcelWindowGone(5000))
            standin::EndAllInstances();
    }
    void Configure() { ASSERT_TRUE(SetUpStandin(&options_, "session-journal.txt")); }
    std::vector<JournalEntry> Journal() const { return standin::ReadJournal(options_.journal); }
    std::string MakeAddinFile(const std::string &folder, const std::string &name) {
        std::string dir = WorkPath(folder);
        CreateDirectoryA(dir.c_str(), nullptr);
        std::string path = dir + "\\" + name;
        EXPECT_TRUE(WriteFileText(path, ""));
        return path;
    }

    standin::Options options_;
};

inline std::string OptionsValue(const std::string &version, const char *name) {
    return standin::ReadOptionsValue(version, name);
}

inline bool WaitForFileGone(const std::string &path, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    while (PathExists(path)) {
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(50);
    }
    return true;
}
