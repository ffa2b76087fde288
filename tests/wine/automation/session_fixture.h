// The fixture of the ExcelSession tests: a stand-in Excel configured per test, COM checks and
// file and registry helpers.
#pragma once
#include "automation/excel_session.h"
#include "automation/dispatch.h"
#include "tests/wine/automation/test_support.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

using standin::JournalEntry;

// True while COM is initialised on this thread in the multithreaded apartment; leaves the count
// as it found it.
inline bool ComInitialisedMta() {
    HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (SUCCEEDED(hr))
        CoUninitialize();
    return hr == S_FALSE;
}

class SessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        TakeLogLines();
        ASSERT_FALSE(ComInitialisedMta());
    }
    void TearDown() override {
        if (!standin::WaitForExcelWindowGone(5000))
            standin::EndAllInstances();
    }
    void Configure() { ASSERT_TRUE(SetUpStandin(&options_, "session-journal.txt")); }
    std::vector<JournalEntry> Journal() const { return standin::ReadJournal(options_.journal); }
    std::string MakeAddinFile(const std::string &folder, const std::string &name) {
        std::string dir = ScratchPath(folder);
        CreateDirectoryA(dir.c_str(), nullptr);
        std::string path = dir + "\\" + name;
        HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_NE(INVALID_HANDLE_VALUE, f);
        CloseHandle(f);
        return path;
    }

    standin::Options options_;
};

inline std::string OptionsValue(const std::string &version, const char *name) {
    return standin::ReadOptionsValue(version, name);
}

inline int CountFreed(const std::vector<JournalEntry> &journal, const std::string &kind) {
    int n = 0;
    for (const JournalEntry &e : journal)
        n += e.type == "EVENT" && e.object == "freed" && e.member == kind;
    return n;
}

inline bool FileExists(const std::string &path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

inline bool WaitForFileGone(const std::string &path, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    while (FileExists(path)) {
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(50);
    }
    return true;
}
