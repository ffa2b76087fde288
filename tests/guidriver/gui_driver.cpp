#include "tests/guidriver/gui_driver.h"

#include "tests/guidriver/paint_hold_protocol.h"
#include "tests/support/environment.h"
#include "tests/support/text_files.h"

#include <cctype>
#include <cstdlib>

namespace gui {
namespace {

constexpr DWORD kPollMs = 20;

// Ids of a message box's controls: the text, and the icon (Windows 20, Wine stc1).
constexpr int kBoxTextId = 0xFFFF;
constexpr int kBoxIconIds[] = {0x0440, 20};
constexpr int kBoxButtonIds[] = {IDOK,  IDCANCEL, IDABORT,    IDRETRY,   IDIGNORE,
                                 IDYES, IDNO,     IDTRYAGAIN, IDCONTINUE};

struct FindRequest {
    const char *className;
    const char *caption;
    DWORD pid;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM param) {
    auto *request = reinterpret_cast<FindRequest *>(param);
    if (!IsWindowVisible(window))
        return TRUE;
    if (request->pid) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner != request->pid)
            return TRUE;
    }
    if (request->className && ClassName(window) != request->className)
        return TRUE;
    if (request->caption && WindowText(window) != request->caption)
        return TRUE;
    request->found.push_back(window);
    return TRUE;
}

std::vector<HWND> FindWindows(const char *className, const char *caption, DWORD pid) {
    FindRequest request{className, caption, pid, {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&request));
    return request.found;
}

// A message box is a dialog-class window with a caption bar and the message text control.
bool IsMessageBox(HWND window) {
    const LONG style = GetWindowLongA(window, GWL_STYLE);
    return ClassName(window) == "#32770" && (style & WS_CAPTION) == WS_CAPTION &&
           GetDlgItem(window, kBoxTextId) != nullptr;
}

// Draws `icon` on a square of `background` and returns its pixels (size x size, 0x00RRGGBB in
// the low bytes).
std::vector<DWORD> RenderIcon(HICON icon, int size, COLORREF background) {
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, size, size);
    HGDIOBJ old = SelectObject(memory, bitmap);
    RECT all = {0, 0, size, size};
    HBRUSH brush = CreateSolidBrush(background);
    FillRect(memory, &all, brush);
    DeleteObject(brush);
    DrawIconEx(memory, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
    SelectObject(memory, old);
    const std::vector<DWORD> pixels = ReadPixels(bitmap).data;
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pixels;
}

long long Difference(const std::vector<DWORD> &a, const std::vector<DWORD> &b) {
    long long sum = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        for (int shift = 0; shift < 24; shift += 8)
            sum += std::abs(static_cast<int>((a[i] >> shift) & 0xFF) -
                            static_cast<int>((b[i] >> shift) & 0xFF));
    }
    return sum;
}

// Icon handles belong to the process that loaded them, so the box's icon is identified by what
// the screen shows: the icon area is compared with our own drawing of each standard icon.
BoxIcon IdentifyIcon(HWND box) {
    HWND iconControl = nullptr;
    for (int id : kBoxIconIds) {
        iconControl = GetDlgItem(box, id);
        if (iconControl && IsWindowVisible(iconControl))
            break;
        iconControl = nullptr;
    }
    if (!iconControl)
        return BoxIcon::None;
    Screenshot shot;
    RECT area = {};
    GetWindowRect(iconControl, &area);
    const int size = GetSystemMetrics(SM_CXICON);
    if (!TakeScreenshot(&shot) || area.left < 0 || area.top < 0 || area.left + size > shot.width ||
        area.top + size > shot.height)
        return BoxIcon::Unknown;
    std::vector<DWORD> shown;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x)
            shown.push_back(shot.At(area.left + x, area.top + y));
    }
    const DWORD corner = shown[0];
    const COLORREF background = RGB((corner >> 16) & 0xFF, (corner >> 8) & 0xFF, corner & 0xFF);
    struct Candidate {
        BoxIcon icon;
        LPCSTR id;
    } candidates[] = {{BoxIcon::Information, IDI_INFORMATION},
                      {BoxIcon::Warning, IDI_WARNING},
                      {BoxIcon::Error, IDI_ERROR},
                      {BoxIcon::Question, IDI_QUESTION}};
    BoxIcon best = BoxIcon::Unknown;
    long long bestDifference = -1;
    for (const Candidate &candidate : candidates) {
        const long long d =
            Difference(shown, RenderIcon(LoadIconA(nullptr, candidate.id), size, background));
        if (bestDifference < 0 || d < bestDifference) {
            bestDifference = d;
            best = candidate.icon;
        }
    }
    // A blank area, or nothing close to any standard icon.
    const long long blank = Difference(shown, std::vector<DWORD>(shown.size(), corner));
    if (blank == 0 || bestDifference * 4 > blank)
        return BoxIcon::Unknown;
    return best;
}

