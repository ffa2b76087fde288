// The fixture of the registration-flow tests: an installation folder holding the add-in, the
// stand-in Excel configured per test with a journal, and the captured log in a form that does
// not depend on how many seconds Excel took to go away.
#pragma once
#include "regaddin/regaddin.h"
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
#include "tests/standins/excel/standin_config.h"
#include "tests/support/com_state.h"
#include "tests/wine/regaddin/regaddin_test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace flowtest {

using standin::JournalEntry;

// Stands for "Wait 1" ... "Wait n" followed by "Excel window not found - wait = n".
const char kExcelGone[] = "<Excel window gone>";

// The captured lines without the banner, each wait for Excel's window that ended with the window
// gone folded into kExcelGone. A wait whose count does not match its "Wait" lines is left as it
// is, so that the comparison shows it.
inline std::vector<std::string> FlowLines() {
    std::vector<std::string> out;
    const std::string gone = "Excel window not found - wait = ";
    for (const std::string &line : regtest::LinesWithoutBanner()) {
        if (line.compare(0, gone.size(), gone) != 0) {
            out.push_back(line);
            continue;
        }
        const int waits = std::stoi(line.substr(gone.size()));
        bool matches = static_cast<int>(out.size()) >= waits;
        for (int k = 0; matches && k < waits; ++k)
            matches = out[out.size() - waits + k] == "Wait " + std::to_string(k + 1);
        if (!matches) {
            out.push_back(line);
            continue;
        }
        out.resize(out.size() - waits);
        out.push_back(kExcelGone);
    }
    return out;
}

// "Wait 1" ... "Wait n".
inline std::vector<std::string> WaitLines(int n) {
    std::vector<std::string> lines;
    for (int k = 1; k <= n; ++k)
        lines.push_back("Wait " + std::to_string(k));
    return lines;
}

inline std::vector<std::string> Concat(std::vector<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (const auto &part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

class FlowTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = regtest::UniqueFolder("C:\\flow");
        ASSERT_TRUE(CreateDirectoryA(folder_.c_str(), nullptr));
        ASSERT_TRUE(WriteFileText(AddinPath(), "add-in"));
        static int journals = 0;
        options_.journal = WorkDir() + "\\journal" + std::to_string(++journals) + ".txt";
        ClearCaptured();
    }
    void TearDown() override {
        if (!standin::WaitForExcelWindowGone(5000))
            standin::EndAllInstances();
        standin::ClearOptions(options_.version);
    }
    // Registers the stand-in with options_ (its journal included).
    void StartStandin() { ASSERT_EQ(1, standin::Install(options_)); }
    std::vector<JournalEntry> Journal() const { return standin::ReadJournal(options_.journal); }
    int Invokes(const std::string &object, const std::string &member) const {
        return static_cast<int>(standin::FindInvokes(Journal(), object, member).size());
    }
    std::string AddinPath(const char *name = "QUBRIX.xla") const { return folder_ + "\\" + name; }
    std::string MarkerPath() const { return folder_ + "\\install.sem"; }
    std::string OptionsKey() const {
        return "HKEY_CURRENT_USER\\" + standin::OptionsKeyPath(options_.version);
    }
    int Install(int flags = 0, const char *name = nullptr) {
        std::string copy = folder_;
        std::string file = name != nullptr ? name : "";
        return RegAddin_Install(flags, &copy[0], name != nullptr ? &file[0] : nullptr, CaptureLine);
    }
    int Uninstall(int flags = 0, const char *name = nullptr) {
        std::string copy = folder_;
        std::string file = name != nullptr ? name : "";
        return RegAddin_Uninstall(flags, &copy[0], name != nullptr ? &file[0] : nullptr,
                                  CaptureLine);
    }

    // The lines of a run from "Invoking Excel..." to the end of the version check.
    std::vector<std::string> StartLines() const {
        return {"Invoking Excel...", "Excel version = " + options_.version};
    }
    // The lines of the add-in's part with the marker removed after `waits` rounds, from the
    // temporary workbook to the end of the session.
    std::vector<std::string> AddinLines(int markerWaits) const {
        return Concat(
            {{"Adding a temporary workbook...", "Creating semaphore = \"" + MarkerPath() + "\"",
              "Created semaphore", "Invoking the Add-In manager..."},
             WaitLines(markerWaits),
             {"Install semaphore not found - wait = " + std::to_string(markerWaits),
              "Add-In Manager successfully added the Add-In.", "Add-In was successfully installed.",
              kExcelGone}});
    }

    std::string folder_;
    standin::Options options_;
};

} // namespace flowtest
