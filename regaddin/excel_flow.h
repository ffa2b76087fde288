// The Excel half of registration: what RunRegistration hands over once the folder checks (and,
// when asked, the PATH step) have passed. Each call makes its own run state (ExcelFlowRun):
// Excel version text, delete list, entries-deleted flag.
#pragma once

// Registers the add-in through a private Excel instance: stale "OPEN" entries naming
// `addinFileName` are removed (Excel restarted if any were), a temporary workbook is added, the
// marker file "install.sem" is written into `folder`, and `addinPath` (the folder, a backslash
// and the file name) is added through the add-in manager. `keepCom` is flag bit 0 of the
// caller. Returns 0, 1, 2, 3, 4, 5 or 12 (RegAddinResult) and logs through LogMessage.
int RegisterWithExcel(int keepCom, const char *folder, const char *addinPath,
                      const char *addinFileName);

// Removes the add-in's "OPEN" entries (those naming "QUBRIX.xla") from the options of the Excel
// that a private session reports. Returns 0, 1, 2 or 7 (RegAddinResult).
int UnregisterFromExcel(int keepCom);

// True while any Excel has its main window open (not only a session of this flow). The one test
// of a running Excel: RegAddin_Detect answers with it, and the wizard and the uninstaller ask
// RegAddin_Detect.
bool ExcelIsRunning();
