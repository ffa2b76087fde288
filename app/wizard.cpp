#include "app/wizard.h"

#include <commctrl.h>
#include <io.h>
#include <objbase.h>
#include <shlobj.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "app/install_run.h"
#include "app/installer_state.h"
#include "app/main_window.h"
#include "app/message_boxes.h"
#include "app/text_rules.h"
#include "archive/payload_win32.h"
#include "resources/resource_ids.h"

namespace {

constexpr char kAddinFile[] = "qubrix.xla";

// Progress dialog state: the busy flag keeps timer ticks out while a step or a question runs.
bool g_busy = false;
bool g_cancelEnabled = false;

void WarnIn(HWND dialog, int id) {
    char text[kStringCapacity];
    ShowWarning(dialog, LoadResString(id, text, sizeof(text)));
}

// A drive letter, a colon and a separator: "C:Varnex" would be relative to the drive's current
// folder, and a network path has no drive to check.
bool HasDriveRoot(const char *folder) {
    return folder[1] == ':' && (folder[2] == '\\' || folder[2] == '/') && DriveExists(folder[0]);
}

void WarnTooLong(HWND dialog, uint32_t maxLength) {
    char format[kStringCapacity], text[kStringCapacity + 16];
    std::snprintf(text, sizeof(text), LoadResString(IDS_FOLDER_TOO_LONG, format, sizeof(format)),
                  static_cast<int>(maxLength));
    ShowWarning(dialog, text);
}

// The folder checks of the OK button; true when the dialog may end.
bool AcceptFolder(HWND dialog, uint32_t maxLength) {
    // Read more than a path can hold: a longer entry is refused, never cut.
    char entry[4 * MAX_PATH];
    GetDlgItemTextA(dialog, IDC_FOLDER_EDIT, entry, sizeof(entry));
    TrimBlanks(entry);
    size_t length = std::strlen(entry);
    if (length < 3) {
        WarnIn(dialog, IDS_FOLDER_INVALID);
        return false;
    }
    if (entry[length - 1] == '\\')
        entry[--length] = '\0';
    if (length < 3 || !HasDriveRoot(entry)) {
        WarnIn(dialog, IDS_FOLDER_INVALID);
        return false;
    }
    // Every file of the product must fit below the folder.
    if (length > maxLength) {
        WarnTooLong(dialog, maxLength);
        return false;
    }
    char *folder = g_state.installDir;
    lstrcpynA(folder, entry, sizeof(g_state.installDir));
    struct _stat info;
    if (_stat(folder, &info) == 0) {
        if (info.st_mode & _S_IFDIR)
            return ConfirmUpgrade(dialog, folder) == 1;
        WarnIn(dialog, IDS_INVALID_FOLDER_NAME);
        return false;
    }
    char question[kStringCapacity];
    if (AskYesNo(dialog, LoadResString(IDS_CREATE_FOLDER_QUESTION, question, sizeof(question)),
                 MB_DEFBUTTON2) != IDYES)
        return false;
    // A rehearsal touches nothing: the folder is taken as it will be.
    if (g_state.testMode || RegAddin_MakeDir(folder))
        return true; // a new folder needs no upgrade question
    WarnIn(dialog, IDS_CREATE_FOLDER_FAILED);
    return false;
}

void EndProgress(HWND dialog, INT_PTR result) {
    KillTimer(dialog, kProgressTimerId);
    EndDialog(dialog, result);
}

void OnProgressTimer(HWND dialog) {
    if (g_busy)
        return;
    g_busy = true;
    const int step = InstallStep();
    if (step < 0) {
        g_state.installResult = step;
        EndProgress(dialog, 1);
    } else if (step == 0) {
        EnableWindow(GetDlgItem(dialog, IDCANCEL), FALSE);
        g_cancelEnabled = false;
        bool gaveUp = false;
        g_state.installResult = RegisterProduct(dialog, &gaveUp);
        EndProgress(dialog, gaveUp ? 0 : 1);
        g_busy = false;
        return;
    }
    // Cancel becomes usable after the first step and stays so through the copy phase.
    if (!g_cancelEnabled) {
        EnableWindow(GetDlgItem(dialog, IDCANCEL), TRUE);
        g_cancelEnabled = true;
    }
    g_busy = false;
}

void OnProgressCancel(HWND dialog) {
    // Escape reaches here even while the button is disabled: only a usable Cancel asks.
    if (!g_cancelEnabled || g_busy)
        return;
    g_busy = true;
    if (AskYesNoMain(ProductString(IDS_CANCEL_QUESTION)) == IDYES) {
        EndProgress(dialog, 0);
        return;
    }
    g_busy = false;
}

} // namespace

