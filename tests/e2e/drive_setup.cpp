// Installs with the default answers, as a user clicking through the wizard would: Install,
// "I Accept", the proposed folder, Yes to its questions, Finish. Used by the main job when there
// is no display to click on. Prints what it saw; exits with the installer's exit code.
//
//   drive_setup SETUP.exe [--interactive]
//
// Before the run it registers the stand-in Excel (VNX_STANDIN_EXCEL) so that the add-in's
// registration has an Excel to talk to. With --interactive it only starts the installer and
// waits for it: the user clicks.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "resources/resource_ids.h"
#include "tests/guidriver/gui_driver.h"
#include "tests/standins/excel/standin_config.h"

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

} // namespace

int main(int argc, char **argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: drive_setup SETUP.exe [--interactive]\n");
        return 2;
    }
    standin::Options excel;
    if (!standin::ExePathFromEnvironment().empty() && standin::Install(excel))
        std::printf("drive_setup: Excel is played by the stand-in automation server\n");
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