// How another program's windows are asked. Not SMTO_ABORTIFHUNG: a program that worked a while
// without reading its messages (a slow, emulated one) counts as hung until the loop of the box it
// has just made first runs, and its caption would read as "".
const UINT kAskFlags = SMTO_NORMAL;

std::string GetText(HWND window) {
    if (!window)
        return {};
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, kAskFlags, 5000, &length))
        return {};
    std::string text(length + 1, '\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutA(window, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(&text[0]),
                        kAskFlags, 5000, &copied);
    text.resize(copied);
    return text;
}

} // namespace

Process::~Process() {
    if (info_.hProcess) {
        if (IsRunning())
            Terminate();
        CloseHandle(info_.hProcess);
        CloseHandle(info_.hThread);
    }
}

bool Process::Start(const std::string &exePath, const std::string &arguments,
                    const char *workingDir) {
    std::string commandLine = "\"" + exePath + "\"";
    if (!arguments.empty())
        commandLine += " " + arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    return CreateProcessA(exePath.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                          workingDir, &startup, &info_) != 0;
}

int Process::WaitForExit(DWORD timeoutMs) {
    if (!info_.hProcess || WaitForSingleObject(info_.hProcess, timeoutMs) != WAIT_OBJECT_0)
        return -1;
    DWORD code = 0;
    GetExitCodeProcess(info_.hProcess, &code);
    return static_cast<int>(code);
}

bool Process::IsRunning() const {
    return info_.hProcess && WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT;
}

void Process::Terminate() {
    if (info_.hProcess) {
        TerminateProcess(info_.hProcess, 255);
        WaitForSingleObject(info_.hProcess, 5000);
    }
}

HWND WaitForWindow(const char *className, const char *caption, DWORD pid, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        std::vector<HWND> found = FindWindows(className, caption, pid);
        if (!found.empty())
            return found.front();
        if (GetTickCount() - start >= timeoutMs)
            return nullptr;
        Sleep(kPollMs);
    }
}

bool WaitForWindowGone(HWND window, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    while (IsWindow(window) && IsWindowVisible(window)) {
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(kPollMs);
    }
    return true;
}

std::vector<HWND> TopLevelWindows(DWORD pid, const char *className) {
    return FindWindows(className, nullptr, pid);
}

HWND FindDialogWith(DWORD pid, int id) {
    for (HWND dialog : FindWindows("#32770", nullptr, pid)) {
        if (GetDlgItem(dialog, id))
            return dialog;
    }
    return nullptr;
}

HWND WaitForDialogWith(DWORD pid, int id, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (HWND dialog = FindDialogWith(pid, id))
            return dialog;
        if (GetTickCount() - start >= timeoutMs)
            return nullptr;
        Sleep(kPollMs);
    }
}

bool WaitForDialogGone(DWORD pid, int id, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    while (FindDialogWith(pid, id)) {
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(kPollMs);
    }
    return true;
}

std::string WindowText(HWND window) {
    return GetText(window);
}

std::string ClassName(HWND window) {
    char name[256] = {};
    GetClassNameA(window, name, sizeof(name));
    return name;
}

std::string ControlText(HWND dialog, int id) {
    return GetText(GetDlgItem(dialog, id));
}

bool ControlEnabled(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    return control && IsWindowEnabled(control);
}

bool ControlVisible(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    return control && IsWindowVisible(control);
}

bool ControlChecked(HWND dialog, int id) {
    DWORD_PTR state = 0;
    HWND control = GetDlgItem(dialog, id);
    return control && SendMessageTimeoutA(control, BM_GETCHECK, 0, 0, kAskFlags, 5000, &state) &&
           state == BST_CHECKED;
}

bool ControlExists(HWND dialog, int id) {
    return GetDlgItem(dialog, id) != nullptr;
}

void SetControlText(HWND dialog, int id, const std::string &text) {
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(GetDlgItem(dialog, id), WM_SETTEXT, 0,
                        reinterpret_cast<LPARAM>(text.c_str()), kAskFlags, 5000, &ignored);
}

