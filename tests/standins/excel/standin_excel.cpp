// A stand-in for Excel as an out-of-process automation server, for tests.
//
//   standin_excel /regserver [/user]     register as "Excel.Application" (HKLM, or HKCU with /user)
//   standin_excel /unregserver [/user]   remove that registration
//   standin_excel -Embedding             started by COM: serve one Application object
//
// It answers, through hand-written IDispatch implementations, only the members that the
// installer uses: Application "Version", "Visible", "DisplayAlerts", "Workbooks", "Addins",
// "Quit"; Workbooks "Add"; Workbook "Title"; AddIns "Add"; AddIn "Installed". While it runs it
// owns a top-level window of class "XLMain". Its behaviour comes from the settings key of
// standin_config.h, and every call is written to the journal named there.
#include "tests/standins/excel/standin_config.h"
#include "tests/support/registry_keys.h"

#include <ole2.h>
#include <oleauto.h>
#include <shellapi.h>

#include <cstdarg>
#include <cstdio>
#include <string>

namespace {

// Excel's own "exception occurred" code, returned for the failures we play.
const HRESULT kExcelFailure = static_cast<HRESULT>(0x800A03ECL);

const UINT_PTR kQuitTimer = 1;
const UINT_PTR kMarkerTimer = 2;

struct Settings {
    std::wstring version = L"12.0";
    DWORD versionKind = standin::kVersionText;
    DWORD failStart = 0, noWorkbooks = 0, failWorkbookAdd = 0, failAddinAdd = 0;
    DWORD markerDelayMs = 500, markerNever = 0, quitDelayMs = 0, quitNever = 0;
    std::string journal;
};

Settings g_settings;
HWND g_window = nullptr;
LONG g_liveObjects = 0;
bool g_quitting = false;
DWORD g_activeCookie = 0;
std::wstring g_pendingMarker;

// ---- settings and journal -------------------------------------------------------------------

DWORD ReadDword(HKEY key, const char *name, DWORD fallback) {
    DWORD value = 0, size = sizeof value, type = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE *>(&value), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD)
        return fallback;
    return value;
}

std::string ReadText(HKEY key, const char *name) {
    char buffer[1024] = {};
    DWORD size = sizeof buffer - 1, type = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE *>(buffer), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
        return std::string();
    return buffer;
}

std::wstring Widen(const std::string &text) {
    int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    std::wstring wide(n > 0 ? n : 1, L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], n);
    wide.resize(wide.size() - 1);
    return wide;
}

std::string Narrow(const wchar_t *text) {
    if (!text)
        return std::string();
    int n = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string narrow(n > 0 ? n : 1, '\0');
    WideCharToMultiByte(CP_ACP, 0, text, -1, &narrow[0], n, nullptr, nullptr);
    narrow.resize(narrow.size() - 1);
    return narrow;
}

void LoadSettings() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, standin::kConfigKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    HKEY k = key;
    char version[256] = {};
    DWORD size = sizeof version - 1, type = 0;
    if (RegQueryValueExA(k, "Version", nullptr, &type, reinterpret_cast<BYTE *>(version), &size) ==
            ERROR_SUCCESS &&
        type == REG_SZ)
        g_settings.version = Widen(version);
    g_settings.versionKind = ReadDword(k, "VersionKind", g_settings.versionKind);
    g_settings.failStart = ReadDword(k, "FailStart", 0);
    g_settings.noWorkbooks = ReadDword(k, "NoWorkbooks", 0);
    g_settings.failWorkbookAdd = ReadDword(k, "FailWorkbookAdd", 0);
    g_settings.failAddinAdd = ReadDword(k, "FailAddinAdd", 0);
    g_settings.markerDelayMs = ReadDword(k, "MarkerDelayMs", g_settings.markerDelayMs);
    g_settings.markerNever = ReadDword(k, "MarkerNever", 0);
    g_settings.quitDelayMs = ReadDword(k, "QuitDelayMs", 0);
    g_settings.quitNever = ReadDword(k, "QuitNever", 0);
    g_settings.journal = ReadText(k, "Journal");
    RegCloseKey(key);
}

