#include "app/message_boxes.h"

#include "app/installer_state.h"
#include "archive/install_log.h"
#include "resources/resource_ids.h"

// These helpers reach the run state directly: LogLine is the registration library's log callback,
// which carries no context, and every box is logged through the same log.

namespace {

void LogNote(const char *text) {
    if (g_state.log)
        g_state.log->WriteNote(text);
}

} // namespace

void LogLine(const char *text) {
    if (g_state.log)
        g_state.log->WriteLine(text);
}

int Ask(HWND owner, const char *text, UINT buttonsAndIcon, UINT extraFlags) {
    LogNote(text);
    return MessageBoxA(owner, text, g_state.ProductString(IDS_CAPTION),
                       buttonsAndIcon | extraFlags);
}

void ShowWarning(HWND owner, const char *text) {
    Ask(owner, text, MB_OK | MB_ICONWARNING, 0);
}

void Warn(const char *text) {
    ShowWarning(g_state.mainWindow, text);
}

int AskYesNo(HWND owner, const char *text, UINT extraFlags) {
    return Ask(owner, text, MB_YESNO | MB_ICONQUESTION, extraFlags);
}

int AskOkCancel(HWND owner, const char *text, UINT extraFlags) {
    return Ask(owner, text, MB_OKCANCEL | MB_ICONQUESTION, extraFlags);
}

int AskYesNoMain(const char *text) {
    return AskYesNo(g_state.mainWindow, text, 0);
}