bool PressButton(HWND dialog, int id) {
    HWND button = GetDlgItem(dialog, id);
    if (!button || !IsWindowEnabled(button))
        return false;
    return PostMessageA(button, BM_CLICK, 0, 0) != 0;
}

void PressEscape(HWND dialog) {
    HWND target = dialog;
    PostMessageA(target, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    PostMessageA(target, WM_KEYUP, VK_ESCAPE, 0xC0010001);
}

WindowSnapshot Snapshot(HWND window) {
    WindowSnapshot snapshot;
    snapshot.window = window;
    GetWindowRect(window, &snapshot.rect);
    // Read without sending a message: the window's thread may be held.
    wchar_t caption[512] = {};
    InternalGetWindowText(window, caption, 512);
    char ansi[1024] = {};
    WideCharToMultiByte(CP_ACP, 0, caption, -1, ansi, sizeof(ansi), nullptr, nullptr);
    snapshot.caption = ansi;
    snapshot.style = GetWindowLongA(window, GWL_STYLE);
    snapshot.exStyle = GetWindowLongA(window, GWL_EXSTYLE);
    return snapshot;
}

bool IsShownAndValidated(HWND window) {
    return IsWindowVisible(window) && !GetUpdateRect(window, nullptr, FALSE);
}

POINT ClientToScreenPoint(HWND window, int x, int y) {
    POINT point = {x, y};
    ClientToScreen(window, &point);
    return point;
}

PaintHold::~PaintHold() {
    Release();
    if (hook_)
        UnhookWindowsHookEx(hook_);
    if (library_)
        FreeLibrary(library_);
    for (HANDLE handle : {mapping_, painted_, release_}) {
        if (handle)
            CloseHandle(handle);
    }
}

bool PaintHold::Arm(const char *className) {
    const std::string dll = EnvPath("VNX_GUIHOLD_DLL");
    if (dll.empty() || !className)
        return false;
    mapping_ = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                  sizeof(PaintHoldConfig), kPaintHoldConfig);
    painted_ = CreateEventA(nullptr, TRUE, FALSE, kPaintHoldPainted);
    release_ = CreateEventA(nullptr, TRUE, FALSE, kPaintHoldRelease);
    if (!mapping_ || !painted_ || !release_)
        return false;
    auto *config = static_cast<PaintHoldConfig *>(MapViewOfFile(mapping_, FILE_MAP_WRITE, 0, 0, 0));
    if (!config)
        return false;
    lstrcpynA(config->className, className, sizeof(config->className));
    UnmapViewOfFile(config);
    library_ = LoadLibraryA(dll.c_str());
    auto proc = library_ ? reinterpret_cast<HOOKPROC>(
                               reinterpret_cast<void *>(GetProcAddress(library_, "PaintHoldProc")))
                         : nullptr;
    hook_ = proc ? SetWindowsHookExA(WH_GETMESSAGE, proc, library_, 0) : nullptr;
    return hook_ != nullptr;
}

HWND PaintHold::WaitPainted(DWORD timeoutMs) {
    if (!painted_ || WaitForSingleObject(painted_, timeoutMs) != WAIT_OBJECT_0)
        return nullptr;
    HANDLE mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, kPaintHoldConfig);
    HWND window = nullptr;
    if (mapping) {
        if (auto *config = static_cast<const PaintHoldConfig *>(
                MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0))) {
            window = FindWindowA(config->className, nullptr);
            UnmapViewOfFile(config);
        }
        CloseHandle(mapping);
    }
    return window;
}

void PaintHold::Release() {
    if (release_)
        SetEvent(release_);
}

bool ReadMessageBox(HWND window, MessageBoxInfo *box) {
    if (!window || !IsMessageBox(window))
        return false;
    box->window = window;
    box->owner = GetWindow(window, GW_OWNER);
    box->caption = GetText(window);
    box->text = GetText(GetDlgItem(window, kBoxTextId));
    box->buttons.clear();
    box->defaultButton = 0;
    for (int id : kBoxButtonIds) {
        HWND button = GetDlgItem(window, id);
        if (!button || !IsWindowVisible(button))
            continue;
        box->buttons.push_back(id);
        if ((GetWindowLongA(button, GWL_STYLE) & 0x0F) == BS_DEFPUSHBUTTON)
            box->defaultButton = id;
    }
    box->icon = IdentifyIcon(window);
    return true;
}

