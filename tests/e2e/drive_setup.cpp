// Installs with the default answers, as a user clicking through the wizard would: Install,
// "I Accept", the proposed folder, Yes to its questions, Finish. Used by the main job when there
// is no display to click on. Prints what it saw; exits with the installer's exit code.
//
//   drive_setup SETUP.exe [--interactive]
//   drive_setup --uninstall SETUP.exe [--interactive]
//
// Before the run it registers the stand-in Excel (VNX_STANDIN_EXCEL) so that the add-in's
// registration has an Excel to talk to. With --interactive it only starts the program and waits
// for it: the user clicks. --uninstall runs the Control Panel's uninstall command of the
// installation that SETUP.exe made, answers Yes and OK, and prints what is left of it; it reads
// the registry view that SETUP.exe's size writes to (a 32-bit installer's records are in the
// 32-bit view, where a 64-bit Windows keeps them).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "resources/resource_ids.h"
#include "tests/guidriver/gui_driver.h"
#include "tests/standins/excel/standin_config.h"
#include "tests/support/registry.h"
#include "tests/support/registry_keys.h"
#include "tests/support/win_files.h"

namespace {

bool Press(DWORD pid, int dialogControl, int button, const char *what) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < 60000) {
        HWND dialog = gui::FindDialogWith(pid, dialogControl);
        if (dialog && gui::ControlEnabled(dialog, button)) {
            std::printf("drive_setup: %s\n", what);
            return gui::PressButton(dialog, button);
        }
        Sleep(50);
    }
    std::printf("drive_setup: gave up waiting for: %s\n", what);
    return false;
}

std::string RegistryText(REGSAM view, const char *key, const char *value) {
    HKEY handle;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ | view, &handle) != ERROR_SUCCESS)
        return "";
    char data[1024] = {};
    DWORD size = sizeof(data) - 1;
    const LONG rc = RegGetValueA(handle, nullptr, value, RRF_RT_REG_SZ, nullptr, data, &size);
    RegCloseKey(handle);
    return rc == ERROR_SUCCESS ? data : "";
}

// The Control Panel's uninstall command, answered Yes and OK (or left to the user).
int Uninstall(REGSAM view, bool interactive) {
    const std::string command = RegistryText(view, kUninstallKey, "UninstallString");
    const std::string folder = RegistryText(view, kUninstallKey, "InstallLocation");
    const size_t split = command.find("\" \"");
    if (command.size() < 4 || command[0] != '"' || split == std::string::npos) {
        std::printf("drive_setup: no uninstall command in the registry\n");
        return 1;
    }
    std::printf("drive_setup: Control Panel command: %s\n", command.c_str());
    gui::Process uninstall;
    if (!uninstall.Start(command.substr(1, split - 1), command.substr(split + 2))) {
        std::printf("drive_setup: cannot start the uninstaller\n");
        return 1;
    }
    // The boxes come from the uninstaller and from the copy of itself that does the work.
    while (!interactive && uninstall.IsRunning()) {
        gui::MessageBoxInfo box;
        if (!gui::WaitForMessageBox(0, &box, 200))
            continue;
        std::string text = box.text;
        std::replace(text.begin(), text.end(), '\n', ' ');
        const bool question =
            std::find(box.buttons.begin(), box.buttons.end(), IDYES) != box.buttons.end();
        std::printf("drive_setup: message \"%s\" -> %s\n", text.c_str(), question ? "Yes" : "OK");
        gui::AnswerMessageBox(box.window, question ? IDYES : IDOK);
        gui::WaitForWindowGone(box.window, 10000);
    }
    const int code = uninstall.WaitForExit(INFINITE);
    std::printf("drive_setup: Uninstall.exe exit code %d\n", code);
    // The copy removes the uninstaller's own file and the folder once the original has ended.
    for (int i = 0; i < 100 && GetFileAttributesA(folder.c_str()) != INVALID_FILE_ATTRIBUTES; ++i)
        Sleep(100);
    std::printf("drive_setup: %s: %s\n", folder.c_str(),
                GetFileAttributesA(folder.c_str()) == INVALID_FILE_ATTRIBUTES ? "gone"
                                                                              : "still there");
    std::printf("drive_setup: Control Panel entry: %s\n",
                KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey, view) ? "still there" : "gone");
    std::printf("drive_setup: install information: %s\n",
                KeyExists(HKEY_LOCAL_MACHINE, kInfoKey, view) ? "still there" : "gone");
    return code;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: drive_setup SETUP.exe [--interactive]\n"
                             "       drive_setup --uninstall SETUP.exe [--interactive]\n");
        return 2;
    }
    standin::Options excel;
    if (!standin::ExePathFromEnvironment().empty() && standin::Install(excel))
        std::printf("drive_setup: Excel is played by the stand-in automation server\n");
    if (std::strcmp(argv[1], "--uninstall") == 0) {
        const REGSAM view = argc > 2 ? RegistryViewOf(argv[2]) : 0;
        if (!view) {
            std::fprintf(stderr, "drive_setup: --uninstall needs the installer that installed\n");
            return 2;
        }
        return Uninstall(view, argc > 3 && std::strcmp(argv[3], "--interactive") == 0);
    }
    gui::Process setup;
    if (!setup.Start(argv[1], "")) {
        std::fprintf(stderr, "drive_setup: cannot start %s\n", argv[1]);
        return 1;
    }
    if (argc > 2 && std::strcmp(argv[2], "--interactive") == 0) {
        const int code = setup.WaitForExit(INFINITE);
        return code;
    }
    const DWORD pid = setup.Id();
    if (!Press(pid, IDC_WELCOME_TEXT, IDOK, "Welcome: Install") ||
        !Press(pid, IDC_ACCEPT_BOX, IDC_ACCEPT_BOX, "Agreement: I Accept") ||
        !Press(pid, IDC_ACCEPT_BOX, IDOK, "Agreement: Continue"))
        return 1;
    if (HWND folder = gui::WaitForDialogWith(pid, IDC_FOLDER_EDIT, 30000))
        std::printf("drive_setup: folder %s\n", gui::ControlText(folder, IDC_FOLDER_EDIT).c_str());
    if (!Press(pid, IDC_FOLDER_EDIT, IDOK, "Folder: OK"))
        return 1;
    // Questions and warnings until the run ends at the finish dialog or without it.
    while (setup.IsRunning()) {
        gui::MessageBoxInfo box;
        if (gui::WaitForMessageBox(pid, &box, 200)) {
            std::string text = box.text;
            for (char &c : text)
                c = c == '\n' ? ' ' : c;
            const bool question =
                std::find(box.buttons.begin(), box.buttons.end(), IDYES) != box.buttons.end();
            std::printf("drive_setup: message \"%s\" -> %s\n", text.c_str(),
                        question ? "Yes" : "OK");
            gui::AnswerMessageBox(box.window, question ? IDYES : IDOK);
            gui::WaitForWindowGone(box.window, 10000);
            continue;
        }
        if (HWND finish = gui::FindDialogWith(pid, IDC_FINISH_CHECK)) {
            if (gui::ControlChecked(finish, IDC_FINISH_CHECK))
                gui::PressButton(finish, IDC_FINISH_CHECK); // no browser for the release notes here
            Sleep(200);
            std::printf("drive_setup: Finish\n");
            gui::PressButton(finish, IDOK);
            gui::WaitForWindowGone(finish, 10000);
        }
    }
    const int code = setup.WaitForExit();
    std::printf("drive_setup: Setup.exe exit code %d\n", code);
    return code;
}
