// The Excel half of registration: cleaning Excel's add-in list in the current user's registry,
// and adding the add-in through a private, invisible Excel instance.
#include "regaddin/excel_flow.h"
#include "regaddin/excel_flow_steps.h"

#include "automation/excel_session.h"
#include "automation/wait_timer.h"
#include "product/names.h"
#include "regaddin/regaddin.h"
#include "regaddin/registration.h"
#include "regaddin/string_rules.h"
#include "reglog/log.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// Excel's add-in list under HKEY_CURRENT_USER, formatted with the version text.
const char kOptionsKeyFormat[] = "Software\\Microsoft\\Office\\%s\\Excel\\Options";
const std::size_t kOptionsKeyCapacity = 500;
// Largest "OPEN" value text examined; a longer one ends the search like a missing value.
const DWORD kOpenValueCapacity = 500;
const char kMarkerText[] = "Varnex Sem"; // written without its terminator
const char kWorkbookTitle[] = "Varnok";
const int kWaitChecks = 15;
const std::size_t kTimerErrorCapacity = 300;
const char *const kAcceptedVersionPrefixes[] = {"15.", "14.", "13.", "12.", "11.", "10.", "9."};

using SessionPtr = std::unique_ptr<ExcelSession>;

SessionPtr StartExcel(int keepCom) {
    return SessionPtr(new ExcelSession(kExcelLaunchNew, 0, keepCom));
}

// Logs the timer's own text for its last failure.
void LogTimerError(WaitTimer *timer) {
    char text[kTimerErrorCapacity];
    timer->TakeError(text, sizeof text);
    LogMessage("%s", text);
}

// True when the timer could be created; otherwise its text is logged.
bool TimerReady(WaitTimer *timer) {
    char text[kTimerErrorCapacity];
    if (timer->TakeError(text, sizeof text) == 0)
        return true;
    LogMessage("%s", text);
    return false;
}

std::string MarkerPath(const char *folder) {
    return std::string(folder != nullptr ? folder : "") + "\\" + product::kMarkerFileName;
}

bool PathPresent(const std::string &path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

} // namespace

// Collects into the delete list the names of the values that name the add-in. The search goes
// "OPEN", "OPEN1", "OPEN2", ... and stops at the first value that cannot be read.
void ExcelFlowRun::FindOpenEntries(const char *keyPath, const char *addinFileName) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, keyPath, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        LogMessage("Could not open registry key - \"HKEY_CURRENT_USER\\%s\"", keyPath);
        return;
    }
    char name[32] = "OPEN";
    LONG status = ERROR_SUCCESS;
    for (int i = 0;; ++i) {
        if (i > 0)
            std::snprintf(name, sizeof name, "OPEN%d", i);
        // One byte more than the query may fill: the stored data need not end in a NUL (a value
        // of any type is read as it is), and the text must be terminated before it is searched
        // or logged.
        char data[kOpenValueCapacity + 1];
        DWORD size = kOpenValueCapacity;
        status =
            RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE *>(data), &size);
        if (status != ERROR_SUCCESS)
            break;
        data[size < kOpenValueCapacity ? size : kOpenValueCapacity] = '\0';
        if (FindNoCase(data, addinFileName) >= 0) {
            LogMessage("Found registry entry %s = %s", name, data);
            deleteList_.push_back(name);
        }
    }
    LogMessage("Stopped search at registry value %s - (code = %ld)", name,
               static_cast<long>(status));
    if (RegCloseKey(key) != ERROR_SUCCESS)
        LogMessage("Could not close registry key.");
}

// Deletes the values of the delete list and empties it. False if the key could not be opened
// or closed.
bool ExcelFlowRun::DeleteListedEntries(const char *keyPath) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, keyPath, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) {
        LogMessage("Could not open registry key (for delete) - \"HKEY_CURRENT_USER\\%s\"", keyPath);
        deleteList_.clear();
        return false;
    }
    for (const std::string &name : deleteList_) {
        if (RegDeleteValueA(key, name.c_str()) == ERROR_SUCCESS) {
            entriesDeleted_ = true;
            LogMessage("Deleted registry value %s", name.c_str());
        } else {
            LogMessage("Could not delete registry value %s", name.c_str());
        }
    }
    deleteList_.clear();
    if (RegCloseKey(key) != ERROR_SUCCESS) {
        LogMessage("Could not close registry key.");
        return false;
    }
    return true;
}