// Appends one line; the file is opened and closed each time so that every line is on disk at
// once and several instances can share the journal.
void Journal(const char *format, ...) {
    if (g_settings.journal.empty())
        return;
    char line[2048];
    va_list args;
    va_start(args, format);
    int n = vsnprintf(line, sizeof line - 2, format, args);
    va_end(args);
    if (n < 0)
        return;
    if (n > static_cast<int>(sizeof line) - 3)
        n = sizeof line - 3;
    line[n++] = '\r';
    line[n++] = '\n';
    HANDLE f = CreateFileA(g_settings.journal.c_str(), FILE_APPEND_DATA,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(f, line, static_cast<DWORD>(n), &written, nullptr);
    CloseHandle(f);
}

const char *VarTypeName(VARTYPE vt) {
    switch (vt) {
    case VT_EMPTY:
        return "VT_EMPTY";
    case VT_NULL:
        return "VT_NULL";
    case VT_I2:
        return "VT_I2";
    case VT_I4:
        return "VT_I4";
    case VT_R8:
        return "VT_R8";
    case VT_BSTR:
        return "VT_BSTR";
    case VT_DISPATCH:
        return "VT_DISPATCH";
    case VT_ERROR:
        return "VT_ERROR";
    case VT_BOOL:
        return "VT_BOOL";
    case VT_VARIANT:
        return "VT_VARIANT";
    case VT_UNKNOWN:
        return "VT_UNKNOWN";
    default:
        return nullptr;
    }
}

std::string DescribeArg(const VARIANT &v) {
    char text[64];
    const char *name = VarTypeName(V_VT(&v));
    std::string out;
    if (name) {
        out = name;
    } else {
        snprintf(text, sizeof text, "VT_0x%04X", V_VT(&v));
        out = text;
    }
    out += ':';
    switch (V_VT(&v)) {
    case VT_I2:
        out += std::to_string(V_I2(&v));
        break;
    case VT_I4:
        out += std::to_string(V_I4(&v));
        break;
    case VT_BOOL:
        out += std::to_string(V_BOOL(&v));
        break;
    case VT_BSTR:
        out += Narrow(V_BSTR(&v));
        break;
    default:
        break;
    }
    return out;
}

// ---- the window and the end of the instance -------------------------------------------------

void BeginQuit(const char *why) {
    if (g_quitting)
        return;
    g_quitting = true;
    Journal("EVENT\t%s\tpid=%lu", why, GetCurrentProcessId());
    if (g_settings.quitNever || !g_window)
        return;
    SetTimer(g_window, kQuitTimer, g_settings.quitDelayMs ? g_settings.quitDelayMs : 1, nullptr);
}

void DeletePendingMarker() {
    if (g_pendingMarker.empty())
        return;
    BOOL ok = DeleteFileW(g_pendingMarker.c_str());
    Journal("EVENT\tmarker-deleted\t%s\tok=%d", Narrow(g_pendingMarker.c_str()).c_str(), ok);
    g_pendingMarker.clear();
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_TIMER:
        KillTimer(hwnd, wParam);
        if (wParam == kQuitTimer) {
            if (g_activeCookie)
                RevokeActiveObject(g_activeCookie, nullptr);
            g_activeCookie = 0;
            DestroyWindow(hwnd);
        } else if (wParam == kMarkerTimer)
            DeletePendingMarker();
        return 0;
    case WM_DESTROY:
        g_window = nullptr;
        Journal("EVENT\twindow-gone\tpid=%lu", GetCurrentProcessId());
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

bool CreateMainWindow(HINSTANCE instance) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.lpszClassName = L"XLMain";
    if (!RegisterClassW(&wc))
        return false;
    g_window = CreateWindowExW(0, L"XLMain", L"Microsoft Excel", WS_OVERLAPPEDWINDOW, 0, 0, 300,
                               200, nullptr, nullptr, instance, nullptr);
    return g_window != nullptr;
}

// ---- add-in side effects --------------------------------------------------------------------

std::wstring FolderOf(const std::wstring &path) {
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring(L".") : path.substr(0, slash);
}

// Records the add-in as Excel does when it is installed: the next free "OPEN"/"OPEN%d" value of
// the per-user options key of this version.
void RecordInstalledAddin(const std::wstring &path) {
    const std::string version(g_settings.version.begin(), g_settings.version.end()); // ASCII
    const std::wstring keyPath = Widen(ExcelOptionsKey(version));
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr, 0,
                        KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    for (int i = 0; i < 1000; ++i) {
        wchar_t name[16];
        if (i == 0)
            lstrcpyW(name, L"OPEN");
        else
            wsprintfW(name, L"OPEN%d", i);
        if (RegQueryValueExW(key, name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS)
            continue;
        std::wstring text = L"/R \"" + path + L"\"";
        RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(text.c_str()),
                       static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
        Journal("EVENT\taddin-installed\t%s=%s", Narrow(name).c_str(),
                Narrow(text.c_str()).c_str());
        break;
    }
    RegCloseKey(key);
}

// Plays the add-in's part once Excel has opened it: "install.sem" in its folder goes away.
void ScheduleMarkerDeletion(const std::wstring &addinPath) {
    std::wstring marker = FolderOf(addinPath) + L"\\install.sem";
    if (g_settings.markerNever || !g_window) {
        Journal("EVENT\tmarker-kept\t%s", Narrow(marker.c_str()).c_str());
        return;
    }
    g_pendingMarker = marker;
    SetTimer(g_window, kMarkerTimer, g_settings.markerDelayMs ? g_settings.markerDelayMs : 1,
             nullptr);
}

// ---- the automation objects -----------------------------------------------------------------

struct Member {
    const wchar_t *name;
    DISPID id;
    WORD flags; // the invocation kinds the member answers
};

const WORD kGet = DISPATCH_PROPERTYGET;
const WORD kPut = DISPATCH_PROPERTYPUT;
const WORD kCall = DISPATCH_METHOD;

bool ArgAsBool(const VARIANT &v, bool *out) {
    VARIANT b;
    VariantInit(&b);
    if (FAILED(VariantChangeType(&b, const_cast<VARIANT *>(&v), 0, VT_BOOL)))
        return false;
    *out = V_BOOL(&b) != VARIANT_FALSE;
    return true;
}

bool ArgAsText(const VARIANT &v, std::wstring *out) {
    if (V_VT(&v) != VT_BSTR)
        return false;
    *out = V_BSTR(&v) ? V_BSTR(&v) : L"";
    return true;
}

class DispObject : public IDispatch {
public:
    explicit DispObject(const char *kind) : kind_(kind) { InterlockedIncrement(&g_liveObjects); }
    virtual ~DispObject() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **out) override {
        if (!out)
            return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
            *out = static_cast<IDispatch *>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs_); }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG n = InterlockedDecrement(&refs_);
        if (n == 0) {
            Journal("EVENT\tfreed\t%s", kind_);
            delete this;
            if (InterlockedDecrement(&g_liveObjects) == 0)
                BeginQuit("last-release");
        }
        return n;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT *count) override {
        if (count)
            *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo **info) override {
        if (info)
            *info = nullptr;
        return DISP_E_BADINDEX;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR *names, UINT count, LCID lcid,
                                            DISPID *ids) override {
        if (!names || !ids || count == 0)
            return E_INVALIDARG;
        HRESULT hr = S_OK;
        for (UINT i = 0; i < count; ++i)
            ids[i] = DISPID_UNKNOWN;
        const Member *m = Find(names[0]);
        if (m)
            ids[0] = m->id;
        else
            hr = DISP_E_UNKNOWNNAME;
        if (count > 1)
            hr = DISP_E_UNKNOWNNAME; // named parameters are not supported
        Journal("NAMES\t%s\t%s\tlcid=0x%04lX\thr=0x%08lX", kind_, Narrow(names[0]).c_str(),
                static_cast<unsigned long>(lcid), static_cast<unsigned long>(hr));
        return hr;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID lcid, WORD flags, DISPPARAMS *params,
                                     VARIANT *result, EXCEPINFO *, UINT *) override {
        DISPPARAMS none = {nullptr, nullptr, 0, 0};
        if (!params)
            params = &none;
        const Member *m = FindId(id);
        HRESULT hr = Check(m, flags, *params);
        if (SUCCEEDED(hr)) {
            if (result)
                VariantInit(result);
            hr = Call(id, flags, *params, result);
        }
        JournalInvoke(m, id, flags, lcid, *params, hr);
        return hr;
    }

