#include "app/wizard.h"

#include <commctrl.h>
#include <io.h>
#include <objbase.h>
#include <shlobj.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "app/message_boxes.h"
#include "app/screen_place.h"
#include "app/text_rules.h"
#include "archive/payload_win32.h"
#include "regaddin/folder_rules.h"
#include "regaddin/folder_security.h"
#include "regaddin/system_folders.h"
#include "resources/resource_ids.h"

namespace {

constexpr char kAddinFile[] = "qubrix.xla";

// What a dialog was opened with: DialogBoxParam's parameter, kept in the dialog from
// WM_INITDIALOG on. Null for the few messages that come before it.
template <typename T> T *DialogData(HWND dialog, UINT message, LPARAM lParam) {
    if (message == WM_INITDIALOG)
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
    return reinterpret_cast<T *>(GetWindowLongPtrA(dialog, DWLP_USER));
}

void WarnIn(const InstallerState &state, HWND dialog, int id) {
    char text[kStringCapacity];
    ShowWarning(dialog, state.LoadResString(id, text, sizeof(text)));
}

// A drive letter, a colon and a separator: "C:Varnex" would be relative to the drive's current
// folder, and a network path has no drive to check.
bool HasDriveRoot(const char *folder) {
    return folder[1] == ':' && (folder[2] == '\\' || folder[2] == '/') && DriveExists(folder[0]);
}

void WarnTooLong(const InstallerState &state, HWND dialog, uint32_t maxLength) {
    char format[kStringCapacity], text[kStringCapacity + 16];
    std::snprintf(text, sizeof(text),
                  state.LoadResString(IDS_FOLDER_TOO_LONG, format, sizeof(format)),
                  static_cast<int>(maxLength));
    ShowWarning(dialog, text);
}

// The warning of string `id`, which names the folder.
void WarnAboutFolder(const InstallerState &state, HWND dialog, int id, const char *folder) {
    char format[kStringCapacity], text[kStringCapacity + MAX_PATH];
    std::snprintf(text, sizeof(text), state.LoadResString(id, format, sizeof(format)), folder);
    ShowWarning(dialog, text);
}

// The entry of the folder field in its full form ("C:\a\..\b" is "C:\b"): what is checked,
// made, installed into and recorded for the uninstaller is the one folder. False, after the
// warning, when the entry is no folder on a drive or too long.
bool ReadFolderEntry(InstallerState &state, HWND dialog, std::string *normal) {
    // Read more than a path can hold: a longer entry is refused, never cut.
    char entry[4 * MAX_PATH];
    GetDlgItemTextA(dialog, IDC_FOLDER_EDIT, entry, sizeof(entry));
    TrimBlanks(entry);
    size_t length = std::strlen(entry);
    if (length >= 3 && entry[length - 1] == '\\')
        entry[--length] = '\0';
    if (length < 3 || !HasDriveRoot(entry)) {
        WarnIn(state, dialog, IDS_FOLDER_INVALID);
        return false;
    }
    // The ANSI call takes no entry as long as a path may be, and gives no folder that long.
    char full[MAX_PATH];
    const DWORD fullLength =
        length < sizeof(full) ? GetFullPathNameA(entry, sizeof(full), full, nullptr) : 0;
    if (length >= sizeof(full) || fullLength >= sizeof(full)) {
        WarnTooLong(state, dialog, state.maxFolderLength);
        return false;
    }
    *normal = fullLength > 0 ? folders::NormalizeFolder(full) : std::string();
    return true;
}

// False, after the warning, for a folder the uninstaller would refuse to remove the product from,
// or one below which the product's files do not fit.
bool FolderMayHoldTheProduct(InstallerState &state, HWND dialog, const std::string &normal) {
    switch (folders::RefuseFolderHere(normal)) {
    case folders::FolderRefusal::NotFullPath:
    case folders::FolderRefusal::DriveRoot:
        WarnIn(state, dialog, IDS_FOLDER_INVALID);
        return false;
    case folders::FolderRefusal::SystemFolder:
        WarnAboutFolder(state, dialog, IDS_FOLDER_SYSTEM, normal.c_str());
        return false;
    case folders::FolderRefusal::None:
        break;
    }
    // What is installed there must land there, and what the uninstaller removes too.
    if (folders::RefuseLinksHere(normal) != folders::LinkRefusal::None) {
        WarnAboutFolder(state, dialog, IDS_FOLDER_LINK, normal.c_str());
        return false;
    }
    if (normal.size() > state.maxFolderLength) {
        WarnTooLong(state, dialog, state.maxFolderLength);
        return false;
    }
    return true;
}

// The folder checks of the OK button; true when the dialog may end.
bool AcceptFolder(InstallerState &state, HWND dialog) {
    std::string normal;
    if (!ReadFolderEntry(state, dialog, &normal) || !FolderMayHoldTheProduct(state, dialog, normal))
        return false;
    char *folder = state.installDir;
    lstrcpynA(folder, normal.c_str(), sizeof(state.installDir));
    struct _stat info;
    if (_stat(folder, &info) == 0) {
        if (info.st_mode & _S_IFDIR)
            return ConfirmUpgrade(state, dialog, folder);
        WarnIn(state, dialog, IDS_INVALID_FOLDER_NAME);
        return false;
    }
    char question[kStringCapacity];
    if (AskYesNo(dialog,
                 state.LoadResString(IDS_CREATE_FOLDER_QUESTION, question, sizeof(question)),
                 MB_DEFBUTTON2) != IDYES)
        return false;
    // A rehearsal touches nothing: the folder is taken as it will be.
    if (state.testMode || RegAddin_MakeDir(folder))
        return true; // a new folder needs no upgrade question
    WarnIn(state, dialog, IDS_CREATE_FOLDER_FAILED);
    return false;
}

// The installation run's view of the progress dialog.
void RepaintNow(HWND control) {
    // The step that follows (a large file, Excel) may block the thread for a long time: the
    // dialog must show what it is doing meanwhile.
    InvalidateRect(control, nullptr, FALSE);
    UpdateWindow(control);
}

void SetControlText(HWND dialog, int id, const char *text) {
    if (HWND control = GetDlgItem(dialog, id)) {
        SetWindowTextA(control, text);
        RepaintNow(control);
    }
}

void EndProgress(HWND dialog, INT_PTR result) {
    KillTimer(dialog, kProgressTimerId);
    EndDialog(dialog, result);
}

void OnProgressTimer(ProgressDialog *progress) {
    if (progress->busy)
        return;
    HWND dialog = progress->window;
    progress->busy = true;
    const payload::StepResult step = progress->run->InstallStep();
    if (step.Failed()) {
        progress->state->installResult = step.code;
        EndProgress(dialog, 1);
    } else if (step.code == payload::kStepDone) {
        EnableWindow(GetDlgItem(dialog, IDCANCEL), FALSE);
        progress->cancelEnabled = false;
        bool gaveUp = false;
        progress->state->installResult = progress->run->RegisterProduct(&gaveUp);
        EndProgress(dialog, gaveUp ? 0 : 1);
        progress->busy = false;
        return;
    }
    // Cancel becomes usable after the first step and stays so through the copy phase.
    if (!progress->cancelEnabled) {
        EnableWindow(GetDlgItem(dialog, IDCANCEL), TRUE);
        progress->cancelEnabled = true;
    }
    progress->busy = false;
}

void OnProgressCancel(ProgressDialog *progress) {
    // Escape reaches here even while the button is disabled: only a usable Cancel asks.
    if (!progress->cancelEnabled || progress->busy)
        return;
    progress->busy = true;
    if (AskYesNoMain(progress->state->ProductString(IDS_CANCEL_QUESTION)) == IDYES) {
        EndProgress(progress->window, 0);
        return;
    }
    progress->busy = false;
}

void StartProgress(HWND dialog, ProgressDialog *progress) {
    progress->window = dialog;
    progress->run->SetView(progress);
    SetWindowTextA(dialog, progress->state->ProductString(IDS_PROGRESS_TITLE));
    PlaceDialogRightOfCentre(dialog);
    SendDlgItemMessageA(dialog, IDC_PROGRESS_BAR, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    char text[kStringCapacity];
    progress->state->LoadResString(IDS_PREPARING, text, sizeof(text));
    progress->run->SetProgress(0, "");
    progress->run->NextStep(text);
    EnableWindow(GetDlgItem(dialog, IDCANCEL), FALSE);
    progress->cancelEnabled = false;
    progress->busy = false;
    SetTimer(dialog, kProgressTimerId, kProgressTimerMs, nullptr);
}

} // namespace

void ProgressDialog::ShowProgress(int percent, const char *status) {
    if (!IsWindow(window))
        return;
    if (HWND bar = GetDlgItem(window, IDC_PROGRESS_BAR)) {
        SendMessageA(bar, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
        RepaintNow(bar);
    }
    if (status)
        SetControlText(window, IDC_STATUS_LINE, status);
}

void ProgressDialog::ShowStep(const char *caption, const char *text) {
    if (!IsWindow(window))
        return;
    SetControlText(window, IDC_STEP_CAPTION, caption);
    SetControlText(window, IDC_STEP_TEXT, text);
}

bool ProgressDialog::UserGivesUpOnExcel() {
    return UserGivesUpOnRunningExcel(*state, window);
}

void ProgressDialog::Warn(const char *text) {
    ::Warn(text);
}

void PlaceDialogRightOfCentre(HWND window) {
    MoveToScreenCentre(window, 34, 0);
}

bool UserGivesUpOnRunningExcel(const InstallerState &state, HWND owner) {
    char text[MAX_PATH];
    state.LoadResString(IDS_EXCEL_RUNNING, text, sizeof(text));
    while (RegAddin_Detect()) {
        if (AskOkCancel(owner, text, MB_DEFBUTTON2) == IDCANCEL)
            return true;
    }
    return false;
}

bool ConfirmUpgrade(InstallerState &state, HWND owner, const char *folder) {
    const installinfo_tag &previous = state.previous;
    if (previous.installDir[0] && lstrcmpiA(previous.installDir, folder) == 0) {
        char format[kStringCapacity], text[kStringCapacity * 2];
        state.LoadResString(IDS_UPGRADE_VERSIONED, format, sizeof(format));
        std::snprintf(text, sizeof(text), format, previous.version, previous.build,
                      state.ProductString(IDS_PRODUCT_VERSION),
                      state.ProductString(IDS_PRODUCT_BUILD));
        if (AskYesNo(owner, text, MB_DEFBUTTON2) != IDYES)
            return false;
        state.upgrade = true;
        return true;
    }
    char pattern[MAX_PATH * 2];
    std::snprintf(pattern, sizeof(pattern), "%s\\%s", folder, kAddinFile);
    _finddata_t found;
    const intptr_t search = _findfirst(pattern, &found);
    if (search != -1) {
        _findclose(search);
        char text[kStringCapacity];
        if (AskYesNo(owner, state.LoadResString(IDS_UPGRADE_QUESTION, text, sizeof(text)),
                     MB_DEFBUTTON2) != IDYES)
            return false;
        state.upgrade = true;
    }
    return true;
}

int CALLBACK BrowseCallback(HWND window, UINT message, LPARAM lParam, LPARAM data) {
    InstallerState *state = reinterpret_cast<InstallerState *>(data);
    char path[MAX_PATH];
    if (message == BFFM_INITIALIZED) {
        if (state->startFolder[0])
            SendMessageA(window, BFFM_SETSELECTIONA, TRUE,
                         reinterpret_cast<LPARAM>(state->startFolder));
    } else if (message == BFFM_SELCHANGED) {
        if (SHGetPathFromIDListA(reinterpret_cast<PCIDLIST_ABSOLUTE>(lParam), path)) {
            SendMessageA(window, BFFM_SETSTATUSTEXTA, 0, reinterpret_cast<LPARAM>(path));
            lstrcpynA(state->installDir, path, sizeof(state->installDir));
        }
    }
    return 0;
}

char *BrowseForFolder(InstallerState &state, HWND owner, char *buffer) {
    buffer[0] = '\0';
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IMalloc *allocator = nullptr;
    if (SUCCEEDED(SHGetMalloc(&allocator)) && allocator) {
        BROWSEINFOA info = {};
        info.hwndOwner = owner;
        info.lpszTitle = state.ProductString(IDS_BROWSE_TITLE);
        info.ulFlags = 0xC5;
        info.lpfn = BrowseCallback;
        info.lParam = reinterpret_cast<LPARAM>(&state);
        if (PIDLIST_ABSOLUTE chosen = SHBrowseForFolderA(&info)) {
            lstrcpynA(buffer, state.installDir, MAX_PATH);
            allocator->Free(chosen);
        }
        allocator->Release();
    }
    CoUninitialize();
    return buffer;
}

INT_PTR CALLBACK WelcomeDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    const InstallerState *state = DialogData<InstallerState>(dialog, message, lParam);
    if (!state)
        return FALSE;
    if (message == WM_INITDIALOG) {
        char format[kStringCapacity], text[kStringCapacity * 2];
        state->LoadResString(IDS_WELCOME_TEXT, format, sizeof(format));
        std::snprintf(text, sizeof(text), format, state->ProductString(IDS_RELEASE_LINE));
        SetDlgItemTextA(dialog, IDC_WELCOME_TEXT, text);
        PlaceDialogRightOfCentre(dialog);
        return TRUE;
    }
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(dialog, LOWORD(wParam) == IDOK ? 1 : 0);
        return TRUE;
    }
    return FALSE;
}

