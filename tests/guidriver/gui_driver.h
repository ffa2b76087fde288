// A small driver for end-to-end tests: starts a Windows program, finds its windows, reads and
// operates dialog controls, reads and answers message boxes, and collects the exit code. It works
// from another process, as a user would, through window messages only.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/support/pixels.h"

namespace gui {

constexpr DWORD kDefaultTimeoutMs = 15000;

// A started program. The handle is closed when the object goes; a program still running then is
// terminated, so a failed test never leaves it behind.
class Process {
public:
    Process() = default;
    ~Process();
    Process(const Process &) = delete;
    Process &operator=(const Process &) = delete;

    // Starts `exePath` with `arguments` (may be empty) in `workingDir` (null: the caller's).
    bool Start(const std::string &exePath, const std::string &arguments,
               const char *workingDir = nullptr);
    // Waits for the end and returns the exit code; -1 when it did not end in time.
    int WaitForExit(DWORD timeoutMs = kDefaultTimeoutMs);
    bool IsRunning() const;
    void Terminate();
    DWORD Id() const { return info_.dwProcessId; }

private:
    PROCESS_INFORMATION info_ = {};
};

// Waits for a visible top-level window of `className` (null: any) whose caption equals
// `caption` (null: any), owned by process `pid` (0: any). Null when none appeared in time.
HWND WaitForWindow(const char *className, const char *caption, DWORD pid = 0,
                   DWORD timeoutMs = kDefaultTimeoutMs);
// What a window looked like when it was caught.
struct WindowSnapshot {
    HWND window = nullptr;
    RECT rect = {};
    std::string caption;
    LONG style = 0;
    LONG exStyle = 0;
};

// Reads a window's place, caption and styles without sending it a message.
WindowSnapshot Snapshot(HWND window);

// Holds a program right after the first WM_PAINT of its top-level window of a class, until
// Release (or 30 s): a window that paints and goes at once can be read and photographed. Uses a
// global hook library (VNX_GUIHOLD_DLL names it) that the system loads into the program.
class PaintHold {
public:
    PaintHold() = default;
    ~PaintHold();
    PaintHold(const PaintHold &) = delete;
    PaintHold &operator=(const PaintHold &) = delete;

    // Arms the hold for windows of `className`; call before starting the program.
    bool Arm(const char *className);
    // Waits until such a window has been painted and is held; its handle, or null.
    HWND WaitPainted(DWORD timeoutMs = kDefaultTimeoutMs);
    // Lets the held program go on.
    void Release();

private:
    HANDLE mapping_ = nullptr;
    HANDLE painted_ = nullptr;
    HANDLE release_ = nullptr;
    HMODULE library_ = nullptr;
    HHOOK hook_ = nullptr;
};

// Decides, with the caught window's thread held, whether the window is ready to be looked at.
using WindowCondition = std::function<bool(HWND window)>;
// Runs with the caught window's thread held.
using HeldWindowAction = std::function<void(HWND window)>;

// Like StartAndCatchWindow, but lets the window's thread run in small steps until `ready` holds
// (checked each time with the thread held), then fills `snapshot`, runs `whileHeld` (may be
// empty) and lets the thread go on. False, without `whileHeld`, when no window of `className`
// appeared or `ready` did not hold in time. Use it to look at a window that lives only a
// moment, for example in the state its first paint leaves on the screen.
bool StartAndHoldWindow(Process &process, const std::string &exePath, const std::string &arguments,
                        const char *className, const WindowCondition &ready,
                        const HeldWindowAction &whileHeld, WindowSnapshot *snapshot,
                        DWORD timeoutMs = kDefaultTimeoutMs);
// A condition: the window is visible and nothing of it waits to be painted (its paint has begun;
// what a paint draws reaches the screen only when the program flushes it, so screen checks still
// need to look at the screen).
bool IsShownAndValidated(HWND window);
// Where the client area's point (x, y) is on the screen.
POINT ClientToScreenPoint(HWND window, int x, int y);

// Waits until `window` is no longer a window (or no longer visible). True if it went in time.
bool WaitForWindowGone(HWND window, DWORD timeoutMs = kDefaultTimeoutMs);
// All visible top-level windows of a process, of `className` when given.
std::vector<HWND> TopLevelWindows(DWORD pid, const char *className = nullptr);
// The visible dialog of process `pid` that holds control `id`; null when there is none.
HWND FindDialogWith(DWORD pid, int id);
// Waits for such a dialog; null when none came in time.
HWND WaitForDialogWith(DWORD pid, int id, DWORD timeoutMs = kDefaultTimeoutMs);
// Waits until no visible dialog of the process holds control `id`. True if that came in time.
bool WaitForDialogGone(DWORD pid, int id, DWORD timeoutMs = kDefaultTimeoutMs);

std::string WindowText(HWND window);
std::string ClassName(HWND window);

// A dialog's control by id.
std::string ControlText(HWND dialog, int id);
bool ControlEnabled(HWND dialog, int id);
bool ControlVisible(HWND dialog, int id);
bool ControlChecked(HWND dialog, int id);
bool ControlExists(HWND dialog, int id);
void SetControlText(HWND dialog, int id, const std::string &text);
// Clicks a push button or check box the way a mouse click would (asynchronously: the click may
// open a modal dialog in the other process).
bool PressButton(HWND dialog, int id);
// Presses Escape in a dialog.
void PressEscape(HWND dialog);

enum class BoxIcon { None, Information, Warning, Error, Question, Unknown };

struct MessageBoxInfo {
    HWND window = nullptr;
    HWND owner = nullptr;
    std::string caption;
    std::string text;
    BoxIcon icon = BoxIcon::None;
    std::vector<int> buttons; // ids of the buttons present (IDOK, IDYES, ...)
    int defaultButton = 0;    // id of the default button
};

// Waits for a message box of process `pid` and reads it.
bool WaitForMessageBox(DWORD pid, MessageBoxInfo *box, DWORD timeoutMs = kDefaultTimeoutMs);
bool ReadMessageBox(HWND window, MessageBoxInfo *box);
// Answers a message box with the button `id` (IDOK, IDYES, IDNO, IDCANCEL, ...).
bool AnswerMessageBox(HWND window, int id);

const char *IconName(BoxIcon icon);

// The whole screen as the X server shows it (taken with ImageMagick's `import` on the Linux side,
// which Wine starts like any program).
using Screenshot = Pixels;
bool TakeScreenshot(Screenshot *shot);
// Saves the screen, or only `area` of it (screen coordinates), as a PNG file at a Linux path.
bool SaveScreenshot(const std::string &linuxPngPath, const RECT *area = nullptr);
// Runs a Linux program to its end (Wine starts ELF programs too); its exit code, -1 on failure.
int RunLinuxCommand(const std::string &commandLine, DWORD timeoutMs = kDefaultTimeoutMs);

} // namespace gui