protected:
    virtual const Member *Members() const = 0;
    virtual HRESULT Call(DISPID id, WORD flags, const DISPPARAMS &params, VARIANT *result) = 0;

    static HRESULT ReturnObject(DispObject *object, VARIANT *result) {
        if (!result) {
            object->Release();
            return S_OK;
        }
        V_VT(result) = VT_DISPATCH;
        V_DISPATCH(result) = object;
        return S_OK;
    }

private:
    const Member *Find(const wchar_t *name) const {
        for (const Member *m = Members(); name && m->name; ++m)
            if (lstrcmpiW(m->name, name) == 0)
                return m;
        return nullptr;
    }
    const Member *FindId(DISPID id) const {
        for (const Member *m = Members(); m->name; ++m)
            if (m->id == id)
                return m;
        return nullptr;
    }
    // A property write carries its value as the one named argument DISPID_PROPERTYPUT, and
    // nothing else is named; reads and calls carry no named arguments.
    static HRESULT Check(const Member *m, WORD flags, const DISPPARAMS &p) {
        if (!m)
            return DISP_E_MEMBERNOTFOUND;
        if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
            if (!(m->flags & kPut))
                return DISP_E_MEMBERNOTFOUND;
            if (p.cNamedArgs != 1 || !p.rgdispidNamedArgs ||
                p.rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
                return DISP_E_PARAMNOTFOUND;
            if (p.cArgs != 1 || !p.rgvarg)
                return DISP_E_BADPARAMCOUNT;
            return S_OK;
        }
        if (!(m->flags & flags))
            return DISP_E_MEMBERNOTFOUND;
        if (p.cNamedArgs != 0)
            return DISP_E_NONAMEDARGS;
        if (p.cArgs != 0 && !p.rgvarg)
            return E_INVALIDARG;
        return S_OK;
    }
    void JournalInvoke(const Member *m, DISPID id, WORD flags, LCID lcid, const DISPPARAMS &p,
                       HRESULT hr) const {
        std::string member = m ? Narrow(m->name) : "#" + std::to_string(id);
        std::string named;
        for (UINT i = 0; i < p.cNamedArgs && p.rgdispidNamedArgs; ++i)
            named += (i ? "," : "") + std::to_string(p.rgdispidNamedArgs[i]);
        std::string args;
        for (UINT i = 0; i < p.cArgs && p.rgvarg; ++i)
            args += "\targ" + std::to_string(i) + "=" + DescribeArg(p.rgvarg[i]);
        Journal("INVOKE\t%s\t%s\tflags=%u\tlcid=0x%04lX\tnamed=%s\thr=0x%08lX%s", kind_,
                member.c_str(), flags, static_cast<unsigned long>(lcid), named.c_str(),
                static_cast<unsigned long>(hr), args.c_str());
    }

    const char *kind_;
    LONG refs_ = 1;
};