namespace {

// Opens a private Excel; logs and returns null when it cannot be reached.
SessionPtr OpenSession(int keepCom) {
    SessionPtr session = StartExcel(keepCom);
    if (session->GetStatus() != kExcelConnected) {
        LogMessage("Failed to initialize Excel - error = %d", session->GetStatus());
        return nullptr;
    }
    return session;
}

// Closes Excel after stale entries were deleted, so that the new instance starts from the
// cleaned list, and opens a new one. 0, kRegAddinExcelNotStarted or kRegAddinExcelDidNotClose.
int RestartExcel(int keepCom, SessionPtr *session) {
    LogMessage("Closing Excel...");
    session->reset();
    LogMessage("Excel closing, waiting for completion...");
    if (!WaitForExcelExit(kWaitChecks)) {
        LogMessage("Excel close did not complete - no restart possible");
        return kRegAddinExcelDidNotClose;
    }
    LogMessage("Excel closed, restarting...");
    *session = OpenSession(keepCom);
    if (!*session)
        return kRegAddinExcelNotStarted;
    LogMessage("Excel restarted.");
    return kRegAddinOk;
}

// Adds and installs the add-in in a connected Excel: temporary workbook, marker file, add-in
// manager, marker wait. The workbook is released here; the session stays open.
int AddAddinThroughExcel(ExcelSession *session, const char *folder, const char *addinPath) {
    IDispatch *workbooks = session->GetWorkbooks();
    if (workbooks == nullptr) {
        LogMessage("Failed to find the Excel workbooks collection");
        return kRegAddinNoWorkbooks;
    }
    LogMessage("Adding a temporary workbook...");
    session->SetDisplayAlerts(0);
    IDispatch *workbook = session->AddWorkbook(workbooks, kWorkbookTitle);
    workbooks->Release();
    if (workbook == nullptr) {
        LogMessage("Failed to add a temporary workbook");
        return kRegAddinWorkbookNotAdded;
    }
    CreateInstallSemaphore(folder);

    LogMessage("Invoking the Add-In manager...");
    int result;
    IDispatch *addin = session->AddAddin(addinPath, 1);
    if (addin != nullptr) {
        WaitForSemaphoreRemoval(folder, kWaitChecks);
        addin->Release();
        LogMessage("Add-In Manager successfully added the Add-In.");
        LogMessage("Add-In was successfully installed.");
        result = kRegAddinOk;
    } else {
        LogMessage("Failed to add the Addin via the Addin Manager.");
        result = kRegAddinAddinNotAdded;
    }
    workbook->Release();
    return result;
}

} // namespace

bool ExcelFlowRun::CheckExcelVersion(ExcelSession *session) {
    session->GetVersion(version_, sizeof version_);
    LogMessage("Excel version = %s", version_);
    if (version_[0] == '\0')
        return false;
    for (const char *prefix : kAcceptedVersionPrefixes) {
        if (StartsWith(version_, prefix))
            return true;
    }
    return false;
}

bool ExcelFlowRun::RemoveOpenEntries(const char *version, const char *addinFileName) {
    char keyPath[kOptionsKeyCapacity];
    const int length = std::snprintf(keyPath, sizeof keyPath, kOptionsKeyFormat, version);
    if (length < 0 || static_cast<std::size_t>(length) >= sizeof keyPath) {
        // Only a version text far longer than Excel's own could get here; a cut key path could
        // name some other key, so nothing is searched.
        LogMessage("Could not open registry key - \"HKEY_CURRENT_USER\\%s\"", keyPath);
        LogMessage("Entries to delete = %d", 0);
        return true;
    }
    FindOpenEntries(keyPath, addinFileName);
    LogMessage("Entries to delete = %d", static_cast<int>(deleteList_.size()));
    if (deleteList_.empty())
        return true;
    return DeleteListedEntries(keyPath);
}

