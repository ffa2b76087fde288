// Shared steps of the end-to-end tests: the installer is started and driven from outside
// through its dialogs, as a user would, with the GUI driver.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "resources/resource_ids.h"
#include "tests/guidriver/gui_driver.h"
#include "tests/support/environment.h"
#include "tests/support/text_files.h"
#include "tests/support/win_files.h"

namespace e2e {

// Control ids that tell the wizard's dialogs apart, as the installer's resources define them.
constexpr int kWelcomeText = IDC_WELCOME_TEXT;
constexpr int kAcceptBox = IDC_ACCEPT_BOX;
constexpr int kFolderEdit = IDC_FOLDER_EDIT;
constexpr int kBrowseButton = IDC_BROWSE;
constexpr int kProgressBar = IDC_PROGRESS_BAR;
constexpr int kStatusLine = IDC_STATUS_LINE;
constexpr int kStepCaption = IDC_STEP_CAPTION;
constexpr int kStepText = IDC_STEP_TEXT;
constexpr int kFinishCheck = IDC_FINISH_CHECK;
constexpr int kFinishNote = IDC_FINISH_NOTE;

constexpr char kCaption[] = "Varnex Spreadsheet Add-In - Installer";
constexpr char kMainClass[] = "VarnexSpreadsheetAddInInstallerClass";
constexpr char kDefaultFolder[] = "C:\\Program Files\\Varnok\\VarnexAddin";

// The visible dialog of the process that holds control `id`; null when none came in time.
HWND WaitForDialog(DWORD pid, int id, DWORD timeoutMs = 30000);
// Waits until no visible dialog of the process holds control `id`.
bool WaitForDialogGone(DWORD pid, int id, DWORD timeoutMs = 30000);

// Presses Install on the welcome dialog.
void AcceptWelcome(const gui::Process &setup);
// Ticks "  I Accept" and presses Continue.
void AcceptAgreement(const gui::Process &setup);
// Types `folder` into the destination dialog and presses OK; returns the dialog.
HWND EnterFolder(const gui::Process &setup, const std::string &folder);
// Waits for a message box, checks its text when `text` is given, answers it with `answer`.
gui::MessageBoxInfo Answer(const gui::Process &setup, int answer, const char *text = nullptr);

// Checks that every line of `expected` appears in `lines`, in that order; returns the first one
// that does not (empty when all do).
std::string MissingInOrder(const std::vector<std::string> &lines,
                           const std::vector<std::string> &expected);
bool Contains(const std::vector<std::string> &lines, const std::string &line);

bool MakeFolder(const std::string &folder);
std::string ReadRegistryText(HKEY root, const char *key, const char *value);

// Saves a screenshot under VNX_SCREENSHOT_DIR (when set) as NAME.png.
void SaveShot(const char *name);

} // namespace e2e
