// The installer's start-up, driven from outside: command line, main window, install log and the
// previous installation found in the registry.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "regaddin/regaddin.h"
#include "resources/resource_ids.h"
#include "tests/guidriver/gui_driver.h"
#include "tests/support/environment.h"
#include "tests/support/make_folder.h"
#include "tests/support/text_files.h"
#include "tests/support/win_files.h"

namespace {

const char kCaption[] = "Varnex Spreadsheet Add-In - Installer";
const char kDefaultFolder[] = "C:\\Program Files\\Varnok\\VarnexAddin";
const char kMainClass[] = "VarnexSpreadsheetAddInInstallerClass";

std::string SetupExe() {
    return EnvPath("VNX_SETUP_EXE");
}

// The wizard's first dialog, the welcome dialog: Cancel on it ends the run silently, through the
// finishing step and the clean-up.
void CancelAtWelcome(gui::Process &setup) {
    HWND welcome = gui::WaitForDialogWith(setup.Id(), IDC_WELCOME_TEXT);
    ASSERT_NE(welcome, nullptr) << "no welcome dialog";
    EXPECT_TRUE(gui::PressButton(welcome, IDCANCEL));
}

// Runs the installer with `arguments`, expects one message box and answers it with OK.
gui::MessageBoxInfo RunToMessageBox(const std::string &arguments, int *exitCode,
                                    const std::string &exe = SetupExe()) {
    gui::Process setup;
    EXPECT_TRUE(setup.Start(exe, arguments));
    gui::MessageBoxInfo box;
    EXPECT_TRUE(gui::WaitForMessageBox(setup.Id(), &box))
        << "no message box for '" << arguments << "'";
    EXPECT_TRUE(gui::TopLevelWindows(setup.Id(), kMainClass).empty())
        << "no main window before the command line is accepted";
    gui::AnswerMessageBox(box.window, IDOK);
    *exitCode = setup.WaitForExit();
    return box;
}

// The current folder of a process of this one's size, read from its process parameters (the
// documented structure hides the field: its offset is the layout's own).
std::string CurrentFolderOf(DWORD pid) {
    using Query = LONG(WINAPI *)(HANDLE, int, void *, ULONG, ULONG *);
    const auto query = reinterpret_cast<Query>(reinterpret_cast<void *>(
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationProcess")));
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    struct {
        void *reserved1;
        void *peb;
        void *reserved2[4];
    } basic = {};
    std::string folder;
    void *parameters = nullptr;
    struct {
        USHORT length, maximum;
        WCHAR *buffer;
    } dosPath = {};
    const size_t parametersAt = sizeof(void *) == 8 ? 0x20 : 0x10;    // in the PEB
    const size_t currentFolderAt = sizeof(void *) == 8 ? 0x38 : 0x24; // in the parameters
    if (process && query && query(process, 0, &basic, sizeof(basic), nullptr) == 0 &&
        ReadProcessMemory(process, static_cast<char *>(basic.peb) + parametersAt, &parameters,
                          sizeof(parameters), nullptr) &&
        ReadProcessMemory(process, static_cast<char *>(parameters) + currentFolderAt, &dosPath,
                          sizeof(dosPath), nullptr)) {
        std::wstring wide(dosPath.length / 2, L'\0');
        if (ReadProcessMemory(process, dosPath.buffer, &wide[0], dosPath.length, nullptr))
            for (wchar_t c : wide)
                folder += char(c);
    }
    if (process)
        CloseHandle(process);
    return folder;
}

// Runs first, before any case below makes the default folder.
TEST(StartupWithoutFolder, MissingLogFolderLeavesNoLogAndTheRunIsUnaffected) {
    ASSERT_FALSE(PathExists(kDefaultFolder))
        << "this case needs a prefix without the default folder";
    gui::Process setup;
    ASSERT_TRUE(setup.Start(SetupExe(), ""));
    // Started from this test's folder, it works from the system folder: nothing it or what it
    // starts looks for by a relative name comes from the folder it was started from.
    ASSERT_NE(gui::WaitForDialogWith(setup.Id(), IDC_WELCOME_TEXT), nullptr);
    char system[MAX_PATH] = {}, here[MAX_PATH] = {};
    GetSystemDirectoryA(system, sizeof(system));
    GetCurrentDirectoryA(sizeof(here), here);
    ASSERT_STRNE(here, system);
    EXPECT_EQ(CurrentFolderOf(setup.Id()), std::string(system) + "\\");
    CancelAtWelcome(setup);
    EXPECT_EQ(setup.WaitForExit(), 0);
    EXPECT_FALSE(PathExists(kDefaultFolder));
}

class StartupTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(MakeFolder(kDefaultFolder)) << kDefaultFolder;
        DeleteFileA(DefaultLog().c_str());
    }
    std::string DefaultLog() const { return std::string(kDefaultFolder) + "\\install.log"; }
};

TEST_F(StartupTest, VersionSwitchShowsTheVersionBox) {
    for (const char *argument : {"-v", "-V"}) {
        int exitCode = 0;
        const gui::MessageBoxInfo box = RunToMessageBox(argument, &exitCode);
        EXPECT_EQ(box.caption, std::string(kCaption) + "  (v1.7)");
        EXPECT_EQ(box.text, "Version " + Env("VNX_PRODUCT_VERSION") + "  (build " +
                                Env("VNX_PRODUCT_BUILD") + "  -  " + Env("VNX_BUILD_DATE") +
                                ")\n\nCopyright (C) 2014-2026 Varnok Ltd.");
        EXPECT_EQ(box.icon, gui::BoxIcon::Information) << gui::IconName(box.icon);
        EXPECT_EQ(box.buttons, std::vector<int>{IDOK});
        EXPECT_EQ(box.owner, nullptr);
        EXPECT_EQ(exitCode, 1);
    }
    EXPECT_FALSE(PathExists(DefaultLog())) << "the version box is shown before any log exists";
}

TEST_F(StartupTest, AnyOtherOptionIsRefused) {
    for (const char *argument : {"-x", "-v ", "/v", "-t ", "/tt", "hello world"}) {
        int exitCode = 0;
        const gui::MessageBoxInfo box = RunToMessageBox(argument, &exitCode);
        EXPECT_EQ(box.caption, kCaption) << argument;
        EXPECT_EQ(box.text, "Invalid command line option!") << argument;
        EXPECT_EQ(box.icon, gui::BoxIcon::Error) << gui::IconName(box.icon);
        EXPECT_EQ(exitCode, 1) << argument;
    }
    EXPECT_FALSE(PathExists(DefaultLog()));
}

TEST_F(StartupTest, PlainStartShowsTheCentredMainWindowAndLogsTheRun) {
    gui::PaintHold hold;
    ASSERT_TRUE(hold.Arm(kMainClass));
    gui::Process setup;
    ASSERT_TRUE(setup.Start(SetupExe(), ""));
    HWND held = hold.WaitPainted();
    ASSERT_NE(held, nullptr);
    const gui::WindowSnapshot window = gui::Snapshot(held);
    const ULONG_PTR classStyle = GetClassLongPtrA(held, GCL_STYLE);
    hold.Release();
    CancelAtWelcome(setup);
    const int width = window.rect.right - window.rect.left;
    const int height = window.rect.bottom - window.rect.top;
    EXPECT_EQ(window.caption, kCaption);
    EXPECT_EQ(classStyle, 0x223u) << "CS_VREDRAW | CS_HREDRAW | CS_OWNDC | CS_NOCLOSE";
    EXPECT_EQ(window.rect.left, GetSystemMetrics(SM_CXSCREEN) / 2 - width / 2);
    EXPECT_EQ(window.rect.top, GetSystemMetrics(SM_CYSCREEN) / 2 - height / 2 - 15);
    EXPECT_GE(width, 110);
    EXPECT_EQ(window.style & (WS_CAPTION | WS_POPUP), WS_POPUP);
    EXPECT_EQ(window.exStyle & (WS_EX_DLGMODALFRAME | WS_EX_STATICEDGE | WS_EX_APPWINDOW),
              WS_EX_DLGMODALFRAME | WS_EX_STATICEDGE | WS_EX_APPWINDOW);
    EXPECT_EQ(setup.WaitForExit(), 0);

    const std::string log = ReadFileText(DefaultLog());
    const size_t header =
        log.find("Installing Addin version " + Env("VNX_PRODUCT_BUILD") + "\r\n\r\n");
    const size_t kobal = log.find("Kobal Installer 1.7\r\nNo previous install info found.\r\n");
    const size_t exit = log.find("* Exit Install\r\n");
    EXPECT_EQ(log.find("Installation Cancelled"), std::string::npos)
        << "cancel at welcome is silent";
    ASSERT_NE(header, std::string::npos) << log;
    ASSERT_NE(kobal, std::string::npos) << log;
    ASSERT_NE(exit, std::string::npos) << log;
    EXPECT_LT(header, kobal);
    EXPECT_LT(kobal, exit);
    EXPECT_EQ(log.size(), exit + std::string("* Exit Install\r\n").size());
}

TEST_F(StartupTest, PreviousInstallationIsLoggedAndItsFolderHoldsTheLog) {
    const std::string previousFolder = "C:\\Tools\\Varnex Old";
    ASSERT_TRUE(MakeFolder(previousFolder)) << previousFolder;
    installinfo_tag info = {};
    lstrcpynA(info.installDir, previousFolder.c_str(), sizeof(info.installDir));
    lstrcpynA(info.version, "2.3", sizeof(info.version));
    lstrcpynA(info.build, "2.3.0.101", sizeof(info.build));
    char key[] = "SpreadsheetAddin";
    ASSERT_EQ(RegAddin_SetInstallInfo(key, &info), 1);

    gui::Process setup;
    ASSERT_TRUE(setup.Start(SetupExe(), ""));
    CancelAtWelcome(setup);
    EXPECT_EQ(setup.WaitForExit(), 0);
    const std::string log = ReadFileText(previousFolder + "\\install.log");
    EXPECT_NE(log.find("Kobal Installer 1.7\r\nPrevious build 2.3.0.101 (ver 2.3) found at "
                       "C:\\Tools\\Varnex Old\r\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("* Exit Install\r\n"), std::string::npos);
    EXPECT_FALSE(PathExists(DefaultLog())) << "the log follows the previous installation's folder";
    ASSERT_EQ(RegAddin_RemoveInstallInfo(key), 1);
}

TEST_F(StartupTest, RecordWithAnEmptyFolderCountsAsNoPreviousInstallation) {
    installinfo_tag info = {};
    lstrcpynA(info.version, "2.3", sizeof(info.version));
    char key[] = "SpreadsheetAddin";
    ASSERT_EQ(RegAddin_SetInstallInfo(key, &info), 1);
    gui::Process setup;
    ASSERT_TRUE(setup.Start(SetupExe(), ""));
    CancelAtWelcome(setup);
    EXPECT_EQ(setup.WaitForExit(), 0);
    EXPECT_NE(ReadFileText(DefaultLog()).find("No previous install info found."),
              std::string::npos);
    ASSERT_EQ(RegAddin_RemoveInstallInfo(key), 1);
}

// Copies of the installer: one payload byte changed at the start, the middle or the end of the
// resource; one byte changed outside it; the checksum resource taken out.
class DamagedInstaller : public StartupTest {
protected:
    void SetUp() override {
        StartupTest::SetUp();
        exe_ = ReadFileBytes(SetupExe());
        payload_ = ReadFileBytes(EnvPath("VNX_PAYLOAD"));
        const auto at = std::search(exe_.begin(), exe_.end(), payload_.begin(), payload_.end());
        ASSERT_NE(at, exe_.end()) << "the payload is not inside the installer";
        payloadAt_ = size_t(at - exe_.begin());
        ASSERT_TRUE(MakeFolder("C:\\Copies"));
    }
    std::string Copy(const std::string &name, size_t flip) const {
        std::vector<uint8_t> bytes = exe_;
        if (flip < bytes.size())
            bytes[flip] ^= 0x01;
        const std::string path = "C:\\Copies\\" + name + ".exe";
        EXPECT_TRUE(WriteFileText(path, std::string(bytes.begin(), bytes.end())));
        return path;
    }
    // The copy runs as usual: its welcome dialog comes.
    void ExpectRuns(const std::string &path) {
        gui::Process setup;
        ASSERT_TRUE(setup.Start(path, ""));
        CancelAtWelcome(setup);
        EXPECT_EQ(setup.WaitForExit(), 0) << path;
    }
    std::vector<uint8_t> exe_, payload_;
    size_t payloadAt_ = 0;
};

TEST_F(DamagedInstaller, OneChangedPayloadByteRefusesToRunAndWritesNothing) {
    for (size_t offset : {size_t(0), payload_.size() / 2, payload_.size() - 1}) {
        int exitCode = 0;
        const gui::MessageBoxInfo box =
            RunToMessageBox("", &exitCode, Copy("damaged", payloadAt_ + offset));
        EXPECT_EQ(exitCode, 1) << offset;
        EXPECT_EQ(box.text.rfind("The installer is damaged", 0), 0u) << box.text;
        EXPECT_NE(box.text.find("download the installer again"), std::string::npos) << box.text;
        EXPECT_EQ(box.icon, gui::BoxIcon::Error);
        EXPECT_EQ(box.caption, kCaption);
    }
    EXPECT_FALSE(PathExists(DefaultLog())) << "no log";
    char key[] = "SpreadsheetAddin";
    installinfo_tag info = {};
    EXPECT_EQ(RegAddin_GetInstallInfo(key, &info), 0) << "no registry record";
}

TEST_F(DamagedInstaller, AByteOutsideThePayloadRunsAsBefore) {
    // The DOS stub's text: a change there is for a signature to catch, not for this check.
    const std::string stub = "This program cannot be run in DOS mode";
    const auto at = std::search(exe_.begin(), exe_.end(), stub.begin(), stub.end());
    ASSERT_NE(at, exe_.end());
    ExpectRuns(Copy("outside", size_t(at - exe_.begin()) + 5));
}

TEST_F(DamagedInstaller, NoChecksumRefusesToRunAndWritesNothing) {
    // The checksum resource taken out: the resource directory's entry for id 106, right after
    // 105's, renamed to 107. The build never makes such a file, so its payload is not trusted.
    std::vector<uint8_t> bytes = exe_;
    const uint8_t entries[] = {IDR_PAYLOAD, 0, 0, 0};
    size_t renamed = 0;
    for (size_t i = 0; i + 12 <= bytes.size(); ++i) {
        if (std::equal(entries, entries + 4, bytes.begin() + long(i)) && (bytes[i + 7] & 0x80) &&
            bytes[i + 8] == IDR_PAYLOAD_CHECKSUM && bytes[i + 9] == 0 && bytes[i + 10] == 0 &&
            bytes[i + 11] == 0) {
            bytes[i + 8] = IDR_PAYLOAD_CHECKSUM + 1;
            ++renamed;
        }
    }
    ASSERT_EQ(renamed, 1u);
    const std::string plain = "C:\\Copies\\unchecked.exe";
    ASSERT_TRUE(WriteFileText(plain, std::string(bytes.begin(), bytes.end())));
    HMODULE module = LoadLibraryExA(plain.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(FindResourceA(module, MAKEINTRESOURCEA(IDR_PAYLOAD_CHECKSUM), "TESTDATA"), nullptr);
    EXPECT_NE(FindResourceA(module, MAKEINTRESOURCEA(IDR_PAYLOAD), "TESTDATA"), nullptr);
    FreeLibrary(module);
    int exitCode = 0;
    const gui::MessageBoxInfo box = RunToMessageBox("", &exitCode, plain);
    EXPECT_EQ(exitCode, 1);
    EXPECT_EQ(box.text, "The installer is damaged: the checksum of the product it carries is "
                        "missing, so nothing was installed.\n\nPlease download the installer "
                        "again.");
    EXPECT_EQ(box.icon, gui::BoxIcon::Error);
    EXPECT_FALSE(PathExists(DefaultLog())) << "no log";
}

} // namespace
