#include "automation/excel_session.h"

#include "automation/dispatch.h"

ExcelSession::ExcelSession(int launchMode, int visible, int keepCom)
    : status_(kExcelConnecting), launchMode_(launchMode), keepCom_(keepCom), application_(nullptr),
      comInitialised_(false) {
    status_ = Connect(launchMode == kExcelLaunchNew);
    if (status_ == kExcelConnected)
        SetVisible(visible);
}

ExcelSession::~ExcelSession() {
    Close();
}

// COM is undone only for an initialisation this session made: a failed CoInitializeEx (another
// apartment model already chosen on this thread) leaves nothing to undo, and closing twice, or
// closing after a failed connection already released COM, must not end the caller's own COM use.
void ExcelSession::EndCom() {
    if (!comInitialised_)
        return;
    comInitialised_ = false;
    ReleaseCom(0);
}

int ExcelSession::Connect(int startNew) {
    if (!keepCom_)
        comInitialised_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    CLSID clsid;
    if (FAILED(CLSIDFromProgID(L"Excel.Application", &clsid))) {
        EndCom();
        return kExcelNotRegistered;
    }
    HRESULT hr;
    if (startNew) {
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch,
                              reinterpret_cast<void **>(&application_));
    } else {
        IUnknown *running = nullptr;
        hr = GetActiveObject(clsid, nullptr, &running);
        if (SUCCEEDED(hr)) {
            hr = running->QueryInterface(IID_IDispatch, reinterpret_cast<void **>(&application_));
            running->Release();
        }
    }
    if (FAILED(hr) || !application_) {
        application_ = nullptr;
        EndCom();
        return kExcelNotAvailable;
    }
    return kExcelConnected;
}

int ExcelSession::SetVisible(int flag) {
    VARIANT value;
    VariantInit(&value);
    V_VT(&value) = VT_I4;
    V_I4(&value) = flag ? 1 : 0;
    return SUCCEEDED(AutoWrap(kAutoPut, nullptr, application_, L"Visible", 1, value)) ? 1 : 0;
}

HRESULT ExcelSession::SetDisplayAlerts(int flag) {
    return SetBoolProperty(application_, L"DisplayAlerts", flag);
}

void ExcelSession::GetVersion(char *buffer, int size) {
    if (!buffer || size <= 0)
        return;
    buffer[0] = '\0';
    VARIANT version;
    if (GetStringProperty(application_, &version, L"Version"))
        BstrToAnsi(V_BSTR(&version), buffer, size);
    VariantClear(&version);
}

IDispatch *ExcelSession::GetWorkbooks() {
    return GetObjectProperty(application_, L"Workbooks");
}

IDispatch *ExcelSession::AddWorkbook(IDispatch *workbooks, const char *title) {
    // A property read of "Add" is what makes Excel create the workbook.
    IDispatch *workbook = GetObjectProperty(workbooks, L"Add");
    if (workbook && title) {
        VARIANT text;
        VariantInit(&text);
        V_VT(&text) = VT_BSTR;
        V_BSTR(&text) = ToBstr(title);
        SetProperty(workbook, L"Title", &text);
        SysFreeString(V_BSTR(&text));
    }
    return workbook;
}

IDispatch *ExcelSession::GetAddins() {
    return GetObjectProperty(application_, L"Addins");
}

IDispatch *ExcelSession::AddAddin(const char *path, int installFlag) {
    IDispatch *addins = GetAddins();
    if (!addins)
        return nullptr;
    VARIANT copyFlag, fileName, result;
    VariantInit(&copyFlag);
    V_VT(&copyFlag) = VT_BOOL;
    V_BOOL(&copyFlag) = VARIANT_TRUE;
    VariantInit(&fileName);
    V_VT(&fileName) = VT_BSTR;
    V_BSTR(&fileName) = ToBstr(path);
    VariantInit(&result);
    // Arguments go last parameter first: this is Add(path, True).
    HRESULT hr = AutoWrap(kAutoGet, &result, addins, L"Add", 2, copyFlag, fileName);
    IDispatch *addin = nullptr;
    if (SUCCEEDED(hr) && V_VT(&result) == VT_DISPATCH && V_DISPATCH(&result)) {
        addin = V_DISPATCH(&result); // the result's reference passes to the caller
        SetBoolProperty(addin, L"Installed", installFlag);
    } else {
        VariantClear(&result);
    }
    VariantClear(&copyFlag);
    VariantClear(&fileName);
    addins->Release();
    return addin;
}

void ExcelSession::Close() {
    if (launchMode_ == kExcelLaunchNew && application_)
        AutoWrap(kAutoMethod, nullptr, application_, L"Quit", 0);
    if (application_) {
        application_->Release();
        application_ = nullptr;
    }
    if (!keepCom_)
        EndCom();
}
