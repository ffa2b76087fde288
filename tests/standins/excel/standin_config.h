// The stand-in Excel, seen from a test: registering it as "Excel.Application" in the test's
// prefix, setting its behaviour, and reading the journal of the calls it received.
//
// The stand-in reads its settings from HKEY_CURRENT_USER "Software\VarnexTests\StandinExcel"
// each time an instance starts, so a test can change them between two Excel sessions.
//
// Journal: one line per event, fields separated by tabs, appended and flushed at once.
//   NAMES   <object> <name>   lcid=0x0400 hr=0x00000000
//   INVOKE  <object> <member> flags=<n> lcid=0x0800 named=<dispid,...> hr=0x...
//   [arg0=<VT>:<value>]... EVENT   <what>   <detail>
// INVOKE arguments are listed in the order Invoke received them (rgvarg[0] first, that is the
// member's last parameter first). A value is the decimal number for VT_I2/VT_I4/VT_BOOL, the ANSI
// text for VT_BSTR, and empty for other types. <member> is "#<dispid>" for an unknown DISPID.
// Objects: Application, Workbooks, Workbook, AddIns, AddIn.
// Events (detail in brackets): start (pid=<n> bits=<32|64>, the server's size), start-failed
// (pid=<n>), create (pid=<n> hr=..., an Application handed to a client), quit (Quit called),
// last-release (the last reference went), freed (<object> released for good), window-gone, exit,
// addin-installed (<value name>=<text>), marker-deleted (<path> ok=<0|1>), marker-kept (<path>).
//
// Behaviour: every creation starts an instance of its own (REGCLS_SINGLEUSE) that shows a hidden
// top-level "XLMain" window and registers its Application in the running object table. "Quit",
// or the release of its last object, ends it after QuitDelayMs (never with QuitNever). Writing
// AddIn "Installed" true records the add-in as the next free "OPEN"/"OPEN%d" value, text
// /R "<path>", under HKCU "Software\Microsoft\Office\<version>\Excel\Options", and deletes
// "install.sem" beside the add-in after MarkerDelayMs (never with MarkerNever). AddIns "Add"
// fails (0x800A03EC) for a path that names no file. A property write must carry exactly one
// argument and the one named argument DISPID_PROPERTYPUT; reads and calls must carry none.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace standin {

// The class id registered for the stand-in: one of our own, not the real program's.
extern const CLSID kStandinClsid;
extern const char kStandinClsidText[];
extern const char kConfigKey[]; // under HKEY_CURRENT_USER

// Version answers of Application "Version".
enum VersionKind {
    kVersionText = 0,   // VT_BSTR with the version text
    kVersionNumber = 1, // VT_I4 with the major number: not a string
    kVersionFails = 2,  // Invoke fails
};

struct Options {
    std::string version = "12.0";
    int versionKind = kVersionText;
    bool failStart = false;       // the process ends before it registers its class object
    bool noWorkbooks = false;     // Application "Workbooks" fails
    bool failWorkbookAdd = false; // Workbooks "Add" fails
    bool failAddinAdd = false;    // AddIns "Add" fails
    DWORD markerDelayMs = 500;    // delay before "install.sem" is deleted after Installed = true
    bool markerNever = false;     // never delete "install.sem"
    DWORD quitDelayMs = 0;        // delay between Quit (or the last release) and the window going
    bool quitNever = false;       // never quit: the window and the process stay
    std::string journal;          // Windows path of the journal file; empty for none
};

struct JournalEntry {
    std::string type;   // NAMES, INVOKE or EVENT
    std::string object; // for EVENT: what happened
    std::string member; // for EVENT: the detail
    int flags = 0;
    unsigned lcid = 0;
    std::vector<long> named;
    long hr = 0;
    std::vector<std::string> args; // "<VT name>:<value>", rgvarg order
    std::string line;              // the whole line, for messages
};

// Writes the ProgID and class keys under HKCU (perUser) or HKLM "Software\Classes", with
// LocalServer32 naming exePath (a Windows path), in the registry view of exePath's size.
// Returns 1 on success.
int Register(const char *exePath, bool perUser);
// Removes what Register wrote, in both views. Returns 1 when nothing of it is left.
int Unregister(bool perUser);
// Replaces the stand-in's settings key with these options. Returns 1 on success.
int Configure(const Options &options);
// The stand-in's path from the environment variable VNX_STANDIN_EXCEL, or empty.
std::string ExePathFromEnvironment();
// Registers the stand-in found through the environment (machine-wide) and configures it.
int Install(const Options &options);

std::vector<JournalEntry> ReadJournal(const std::string &path);
// Parses one journal line; returns false for a line that is not in the journal's form.
bool ParseJournalLine(const std::string &line, JournalEntry *entry);
// The INVOKE entries for object.member, in journal order.
std::vector<JournalEntry> FindInvokes(const std::vector<JournalEntry> &journal,
                                      const std::string &object, const std::string &member);
int CountEvents(const std::vector<JournalEntry> &journal, const std::string &what);
// How often `object` (Workbooks, Workbook, AddIns, AddIn) was released for good.
int CountFreed(const std::vector<JournalEntry> &journal, const std::string &object);

// Excel's add-in list: HKCU "Software\Microsoft\Office\<version>\Excel\Options".
std::string OptionsKeyPath(const std::string &version);
// The text of one value of that key, or empty when it is missing.
std::string ReadOptionsValue(const std::string &version, const char *name);
// Sets one text value of that key (creating the key). Returns 1 on success.
int WriteOptionsValue(const std::string &version, const char *name, const std::string &text);
// Removes the whole key. Returns 1 when it is gone.
int ClearOptions(const std::string &version);

// True while a top-level window of class "XLMain" exists.
bool ExcelWindowExists();
// Waits up to timeoutMs for every "XLMain" window to go; true if none is left.
bool WaitForExcelWindowGone(DWORD timeoutMs);
// Ends every process that owns an "XLMain" window (a stand-in told never to quit). Returns 1
// when no such window is left.
int EndAllInstances();

} // namespace standin
