// The steps of the Excel half of registration, exposed for the library's own tests. Every step
// logs through LogMessage; the run state (version text, delete list, entries-deleted flag) is
// process-wide like the rest of the library.
#pragma once

class ExcelSession;

// Capacity of the Excel version text, its terminator included.
constexpr int kExcelVersionCapacity = 200;

// Empties the version text and the delete list and clears the entries-deleted flag.
void ResetExcelFlowState();

// The version text read by the last CheckExcelVersion.
const char *ExcelVersionText();

// True when the last delete pass actually removed at least one value.
bool ExcelEntriesDeleted();

// Reads Excel's version into the version text and logs it. True if it begins with one of the
// accepted prefixes "15." to "9."; an empty text is refused.
bool CheckExcelVersion(ExcelSession *session);

// Removes the values "OPEN", "OPEN1", ... (up to the first missing one) of Excel's add-in list
// for `version` whose text contains `addinFileName`, letter case ignored. False only when the
// delete pass could not open or close the key.
bool RemoveOpenEntries(const char *version, const char *addinFileName);

// Writes "install.sem" holding "Varnex Sem" into `folder`. True if the text was written.
bool CreateInstallSemaphore(const char *folder);

// Waits up to `checks` one-second rounds for `folder`\install.sem to go. True if it went.
bool WaitForSemaphoreRemoval(const char *folder, int checks);

// Waits up to `checks` one-second rounds until no "XLMain" window is left. True if none is.
bool WaitForExcelExit(int checks);