bool WaitForMessageBox(DWORD pid, MessageBoxInfo *box, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        for (HWND window : FindWindows("#32770", nullptr, pid)) {
            // A box is shown only once its dialog has set its caption and text: before that
            // (a slow, emulated program can be caught there) both read empty.
            if (IsMessageBox(window) && IsWindowVisible(window)) {
                Sleep(100); // let the box finish painting before its icon is read
                return ReadMessageBox(window, box);
            }
        }
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(kPollMs);
    }
}

bool AnswerMessageBox(HWND window, int id) {
    HWND button = GetDlgItem(window, id);
    if (!button)
        return false;
    return PostMessageA(button, BM_CLICK, 0, 0) != 0;
}

const char *IconName(BoxIcon icon) {
    switch (icon) {
    case BoxIcon::None:
        return "none";
    case BoxIcon::Information:
        return "information";
    case BoxIcon::Warning:
        return "warning";
    case BoxIcon::Error:
        return "error";
    case BoxIcon::Question:
        return "question";
    case BoxIcon::Unknown:
        break;
    }
    return "unknown";
}

namespace {

std::string LinuxScratchPath(const char *name) {
    const std::string work = Env("VNX_TEST_WORKDIR");
    static int counter = 0;
    return (work.empty() ? "/tmp" : work) + "/" + name + std::to_string(++counter) + "-" +
           std::to_string(GetCurrentProcessId());
}

// Reads a binary PPM (P6, maxval 255) file.
bool ReadPpm(const std::string &path, Screenshot *shot) {
    const std::string data = ReadFileText(path);
    size_t at = 0;
    auto token = [&]() {
        while (at < data.size() &&
               (isspace(static_cast<unsigned char>(data[at])) || data[at] == '#')) {
            if (data[at] == '#') {
                while (at < data.size() && data[at] != '\n')
                    ++at;
            } else {
                ++at;
            }
        }
        const size_t start = at;
        while (at < data.size() && !isspace(static_cast<unsigned char>(data[at])))
            ++at;
        return data.substr(start, at - start);
    };
    if (token() != "P6")
        return false;
    const int width = std::atoi(token().c_str());
    const int height = std::atoi(token().c_str());
    const int maxValue = std::atoi(token().c_str());
    ++at; // the single blank after the header
    if (width <= 0 || height <= 0 || maxValue != 255 ||
        data.size() < at + static_cast<size_t>(width) * height * 3)
        return false;
    shot->width = width;
    shot->height = height;
    shot->data.resize(static_cast<size_t>(width) * height);
    const unsigned char *p = reinterpret_cast<const unsigned char *>(data.data()) + at;
    for (DWORD &pixel : shot->data) {
        pixel = (DWORD(p[0]) << 16) | (DWORD(p[1]) << 8) | p[2];
        p += 3;
    }
    return true;
}

} // namespace

int RunLinuxCommand(const std::string &commandLine, DWORD timeoutMs) {
    // Wine starts ELF programs, but its handle of such a process cannot be waited for: the shell
    // reports the exit code through a file that appears when the command has ended.
    const std::string done = LinuxScratchPath("done");
    std::string line = "/bin/sh -c \"(" + commandLine + "); echo $? > " + done + ".tmp && mv " +
                       done + ".tmp " + done + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info))
        return -1;
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    const std::string doneFile = WindowsPath(done);
    const DWORD start = GetTickCount();
    while (GetFileAttributesA(doneFile.c_str()) == INVALID_FILE_ATTRIBUTES) {
        if (GetTickCount() - start >= timeoutMs)
            return -1;
        Sleep(kPollMs);
    }
    const int code = std::atoi(ReadFileText(doneFile).c_str());
    DeleteFileA(doneFile.c_str());
    return code;
}

bool TakeScreenshot(Screenshot *shot) {
    const std::string path = LinuxScratchPath("screen") + ".ppm";
    if (RunLinuxCommand("/usr/bin/import -window root -depth 8 ppm:" + path) != 0)
        return false;
    const bool ok = ReadPpm(WindowsPath(path), shot);
    DeleteFileA(WindowsPath(path).c_str());
    return ok;
}

bool SaveScreenshot(const std::string &linuxPngPath, const RECT *area) {
    std::string crop;
    if (area) {
        crop = " -crop " + std::to_string(area->right - area->left) + "x" +
               std::to_string(area->bottom - area->top) + "+" + std::to_string(area->left) + "+" +
               std::to_string(area->top) + " +repage";
    }
    return RunLinuxCommand("/usr/bin/import -window root" + crop + " png:" + linuxPngPath) == 0;
}

} // namespace gui