void CenterDialog(HWND window) {
    MoveToScreenCentre(window, 34, 0);
}

int CheckExcelRunning(HWND owner) {
    char text[MAX_PATH];
    LoadResString(IDS_EXCEL_RUNNING, text, sizeof(text));
    while (FindWindowA("XLMain", nullptr)) {
        if (AskOkCancel(owner, text, MB_DEFBUTTON2) == IDCANCEL)
            return 1;
    }
    return 0;
}

int ConfirmUpgrade(HWND owner, const char *folder) {
    const installinfo_tag &previous = g_state.previous;
    if (previous.installDir[0] && lstrcmpiA(previous.installDir, folder) == 0) {
        char format[kStringCapacity], text[kStringCapacity * 2];
        LoadResString(IDS_UPGRADE_VERSIONED, format, sizeof(format));
        std::snprintf(text, sizeof(text), format, previous.version, previous.build,
                      ProductString(IDS_PRODUCT_VERSION), ProductString(IDS_PRODUCT_BUILD));
        if (AskYesNo(owner, text, MB_DEFBUTTON2) != IDYES)
            return 0;
        g_state.upgrade = true;
        return 1;
    }
    char pattern[MAX_PATH * 2];
    std::snprintf(pattern, sizeof(pattern), "%s\\%s", folder, kAddinFile);
    _finddata_t found;
    const intptr_t search = _findfirst(pattern, &found);
    if (search != -1) {
        _findclose(search);
        char text[kStringCapacity];
        if (AskYesNo(owner, LoadResString(IDS_UPGRADE_QUESTION, text, sizeof(text)),
                     MB_DEFBUTTON2) != IDYES)
            return 0;
        g_state.upgrade = true;
    }
    return 1;
}

int CALLBACK BrowseCallback(HWND window, UINT message, LPARAM lParam, LPARAM) {
    char path[MAX_PATH];
    if (message == BFFM_INITIALIZED) {
        // A result as large as the buffer is the size a longer directory would need.
        const DWORD length = GetCurrentDirectoryA(sizeof(path), path);
        if (length > 0 && length < sizeof(path))
            SendMessageA(window, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(path));
    } else if (message == BFFM_SELCHANGED) {
        if (SHGetPathFromIDListA(reinterpret_cast<PCIDLIST_ABSOLUTE>(lParam), path)) {
            SendMessageA(window, BFFM_SETSTATUSTEXTA, 0, reinterpret_cast<LPARAM>(path));
            lstrcpynA(g_state.installDir, path, sizeof(g_state.installDir));
        }
    }
    return 0;
}

char *BrowseForFolder(HWND owner, char *buffer) {
    buffer[0] = '\0';
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IMalloc *allocator = nullptr;
    if (SUCCEEDED(SHGetMalloc(&allocator)) && allocator) {
        BROWSEINFOA info = {};
        info.hwndOwner = owner;
        info.lpszTitle = ProductString(IDS_BROWSE_TITLE);
        info.ulFlags = 0xC5;
        info.lpfn = BrowseCallback;
        if (PIDLIST_ABSOLUTE chosen = SHBrowseForFolderA(&info)) {
            lstrcpynA(buffer, g_state.installDir, MAX_PATH);
            allocator->Free(chosen);
        }
        allocator->Release();
    }
    CoUninitialize();
    return buffer;
}