bool CreateInstallSemaphore(const char *folder) {
    const std::string path = MarkerPath(folder);
    LogMessage("Creating semaphore = \"%s\"", path.c_str());
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    const DWORD length = static_cast<DWORD>(sizeof kMarkerText - 1);
    DWORD written = 0;
    const bool ok = WriteFile(file, kMarkerText, length, &written, nullptr) && written == length;
    if (ok)
        LogMessage("Created semaphore");
    else
        LogMessage("Failed to create semaphore \"%s\"", path.c_str());
    CloseHandle(file);
    return ok;
}

bool WaitForSemaphoreRemoval(const char *folder, int checks) {
    WaitTimer timer;
    if (!TimerReady(&timer))
        return false;
    const std::string path = MarkerPath(folder);
    bool removed = false;
    for (int waits = 0; waits < checks;) {
        if (!PathPresent(path)) {
            LogMessage("Install semaphore not found - wait = %d", waits);
            timer.Wait(); // lets the add-in finish opening
            removed = true;
            break;
        }
        ++waits;
        LogMessage("Wait %d", waits);
        if (!timer.Wait()) {
            LogTimerError(&timer);
            break;
        }
    }
    timer.Close();
    if (!removed)
        LogMessage("Semaphore failed to delete (timeout), or error!");
    return removed;
}

bool ExcelIsRunning() {
    return FindWindowA(product::kExcelWindowClass, nullptr) != nullptr;
}

bool WaitForExcelExit(int checks) {
    WaitTimer timer;
    if (!TimerReady(&timer))
        return false;
    for (int waits = 0; waits < checks;) {
        if (!ExcelIsRunning()) {
            LogMessage("Excel window not found - wait = %d", waits);
            timer.Close();
            return true;
        }
        ++waits;
        LogMessage("Wait %d", waits);
        if (!timer.Wait()) {
            LogTimerError(&timer);
            break;
        }
    }
    LogMessage("Excel window failed to close (timeout), or error!");
    timer.Close();
    return false;
}

namespace {

// The start of both directions: a private Excel, its version accepted. Null with the result
// code in `*result` when either fails.
SessionPtr StartCheckedSession(ExcelFlowRun *run, int keepCom, int *result) {
    LogMessage("Invoking Excel...");
    SessionPtr session = OpenSession(keepCom);
    if (!session) {
        *result = kRegAddinExcelNotStarted;
        return nullptr;
    }
    if (!run->CheckExcelVersion(session.get())) {
        LogMessage("Unsupported version of Excel");
        *result = kRegAddinUnsupportedExcel;
        return nullptr;
    }
    return session;
}

} // namespace

int RegisterWithExcel(int keepCom, const char *folder, const char *addinPath,
                      const char *addinFileName) {
    ExcelFlowRun run;
    int failure = kRegAddinOk;
    SessionPtr session = StartCheckedSession(&run, keepCom, &failure);
    if (!session)
        return failure;
    if (!run.RemoveOpenEntries(run.VersionText(), addinFileName))
        LogMessage("Failed to remove registry entries");
    if (run.EntriesDeleted()) {
        const int restart = RestartExcel(keepCom, &session);
        if (restart != kRegAddinOk)
            return restart;
    }
    const int result = AddAddinThroughExcel(session.get(), folder, addinPath);
    if (result == kRegAddinNoWorkbooks || result == kRegAddinWorkbookNotAdded)
        return result; // the session closes here, without a wait for Excel's window
    session.reset();   // quits the private Excel
    if (!WaitForExcelExit(kWaitChecks))
        LogMessage("Excel close did not complete!!!!");
    return result;
}

int UnregisterFromExcel(int keepCom) {
    ExcelFlowRun run;
    int failure = kRegAddinOk;
    SessionPtr session = StartCheckedSession(&run, keepCom, &failure);
    if (!session)
        return failure;
    int result = kRegAddinOk;
    // Only the default add-in's entries are removed, whatever file name the caller checked.
    if (!run.RemoveOpenEntries(run.VersionText(), kDefaultAddinFile)) {
        LogMessage("Failed to remove registry entries");
        result = kRegAddinEntriesNotRemoved;
    }
    LogMessage("Closing Excel...");
    session.reset();
    LogMessage("Excel closed.");
    return result;
}
