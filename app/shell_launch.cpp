#include "app/shell_launch.h"

#include <windows.h>
#include <exdisp.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shlobj.h>

#include <string>

namespace {

// Releases a COM pointer when it goes out of scope.
template <typename T> struct Held {
    T *p = nullptr;
    ~Held() {
        if (p)
            p->Release();
    }
    T **Out() { return &p; }
};

std::wstring Wide(const char *text) {
    const int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    std::wstring wide(length > 0 ? size_t(length) : 0, L'\0');
    if (length > 0)
        MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], length);
    if (!wide.empty())
        wide.pop_back(); // the terminator
    return wide;
}

// The desktop shell's IShellDispatch2, or null.
bool DesktopShell(IShellDispatch2 **shell) {
    Held<IShellWindows> windows;
    if (FAILED(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows,
                                reinterpret_cast<void **>(windows.Out()))))
        return false;
    VARIANT none;
    VariantInit(&none);
    long window = 0;
    Held<IDispatch> desktop;
    if (windows.p->FindWindowSW(&none, &none, SWC_DESKTOP, &window, SWFO_NEEDDISPATCH,
                                desktop.Out()) != S_OK ||
        !desktop.p)
        return false;
    Held<IServiceProvider> provider;
    Held<IShellBrowser> browser;
    Held<IShellView> view;
    Held<IDispatch> background;
    Held<IShellFolderViewDual> folderView;
    Held<IDispatch> application;
    return SUCCEEDED(desktop.p->QueryInterface(IID_IServiceProvider,
                                               reinterpret_cast<void **>(provider.Out()))) &&
           SUCCEEDED(provider.p->QueryService(SID_STopLevelBrowser, IID_IShellBrowser,
                                              reinterpret_cast<void **>(browser.Out()))) &&
           SUCCEEDED(browser.p->QueryActiveShellView(view.Out())) && view.p &&
           SUCCEEDED(view.p->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch,
                                           reinterpret_cast<void **>(background.Out()))) &&
           SUCCEEDED(background.p->QueryInterface(IID_IShellFolderViewDual,
                                                  reinterpret_cast<void **>(folderView.Out()))) &&
           SUCCEEDED(folderView.p->get_Application(application.Out())) && application.p &&
           SUCCEEDED(application.p->QueryInterface(IID_IShellDispatch2,
                                                   reinterpret_cast<void **>(shell)));
}

struct Request {
    std::wstring path;
    bool opened = false;
};

// On a thread of its own, so that a shell that does not answer cannot hold the installer.
DWORD WINAPI OpenOnThread(void *parameter) {
    Request *request = static_cast<Request *>(parameter);
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return 0;
    IShellDispatch2 *shell = nullptr;
    if (DesktopShell(&shell)) {
        BSTR file = SysAllocString(request->path.c_str());
        VARIANT none, operation, show;
        VariantInit(&none);
        VariantInit(&operation);
        operation.vt = VT_BSTR;
        operation.bstrVal = SysAllocString(L"open");
        VariantInit(&show);
        show.vt = VT_I4;
        show.lVal = SW_SHOWNORMAL;
        request->opened = file && operation.bstrVal &&
                          SUCCEEDED(shell->ShellExecute(file, none, none, operation, show));
        VariantClear(&operation);
        SysFreeString(file);
        shell->Release();
    }
    CoUninitialize();
    return 0;
}

} // namespace

bool OpenThroughDesktopShell(const char *path, unsigned long timeoutMs) {
    // Left to the thread when it does not end in time: the process ends soon after.
    Request *request = new Request;
    request->path = Wide(path);
    HANDLE thread = CreateThread(nullptr, 0, OpenOnThread, request, 0, nullptr);
    if (!thread) {
        delete request;
        return false;
    }
    const bool ended = WaitForSingleObject(thread, timeoutMs) == WAIT_OBJECT_0;
    CloseHandle(thread);
    if (!ended)
        return false;
    const bool opened = request->opened;
    delete request;
    return opened;
}