class AddIn : public DispObject {
public:
    explicit AddIn(const std::wstring &path) : DispObject("AddIn"), path_(path) {}

protected:
    const Member *Members() const override {
        static const Member members[] = {{L"Installed", 1, kPut}, {nullptr, 0, 0}};
        return members;
    }
    HRESULT Call(DISPID, WORD, const DISPPARAMS &p, VARIANT *) override {
        bool installed = false;
        if (!ArgAsBool(p.rgvarg[0], &installed))
            return DISP_E_TYPEMISMATCH;
        if (installed) {
            RecordInstalledAddin(path_);
            ScheduleMarkerDeletion(path_);
        }
        return S_OK;
    }

private:
    std::wstring path_;
};

class AddIns : public DispObject {
public:
    AddIns() : DispObject("AddIns") {}

protected:
    const Member *Members() const override {
        static const Member members[] = {{L"Add", 1, kGet | kCall}, {nullptr, 0, 0}};
        return members;
    }
    // Add(Filename, [CopyFile]): arguments arrive last parameter first.
    HRESULT Call(DISPID, WORD, const DISPPARAMS &p, VARIANT *result) override {
        if (p.cArgs < 1 || p.cArgs > 2)
            return DISP_E_BADPARAMCOUNT;
        std::wstring path;
        if (!ArgAsText(p.rgvarg[p.cArgs - 1], &path))
            return DISP_E_TYPEMISMATCH;
        bool copy = false;
        if (p.cArgs == 2 && !ArgAsBool(p.rgvarg[0], &copy))
            return DISP_E_TYPEMISMATCH;
        if (g_settings.failAddinAdd)
            return kExcelFailure;
        DWORD attributes = GetFileAttributesW(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
            return kExcelFailure;
        return ReturnObject(new AddIn(path), result);
    }
};

class Workbook : public DispObject {
public:
    Workbook() : DispObject("Workbook") {}

protected:
    const Member *Members() const override {
        static const Member members[] = {{L"Title", 1, kPut}, {nullptr, 0, 0}};
        return members;
    }
    HRESULT Call(DISPID, WORD, const DISPPARAMS &p, VARIANT *) override {
        std::wstring title;
        return ArgAsText(p.rgvarg[0], &title) ? S_OK : DISP_E_TYPEMISMATCH;
    }
};

class Workbooks : public DispObject {
public:
    Workbooks() : DispObject("Workbooks") {}

protected:
    const Member *Members() const override {
        static const Member members[] = {{L"Add", 1, kGet | kCall}, {nullptr, 0, 0}};
        return members;
    }
    HRESULT Call(DISPID, WORD, const DISPPARAMS &p, VARIANT *result) override {
        if (p.cArgs > 1)
            return DISP_E_BADPARAMCOUNT;
        if (g_settings.failWorkbookAdd)
            return kExcelFailure;
        return ReturnObject(new Workbook(), result);
    }
};

class Application : public DispObject {
public:
    Application() : DispObject("Application") {}

protected:
    enum { kVersion = 1, kVisible, kDisplayAlerts, kWorkbooks, kAddins, kQuit };
    const Member *Members() const override {
        static const Member members[] = {{L"Version", kVersion, kGet},
                                         {L"Visible", kVisible, kPut},
                                         {L"DisplayAlerts", kDisplayAlerts, kPut},
                                         {L"Workbooks", kWorkbooks, kGet},
                                         {L"Addins", kAddins, kGet},
                                         {L"Quit", kQuit, kCall},
                                         {nullptr, 0, 0}};
        return members;
    }
    HRESULT Call(DISPID id, WORD, const DISPPARAMS &p, VARIANT *result) override {
        bool flag = false;
        switch (id) {
        case kVersion:
            return Version(result);
        case kVisible:
            if (!ArgAsBool(p.rgvarg[0], &flag))
                return DISP_E_TYPEMISMATCH;
            if (g_window)
                ShowWindow(g_window, flag ? SW_SHOWNOACTIVATE : SW_HIDE);
            return S_OK;
        case kDisplayAlerts:
            return ArgAsBool(p.rgvarg[0], &flag) ? S_OK : DISP_E_TYPEMISMATCH;
        case kWorkbooks:
            if (g_settings.noWorkbooks)
                return kExcelFailure;
            return ReturnObject(new Workbooks(), result);
        case kAddins:
            return ReturnObject(new AddIns(), result);
        case kQuit:
            BeginQuit("quit");
            return S_OK;
        default:
            return DISP_E_MEMBERNOTFOUND;
        }
    }

private:
    HRESULT Version(VARIANT *result) {
        if (g_settings.versionKind == standin::kVersionFails)
            return kExcelFailure;
        if (!result)
            return S_OK;
        if (g_settings.versionKind == standin::kVersionNumber) {
            V_VT(result) = VT_I4;
            V_I4(result) = _wtoi(g_settings.version.c_str());
            return S_OK;
        }
        V_VT(result) = VT_BSTR;
        V_BSTR(result) = SysAllocString(g_settings.version.c_str());
        return V_BSTR(result) ? S_OK : E_OUTOFMEMORY;
    }
};

class ClassFactory : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **out) override {
        if (!out)
            return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
            *out = static_cast<IClassFactory *>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    // The factory lives as long as the process.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown *outer, REFIID riid, void **out) override {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        Application *app = new Application();
        // Like the real program, the running instance can be found through GetActiveObject.
        if (!g_activeCookie)
            RegisterActiveObject(app, standin::kStandinClsid, ACTIVEOBJECT_WEAK, &g_activeCookie);
        HRESULT hr = app->QueryInterface(riid, out);
        app->Release();
        Journal("EVENT\tcreate\tpid=%lu hr=0x%08lX", GetCurrentProcessId(),
                static_cast<unsigned long>(hr));
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

bool HasSwitch(int argc, wchar_t **argv, const wchar_t *name) {
    for (int i = 1; i < argc; ++i) {
        const wchar_t *a = argv[i];
        if ((a[0] == L'-' || a[0] == L'/') && lstrcmpiW(a + 1, name) == 0)
            return true;
    }
    return false;
}

int Serve(HINSTANCE instance) {
    LoadSettings();
    Journal("EVENT\tstart\tpid=%lu bits=%d", GetCurrentProcessId(),
            static_cast<int>(sizeof(void *) * 8));
    if (g_settings.failStart) {
        Journal("EVENT\tstart-failed\tpid=%lu", GetCurrentProcessId());
        return 3;
    }
    if (FAILED(CoInitialize(nullptr)))
        return 4;
    if (!CreateMainWindow(instance)) {
        CoUninitialize();
        return 5;
    }
    static ClassFactory factory;
    DWORD cookie = 0;
    if (FAILED(CoRegisterClassObject(standin::kStandinClsid, &factory, CLSCTX_LOCAL_SERVER,
                                     REGCLS_SINGLEUSE, &cookie))) {
        DestroyWindow(g_window);
        CoUninitialize();
        return 6;
    }
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    CoRevokeClassObject(cookie);
    CoUninitialize();
    Journal("EVENT\texit\tpid=%lu", GetCurrentProcessId());
    return 0;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    int argc = 0;
    wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv)
        return 1;
    bool perUser = HasSwitch(argc, argv, L"user");
    int rc = 0;
    if (HasSwitch(argc, argv, L"regserver")) {
        char path[MAX_PATH] = {};
        GetModuleFileNameA(nullptr, path, MAX_PATH);
        rc = standin::Register(path, perUser) ? 0 : 1;
    } else if (HasSwitch(argc, argv, L"unregserver")) {
        rc = standin::Unregister(perUser) ? 0 : 1;
    } else if (HasSwitch(argc, argv, L"embedding") || HasSwitch(argc, argv, L"automation")) {
        rc = Serve(instance);
    } else {
        rc = 2; // a stand-in is only ever started by COM
    }
    LocalFree(argv);
    return rc;
}
