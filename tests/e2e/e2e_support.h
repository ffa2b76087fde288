// Shared steps of the end-to-end tests: the installer is started and driven from outside
// through its dialogs, as a user would, with the GUI driver.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

// What every end-to-end test uses: the installer's control ids (IDC_...), the GUI driver and the
// shared test helpers.
#include "resources/resource_ids.h"
#include "tests/guidriver/gui_driver.h"
#include "tests/support/environment.h"
#include "tests/support/make_folder.h"
#include "tests/support/registry.h"
#include "tests/support/registry_keys.h"
#include "tests/support/text_files.h"
#include "tests/support/win_files.h"

namespace e2e {

constexpr char kCaption[] = "Varnex Spreadsheet Add-In - Installer";
constexpr char kMainClass[] = "VarnexSpreadsheetAddInInstallerClass";
constexpr char kDefaultFolder[] = "C:\\Program Files\\Varnok\\VarnexAddin";

// The dialog waits of these tests allow 30 s: a whole installation runs beside them.
inline HWND WaitForDialog(DWORD pid, int id, DWORD timeoutMs = 30000) {
    return gui::WaitForDialogWith(pid, id, timeoutMs);
}
inline bool WaitForDialogGone(DWORD pid, int id, DWORD timeoutMs = 30000) {
    return gui::WaitForDialogGone(pid, id, timeoutMs);
}

// Presses Install on the welcome dialog.
void AcceptWelcome(const gui::Process &setup);
// Ticks "  I Accept" and presses Continue.
void AcceptAgreement(const gui::Process &setup);
// Types `folder` into the destination dialog and presses OK; returns the dialog.
HWND EnterFolder(const gui::Process &setup, const std::string &folder);
// Lets the run end at the finish dialog: unticks the release notes, presses Finish; returns the
// exit code (-1 when no finish dialog came).
int FinishUnticked(gui::Process &setup, DWORD finishTimeoutMs);
// Runs the installer `exe` with `arguments` through the wizard into the new folder `folder`
// (Yes to creating it), unticks the release notes and presses Finish; returns the exit code.
int InstallIntoNewFolder(const std::string &exe, const char *arguments, const std::string &folder,
                         DWORD finishTimeoutMs = 60000);
// Waits for a message box, checks its text when `text` is given, answers it with `answer`.
gui::MessageBoxInfo Answer(const gui::Process &setup, int answer, const char *text = nullptr);

// Checks that every line of `expected` appears in `lines`, in that order; returns the first one
// that does not (empty when all do).
std::string MissingInOrder(const std::vector<std::string> &lines,
                           const std::vector<std::string> &expected);
bool Contains(const std::vector<std::string> &lines, const std::string &line);

// A window of Excel's class in this process, as a running Excel shows it.
HWND ShowExcelWindow();
std::string ReadRegistryText(HKEY root, const char *key, const char *value);

// Saves a screenshot under VNX_SCREENSHOT_DIR (when set) as NAME.png.
void SaveShot(const char *name);

} // namespace e2e
