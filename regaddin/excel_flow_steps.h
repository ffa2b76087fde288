// The steps of the Excel half of registration. Every step logs through LogMessage. What one
// registration run learns on its way (Excel's version text, the add-in list entries to delete,
// whether any was deleted) lives in an ExcelFlowRun made for that run.
#pragma once

#include <string>
#include <vector>

class ExcelSession;

// Capacity of the Excel version text, its terminator included.
constexpr int kExcelVersionCapacity = 200;

class ExcelFlowRun {
public:
    // Reads Excel's version into the version text and logs it. True if it begins with one of the
    // accepted prefixes "15." to "9."; an empty text is refused.
    bool CheckExcelVersion(ExcelSession *session);

    // Removes the values "OPEN", "OPEN1", ... (up to the first missing one) of Excel's add-in
    // list for `version` whose text contains `addinFileName`, letter case ignored. False only
    // when the delete pass could not open or close the key.
    bool RemoveOpenEntries(const char *version, const char *addinFileName);

    // The version text read by CheckExcelVersion (empty before).
    const char *VersionText() const { return version_; }
    // True when a delete pass actually removed at least one value.
    bool EntriesDeleted() const { return entriesDeleted_; }

private:
    void FindOpenEntries(const char *keyPath, const char *addinFileName);
    bool DeleteListedEntries(const char *keyPath);

    char version_[kExcelVersionCapacity] = "";
    std::vector<std::string> deleteList_;
    bool entriesDeleted_ = false;
};

// Writes "install.sem" holding "Varnex Sem" into `folder`. True if the text was written.
bool CreateInstallSemaphore(const char *folder);

// Waits up to `checks` one-second rounds for `folder`\install.sem to go. True if it went.
bool WaitForSemaphoreRemoval(const char *folder, int checks);

// Waits up to `checks` one-second rounds until no Excel is running. True if none is.
bool WaitForExcelExit(int checks);
