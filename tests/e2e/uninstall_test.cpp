// Uninstall.exe on installations of the sample product: every way to stop before anything is
// removed, the refusals, silent mode, and what stays: the user's own files (a folder put where a
// file was installed among them), and a file in use, which goes at the next restart. (The full
// product's uninstall, with the machine compared before and after, ends e2e_full_install_test.)
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "tests/e2e/e2e_support.h"
#include "tests/standins/excel/standin_config.h"

namespace {

using namespace e2e;

const char kUninstallCaption[] = "Varnex Spreadsheet Add-In - Uninstall";
const char kInfoKey[] = "SOFTWARE\\Varnok\\Varnex\\SpreadsheetAddin";
const char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";

// Installs the sample product into the new folder `folder` through the wizard.
void Install(const std::string &folder) {
    standin::Options excel;
    ASSERT_EQ(standin::Install(excel), 1);
    ASSERT_EQ(InstallIntoNewFolder(EnvPath("VNX_SETUP_EXE"), "", folder), 0);
    ASSERT_TRUE(PathExists(folder + "\\Uninstall.exe"));
}

struct Outcome {
    int exitCode = -1;
    std::vector<gui::MessageBoxInfo> boxes;
};

// Runs the installed uninstaller with `arguments` and answers the boxes that it, or the copy it
// starts, shows with `answers` in order. A box beyond them leaves the run hanging: it fails.
Outcome Uninstall(const std::string &folder, const std::string &arguments,
                  const std::vector<int> &answers, const std::string &exe = "") {
    Outcome run;
    gui::Process process;
    EXPECT_TRUE(process.Start(exe.empty() ? folder + "\\Uninstall.exe" : exe, arguments));
    for (int answer : answers) {
        gui::MessageBoxInfo box;
        if (!gui::WaitForMessageBox(0, &box, 60000)) {
            ADD_FAILURE() << "no message box for answer " << answer;
            break;
        }
        EXPECT_EQ(box.caption, kUninstallCaption);
        run.boxes.push_back(box);
        gui::AnswerMessageBox(box.window, answer);
        gui::WaitForWindowGone(box.window, 10000);
    }
    run.exitCode = process.WaitForExit(60000);
    return run;
}

bool Installed(const std::string &folder) {
    return PathExists(folder + "\\qubrix.xla") && PathExists(folder + "\\Doc\\index.htm") &&
           ReadRegistryText(HKEY_LOCAL_MACHINE, kInfoKey, "Install") == folder;
}

// The copy removes the original's file and the folder once the original has ended.
bool WaitGone(const std::string &path) {
    for (DWORD waited = 0; PathExists(path) && waited < 20000; waited += 100)
        Sleep(100);
    return !PathExists(path);
}

TEST(Uninstaller, NothingIsRemovedUntilTheUserAgreesAndExcelIsClosed) {
    const std::string folder = "C:\\U1";
    Install(folder);
    MakeFolder("C:\\Other");
    const struct {
        const char *arguments;
        const char *start;
    } refusals[] = {
        {"", "No installation folder was given."},
        {"\"C:\\\"", "\"C:\\\" is a drive root"},
        {"C:\\windows", "\"C:\\windows\" is a system folder"},
        {"C:\\Other",
         "No installation of the Varnex Spreadsheet Add-In was found in \"C:\\Other\""},
        {"U1", "\"U1\" is not a full folder path."},
        {"C:\\U1 C:\\Other", "The command line is not understood (more than one folder)"},
    };
    for (const auto &refusal : refusals) {
        const Outcome run = Uninstall(folder, refusal.arguments, {IDOK});
        EXPECT_EQ(run.exitCode, 1) << refusal.arguments;
        ASSERT_EQ(run.boxes.size(), 1u);
        EXPECT_EQ(run.boxes[0].text.rfind(refusal.start, 0), 0u) << run.boxes[0].text;
        EXPECT_EQ(run.boxes[0].icon, gui::BoxIcon::Error);
    }
    EXPECT_EQ(Uninstall(folder, "/S C:\\Other", {}).exitCode, 1) << "silent: refused, no box";
    // An uninstaller whose list of files was damaged could remove the wrong ones: it refuses.
    std::string damaged = ReadFileText(folder + "\\Uninstall.exe");
    const size_t list = damaged.find("VNXLIST 1\n");
    ASSERT_NE(list, std::string::npos);
    damaged[list + 20] ^= 0x01;
    ASSERT_TRUE(WriteFileText("C:\\Other\\Uninstall.exe", damaged));
    const Outcome broken = Uninstall(folder, "\"C:\\U1\"", {IDOK}, "C:\\Other\\Uninstall.exe");
    EXPECT_EQ(broken.exitCode, 1);
    ASSERT_EQ(broken.boxes.size(), 1u);
    EXPECT_EQ(broken.boxes[0].text, "The uninstaller is damaged (the list of installed files does "
                                    "not match its checksum): nothing was removed.");
    EXPECT_TRUE(Installed(folder));

    // No at the question; then Cancel while Excel runs, asked and silent.
    Outcome no = Uninstall(folder, "\"C:\\U1\"", {IDNO});
    EXPECT_EQ(no.exitCode, 2);
    ASSERT_EQ(no.boxes.size(), 1u);
    EXPECT_EQ(no.boxes[0].text, "Remove Varnex Spreadsheet Add-In and all of its components?");
    EXPECT_EQ(no.boxes[0].defaultButton, IDNO);
    HWND excel = ShowExcelWindow();
    ASSERT_NE(excel, nullptr);
    Outcome cancel = Uninstall(folder, "\"C:\\U1\"", {IDYES, IDRETRY, IDCANCEL});
    EXPECT_EQ(cancel.exitCode, 2);
    ASSERT_EQ(cancel.boxes.size(), 3u);
    EXPECT_EQ(cancel.boxes[1].text.rfind("Microsoft Excel is currently running.", 0), 0u);
    EXPECT_EQ(cancel.boxes[1].buttons, (std::vector<int>{IDCANCEL, IDRETRY}));
    EXPECT_EQ(Uninstall(folder, "/S \"C:\\U1\"", {}).exitCode, 2) << "silent: Excel is not killed";
    DestroyWindow(excel);
    EXPECT_TRUE(Installed(folder));

    // Silent, with Excel closed: everything goes without a window; a second run finds nothing.
    EXPECT_EQ(Uninstall(folder, "/S \"C:\\U1\"", {}).exitCode, 0);
    EXPECT_TRUE(WaitGone(folder));
    EXPECT_EQ(ReadRegistryText(HKEY_LOCAL_MACHINE, kInfoKey, "Install"), "");
    MakeFolder(folder);
    CopyFileA(EnvPath("VNX_UNINSTALL_EXE").c_str(), (folder + "\\Uninstall.exe").c_str(), FALSE);
    EXPECT_EQ(Uninstall(folder, "/S \"C:\\U1\"", {}).exitCode, 1) << "uninstalled twice";
}

TEST(Uninstaller, WhatTheUserAddedStaysAndAFileInUseGoesAtTheRestart) {
    const std::string folder = "C:\\U2";
    Install(folder);
    ASSERT_TRUE(WriteFileText(folder + "\\Doc\\mine.txt", "the user's"));
    ASSERT_TRUE(WriteFileText(folder + "\\notes.txt", "the user's too"));
    // An installed file the user replaced by a folder of their own: it stays with its parents.
    const std::string replaced = folder + "\\Examples\\Sample Workbook.txt";
    ASSERT_TRUE(DeleteFileA(replaced.c_str()));
    ASSERT_TRUE(MakeFolder(replaced));
    ASSERT_TRUE(WriteFileText(replaced + "\\inside.txt", "the user's own"));
    HANDLE held = CreateFileA((folder + "\\Data\\VERSION.txt").c_str(), GENERIC_READ,
                              FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const Outcome run = Uninstall(folder, "\"" + folder + "\"", {IDYES, IDOK});
    CloseHandle(held);
    EXPECT_EQ(run.exitCode, 3) << "something stays";
    ASSERT_EQ(run.boxes.size(), 2u);
    const std::string &message = run.boxes[1].text;
    EXPECT_EQ(run.boxes[1].icon, gui::BoxIcon::Warning);
    for (const char *line :
         {"\n  C:\\U2\\Data\\VERSION.txt (will be removed when Windows restarts)",
          "\n  C:\\U2\\Examples\\Sample Workbook.txt (holds files that were not installed)",
          "\n  C:\\U2\\Examples (holds files that were not installed)",
          "\n  C:\\U2\\Doc (holds files that were not installed)",
          "\n  C:\\U2 (holds files that were not installed)",
          "\n\nYour own settings (tarvelo.prefs, tarvelo.con) were kept"})
        EXPECT_NE(message.find(line), std::string::npos) << line << " in\n" << message;
    EXPECT_TRUE(PathExists(folder + "\\Doc\\mine.txt"));
    EXPECT_TRUE(PathExists(folder + "\\notes.txt"));
    EXPECT_TRUE(PathExists(replaced + "\\inside.txt"));
    EXPECT_FALSE(PathExists(folder + "\\qubrix.xla"));
    EXPECT_FALSE(PathExists(folder + "\\Doc\\index.htm"));
    EXPECT_TRUE(WaitGone(folder + "\\Uninstall.exe"));
    EXPECT_EQ(ReadRegistryText(HKEY_LOCAL_MACHINE, kInfoKey, "Install"), "");
    // The file in use and its folder are handed to the next restart.
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_READ, &key), ERROR_SUCCESS);
    char pending[8192] = {};
    DWORD size = sizeof(pending) - 2;
    RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, nullptr,
                     reinterpret_cast<BYTE *>(pending), &size);
    RegCloseKey(key);
    const std::string names(pending, size);
    EXPECT_NE(names.find("C:\\U2\\Data\\VERSION.txt"), std::string::npos);
    EXPECT_NE(names.find("C:\\U2\\Data"), std::string::npos);
    // The user's folder and the folder that holds it are not.
    EXPECT_EQ(names.find("C:\\U2\\Examples"), std::string::npos) << names;
}

} // namespace
