// A handle on a running Microsoft Excel: COM, the Application object, and the few members the
// add-in registration needs, each a late-bound call (automation/dispatch.h).
#pragma once
#include <windows.h>
#include <ole2.h>

// Launch mode that starts a new Excel instance and quits it when the session ends; any other
// value attaches to the running instance and leaves it running.
const int kExcelLaunchNew = 2;

// Status of a session after it was created.
enum ExcelSessionStatus {
    kExcelConnected = 0,
    kExcelConnecting = 1,    // only while the constructor runs
    kExcelNotAvailable = 2,  // Excel could not be started or reached
    kExcelNotRegistered = 3, // the ProgID "Excel.Application" is not registered
};

class ExcelSession {
public:
    // Connects (a new instance exactly when launchMode is kExcelLaunchNew) and, once connected,
    // sets the visibility. keepCom nonzero: the caller owns COM on this thread and the session
    // neither initialises nor uninitialises it.
    ExcelSession(int launchMode, int visible, int keepCom);
    // Runs Close.
    ~ExcelSession();
    ExcelSession(const ExcelSession &) = delete;
    ExcelSession &operator=(const ExcelSession &) = delete;

    // 0 connected, 2 Excel could not be started or reached, 3 Excel is not registered.
    int GetStatus() const { return status_; }
    // Writes Application "Visible" (VT_I4 0 or 1). 1 if the write succeeded.
    int SetVisible(int flag);
    // Writes Application "DisplayAlerts". The HRESULT.
    HRESULT SetDisplayAlerts(int flag);
    // Application "Version" into buffer (size bytes); empty when none was obtained.
    void GetVersion(char *buffer, int size);
    // Application "Workbooks", or null. The caller releases it.
    IDispatch *GetWorkbooks();
    // Workbooks "Add", then the new workbook's "Title" (a failed title write is ignored). The
    // workbook or null; the caller releases it.
    IDispatch *AddWorkbook(IDispatch *workbooks, const char *title);
    // Application "Addins", or null. The caller releases it.
    IDispatch *GetAddins();
    // AddIns "Add"(path, True), then the AddIn's "Installed" = installFlag. The AddIn or null;
    // the caller releases it.
    IDispatch *AddAddin(const char *path, int installFlag);
    // Quits Excel when the session started it, releases the Application object and leaves COM
    // unless keepCom. Safe to call more than once.
    void Close();

private:
    int Connect(int startNew);
    void EndCom();

    int status_;
    int launchMode_;
    int keepCom_;
    IDispatch *application_;
    // Set while this session holds a COM initialisation of its own: only then is it undone,
    // and only once.
    bool comInitialised_;
};