INT_PTR CALLBACK AgreementDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    const InstallerState *state = DialogData<InstallerState>(dialog, message, lParam);
    if (!state)
        return FALSE;
    if (message == WM_INITDIALOG) {
        char text[kStringCapacity];
        SetDlgItemTextA(dialog, IDC_LEGAL_NOTICE,
                        state->LoadResString(IDS_LEGAL_NOTICE, text, sizeof(text)));
        PlaceDialogRightOfCentre(dialog);
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

INT_PTR CALLBACK FolderDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    InstallerState *state = DialogData<InstallerState>(dialog, message, lParam);
    if (!state)
        return FALSE;
    if (message == WM_INITDIALOG) {
        state->maxFolderLength = MaxInstallFolderLength(state->instance);
        SetDlgItemTextA(dialog, IDC_FOLDER_EDIT, state->installDir);
        PlaceDialogRightOfCentre(dialog);
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
        if (BrowseForFolder(*state, dialog, chosen)[0]) {
            lstrcpynA(state->installDir, chosen, sizeof(state->installDir));
            SetDlgItemTextA(dialog, IDC_FOLDER_EDIT, chosen);
        }
        return TRUE;
    }
    case IDOK:
        if (AcceptFolder(*state, dialog))
            EndDialog(dialog, 1);
        return TRUE;
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK ProgressDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    ProgressDialog *progress = DialogData<ProgressDialog>(dialog, message, lParam);
    if (!progress)
        return FALSE;
    switch (message) {
    case WM_INITDIALOG:
        StartProgress(dialog, progress);
        return TRUE;
    case WM_TIMER:
        OnProgressTimer(progress);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL) {
            OnProgressCancel(progress);
            return TRUE;
        }
        return FALSE;
    case WM_DESTROY:
        // The run outlives the dialog: it must not paint into a window that is gone.
        progress->run->SetView(nullptr);
        return FALSE;
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK FinishDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    InstallerState *state = DialogData<InstallerState>(dialog, message, lParam);
    if (!state)
        return FALSE;
    if (message == WM_INITDIALOG) {
        char text[kStringCapacity];
        SetDlgItemTextA(dialog, IDC_STEP_CAPTION, state->ProductString(IDS_COMPLETE));
        SetDlgItemTextA(dialog, IDC_FINISH_CHECK,
                        state->LoadResString(IDS_VIEW_SUPPLEMENTARY, text, sizeof(text)));
        CheckDlgButton(dialog, IDC_FINISH_CHECK, BST_CHECKED);
        SetDlgItemTextA(dialog, IDC_FINISH_NOTE,
                        state->LoadResString(IDS_FINISH_NOTE, text, sizeof(text)));
        PlaceDialogRightOfCentre(dialog);
        return TRUE;
    }
    // No Cancel: Escape (command 2) does nothing here.
    if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
        state->openReleaseNotes = IsDlgButtonChecked(dialog, IDC_FINISH_CHECK) == BST_CHECKED;
        EndDialog(dialog, 1);
        return TRUE;
    }
    return FALSE;
}
