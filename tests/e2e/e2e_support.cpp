#include "tests/e2e/e2e_support.h"

#include <gtest/gtest.h>

#include "regaddin/regaddin.h"

namespace e2e {

void AcceptWelcome(const gui::Process &setup) {
    HWND welcome = WaitForDialog(setup.Id(), IDC_WELCOME_TEXT);
    ASSERT_NE(welcome, nullptr) << "no welcome dialog";
    ASSERT_TRUE(gui::PressButton(welcome, IDOK));
    ASSERT_TRUE(WaitForDialogGone(setup.Id(), IDC_WELCOME_TEXT));
}

void AcceptAgreement(const gui::Process &setup) {
    HWND agreement = WaitForDialog(setup.Id(), IDC_ACCEPT_BOX);
    ASSERT_NE(agreement, nullptr) << "no agreement dialog";
    EXPECT_FALSE(gui::ControlEnabled(agreement, IDOK)) << "Continue starts disabled";
    ASSERT_TRUE(gui::PressButton(agreement, IDC_ACCEPT_BOX));
    const DWORD start = GetTickCount();
    while (!gui::ControlEnabled(agreement, IDOK) && GetTickCount() - start < 5000)
        Sleep(20);
    ASSERT_TRUE(gui::PressButton(agreement, IDOK));
    ASSERT_TRUE(WaitForDialogGone(setup.Id(), IDC_ACCEPT_BOX));
}

HWND EnterFolder(const gui::Process &setup, const std::string &folder) {
    HWND dialog = WaitForDialog(setup.Id(), IDC_FOLDER_EDIT);
    EXPECT_NE(dialog, nullptr) << "no destination-folder dialog";
    if (!dialog)
        return nullptr;
    gui::SetControlText(dialog, IDC_FOLDER_EDIT, folder);
    gui::PressButton(dialog, IDOK);
    return dialog;
}

int InstallIntoNewFolder(const std::string &exe, const char *arguments, const std::string &folder,
                         DWORD finishTimeoutMs) {
    gui::Process setup;
    EXPECT_TRUE(setup.Start(exe, arguments));
    AcceptWelcome(setup);
    AcceptAgreement(setup);
    EnterFolder(setup, folder);
    Answer(setup, IDYES, "Folder does not exist. Create it?");
    return FinishUnticked(setup, finishTimeoutMs);
}

int FinishUnticked(gui::Process &setup, DWORD finishTimeoutMs) {
    HWND finish = WaitForDialog(setup.Id(), IDC_FINISH_CHECK, finishTimeoutMs);
    EXPECT_NE(finish, nullptr) << "no finish dialog";
    if (!finish)
        return -1;
    gui::PressButton(finish, IDC_FINISH_CHECK);
    Sleep(200);
    gui::PressButton(finish, IDOK);
    return setup.WaitForExit(60000);
}

gui::MessageBoxInfo Answer(const gui::Process &setup, int answer, const char *text) {
    gui::MessageBoxInfo box;
    EXPECT_TRUE(gui::WaitForMessageBox(setup.Id(), &box, 30000))
        << "no message box" << (text ? std::string(": expected ") + text : std::string());
    if (!box.window)
        return box;
    EXPECT_EQ(box.caption, kCaption);
    if (text) {
        EXPECT_EQ(box.text, text);
    }
    EXPECT_TRUE(gui::AnswerMessageBox(box.window, answer));
    gui::WaitForWindowGone(box.window, 10000);
    return box;
}

std::string MissingInOrder(const std::vector<std::string> &lines,
                           const std::vector<std::string> &expected) {
    size_t at = 0;
    for (const std::string &line : expected) {
        while (at < lines.size() && lines[at] != line)
            ++at;
        if (at == lines.size())
            return line;
        ++at;
    }
    return {};
}

bool Contains(const std::vector<std::string> &lines, const std::string &line) {
    for (const std::string &l : lines) {
        if (l == line)
            return true;
    }
    return false;
}

HWND ShowExcelWindow() {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "XLMain";
    RegisterClassA(&windowClass);
    return CreateWindowA("XLMain", "Excel", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                         windowClass.hInstance, nullptr);
}

std::string ReadRegistryText(HKEY root, const char *key, const char *value) {
    char data[2048] = {};
    DWORD size = sizeof(data) - 1;
    if (RegGetValueA(root, key, value, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr,
                     data, &size) != ERROR_SUCCESS)
        return {};
    return data;
}

void SaveShot(const char *name) {
    const std::string dir = Env("VNX_SCREENSHOT_DIR");
    if (!dir.empty()) {
        Sleep(300); // let the dialog finish painting
        gui::SaveScreenshot(dir + "/" + name + ".png");
    }
}

} // namespace e2e