INT_PTR CALLBACK WelcomeDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        char format[kStringCapacity], text[kStringCapacity * 2];
        LoadResString(IDS_WELCOME_TEXT, format, sizeof(format));
        std::snprintf(text, sizeof(text), format, ProductString(IDS_RELEASE_LINE));
        SetDlgItemTextA(dialog, IDC_WELCOME_TEXT, text);
        CenterDialog(dialog);
        return TRUE;
    }
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(dialog, LOWORD(wParam) == IDOK ? 1 : 0);
        return TRUE;
    }
    return FALSE;
}

INT_PTR CALLBACK AgreementDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        char text[kStringCapacity];
        SetDlgItemTextA(dialog, IDC_LEGAL_NOTICE,
                        LoadResString(IDS_LEGAL_NOTICE, text, sizeof(text)));
        CenterDialog(dialog);
        return TRUE;
    }
    if (message != WM_COMMAND)
        return FALSE;
    switch (LOWORD(wParam)) {
    case IDC_ACCEPT_BOX:
        EnableWindow(GetDlgItem(dialog, IDOK),
                     IsDlgButtonChecked(dialog, IDC_ACCEPT_BOX) == BST_CHECKED);
        return TRUE;
    case IDOK:
    case IDCANCEL:
        EndDialog(dialog, LOWORD(wParam) == IDOK ? 1 : 0);
        return TRUE;
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK FolderDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        g_state.maxFolderLength = MaxInstallFolderLength();
        SetDlgItemTextA(dialog, IDC_FOLDER_EDIT, g_state.installDir);
        CenterDialog(dialog);
        return TRUE;
    }
    if (message != WM_COMMAND)
        return FALSE;
    switch (LOWORD(wParam)) {
    case IDCANCEL:
        EndDialog(dialog, 0);
        return TRUE;
    case IDC_BROWSE: {
        char chosen[MAX_PATH];
        if (BrowseForFolder(dialog, chosen)[0]) {
            lstrcpynA(g_state.installDir, chosen, sizeof(g_state.installDir));
            SetDlgItemTextA(dialog, IDC_FOLDER_EDIT, chosen);
        }
        return TRUE;
    }
    case IDOK:
        if (AcceptFolder(dialog, g_state.maxFolderLength))
            EndDialog(dialog, 1);
        return TRUE;
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK ProgressDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG: {
        SetProgressControls(
            GetDlgItem(dialog, IDC_PROGRESS_BAR), GetDlgItem(dialog, IDC_STATUS_LINE),
            GetDlgItem(dialog, IDC_STEP_CAPTION), GetDlgItem(dialog, IDC_STEP_TEXT));
        SetWindowTextA(dialog, ProductString(IDS_PROGRESS_TITLE));
        CenterDialog(dialog);
        SendDlgItemMessageA(dialog, IDC_PROGRESS_BAR, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
        char text[kStringCapacity];
        LoadResString(IDS_PREPARING, text, sizeof(text));
        SetProgress(0, "");
        NextStep(text);
        EnableWindow(GetDlgItem(dialog, IDCANCEL), FALSE);
        g_cancelEnabled = false;
        g_busy = false;
        SetTimer(dialog, kProgressTimerId, kProgressTimerMs, nullptr);
        return TRUE;
    }
    case WM_TIMER:
        OnProgressTimer(dialog);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL) {
            OnProgressCancel(dialog);
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK FinishDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        char text[kStringCapacity];
        SetDlgItemTextA(dialog, IDC_STEP_CAPTION, ProductString(IDS_COMPLETE));
        SetDlgItemTextA(dialog, IDC_FINISH_CHECK,
                        LoadResString(IDS_VIEW_SUPPLEMENTARY, text, sizeof(text)));
        CheckDlgButton(dialog, IDC_FINISH_CHECK, BST_CHECKED);
        SetDlgItemTextA(dialog, IDC_FINISH_NOTE,
                        LoadResString(IDS_FINISH_NOTE, text, sizeof(text)));
        CenterDialog(dialog);
        return TRUE;
    }
    // No Cancel: Escape (command 2) does nothing here.
    if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
        g_state.openReleaseNotes = IsDlgButtonChecked(dialog, IDC_FINISH_CHECK) == BST_CHECKED;
        EndDialog(dialog, 1);
        return TRUE;
    }
    return FALSE;
}
