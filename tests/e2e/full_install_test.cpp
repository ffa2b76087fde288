// A complete interactive installation of a generated product of 805 files in 46 folders, then
// an upgrade over it, a third run, and the uninstallation through the Control Panel's command,
// after which the machine must be as it was. Driven through the wizard against the stand-in
// Excel. The cases run in order on one prefix: each one starts from what the one before left.
#include <gtest/gtest.h>
#include <windows.h>
#include <exdisp.h>
#include <shlguid.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>

#include "regaddin/regaddin.h"
#include "tests/e2e/e2e_support.h"
#include "tests/standins/excel/standin_config.h"

namespace {

// Holds the desktop shell's window list (the shell's server) for as long as it lives.
class DesktopShellHold {
public:
    DesktopShellHold() {
        // No messages are pumped here: a multithreaded apartment needs none.
        const HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        com_ = SUCCEEDED(init);
        if (com_ || init == RPC_E_CHANGED_MODE)
            CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows,
                             reinterpret_cast<void **>(&windows_));
    }
    ~DesktopShellHold() {
        if (windows_)
            windows_->Release();
        if (com_)
            CoUninitialize();
    }
    DesktopShellHold(const DesktopShellHold &) = delete;
    DesktopShellHold &operator=(const DesktopShellHold &) = delete;
    bool Held() const { return windows_ != nullptr; }

private:
    bool com_ = false;
    IShellWindows *windows_ = nullptr;
};

using namespace e2e;

const char kTarget[] = "C:\\Varnex Test\\Target";
const char kJournal[] = "C:\\excel-journal.txt";

std::string SetupExe() {
    return EnvPath("VNX_SETUP_FULL_EXE");
}

struct FileFacts {
    std::string bytes;
    FILETIME written = {};
};

// Every file below `root`, by its path relative to it.
void Collect(const std::string &root, const std::string &relative,
             std::map<std::string, FileFacts> *files, std::set<std::string> *folders) {
    WIN32_FIND_DATAA found;
    const std::string folder = relative.empty() ? root : root + "\\" + relative;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..")
            continue;
        const std::string path = relative.empty() ? name : relative + "\\" + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            folders->insert(path);
            Collect(root, path, files, folders);
        } else {
            FileFacts facts;
            facts.bytes = ReadFileText(root + "\\" + path);
            facts.written = found.ftLastWriteTime;
            (*files)[path] = facts;
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

// Runs the wizard to the progress dialog for `folder`, answering the folder question(s) with
// `answers` in order.
void RunToProgress(gui::Process &setup, const char *arguments, const std::string &folder,
                   std::vector<std::pair<int, std::string>> answers) {
    ASSERT_TRUE(setup.Start(SetupExe(), arguments));
    AcceptWelcome(setup);
    AcceptAgreement(setup);
    EnterFolder(setup, folder);
    for (const auto &answer : answers)
        Answer(setup, answer.first, answer.second.empty() ? nullptr : answer.second.c_str());
}

// Watches the progress dialog until the finish dialog appears; returns the step captions seen.
std::vector<std::string> WatchProgress(const gui::Process &setup, HWND *finish) {
    std::vector<std::string> captions;
    HWND progress = WaitForDialog(setup.Id(), IDC_PROGRESS_BAR);
    EXPECT_NE(progress, nullptr);
    const DWORD start = GetTickCount();
    *finish = nullptr;
    while (!*finish && GetTickCount() - start < 240000) {
        if (progress && IsWindow(progress)) {
            // Read without a message: the dialog's thread is busy while Excel is driven.
            const std::string caption =
                gui::Snapshot(GetDlgItem(progress, IDC_STEP_CAPTION)).caption + " | " +
                gui::Snapshot(GetDlgItem(progress, IDC_STEP_TEXT)).caption;
            if (caption != " | " && (captions.empty() || captions.back() != caption))
                captions.push_back(caption);
        }
        *finish = WaitForDialog(setup.Id(), IDC_FINISH_CHECK, 0);
        Sleep(5);
    }
    return captions;
}

// The machine as the tests see it: every file and folder of drive C: (with file sizes) and every
// registry value below the keys the installer and the uninstaller write to.
struct MachineState {
    std::set<std::string> files;
    std::set<std::string> registry;
};

// The registry as it is stored, whatever this program's size: the 64-bit view holds the 32-bit
// one under WOW6432Node.
void CollectRegistry(HKEY root, const std::string &name, const std::string &path,
                     std::set<std::string> *out) {
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS)
        return;
    out->insert(name + "\\" + path);
    char valueName[16384];
    std::vector<BYTE> data(65536);
    for (DWORD i = 0;; ++i) {
        DWORD nameSize = sizeof(valueName), dataSize = DWORD(data.size()), type = 0;
        if (RegEnumValueA(key, i, valueName, &nameSize, nullptr, &type, data.data(), &dataSize) !=
            ERROR_SUCCESS)
            break;
        out->insert(name + "\\" + path + " : " + valueName + " = " + std::to_string(type) + ":" +
                    std::string(reinterpret_cast<char *>(data.data()), dataSize));
    }
    std::vector<std::string> subkeys;
    for (DWORD i = 0;; ++i) {
        DWORD nameSize = sizeof(valueName);
        if (RegEnumKeyExA(key, i, valueName, &nameSize, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        subkeys.push_back(valueName);
    }
    RegCloseKey(key);
    for (const std::string &sub : subkeys)
        CollectRegistry(root, name, path.empty() ? sub : path + "\\" + sub, out);
}

// Whether HKEY_LOCAL_MACHINE holds `path` as stored (seen through the 64-bit view).
bool KeyStored(const std::string &path) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &key) !=
        ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// Files with their sizes and folders below `root`, by path relative to drive C:. Wine's own
// C:\windows is not walked: it is Wine's bookkeeping, not the installer's.
void CollectNames(const std::string &relative, std::set<std::string> *out) {
    WIN32_FIND_DATAA found;
    HANDLE search =
        FindFirstFileA(("C:\\" + relative + (relative.empty() ? "*" : "\\*")).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::string name = found.cFileName;
        if (name == "." || name == ".." || (relative.empty() && name == "windows"))
            continue;
        const std::string path = relative.empty() ? name : relative + "\\" + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            out->insert(path);
            CollectNames(path, out);
        } else {
            const uint64_t size = uint64_t(found.nFileSizeHigh) << 32 | found.nFileSizeLow;
            out->insert(path + " (" + std::to_string(size) + ")");
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

MachineState TakeMachineState() {
    MachineState state;
    CollectNames("", &state.files);
    CollectRegistry(HKEY_LOCAL_MACHINE, "HKLM", "SOFTWARE", &state.registry);
    CollectRegistry(HKEY_LOCAL_MACHINE, "HKLM",
                    "SYSTEM\\CurrentControlSet\\Control\\Session Manager", &state.registry);
    CollectRegistry(HKEY_CURRENT_USER, "HKCU", "Software", &state.registry);
    return state;
}

// What differs between two states, but for what is allowed to.
std::vector<std::string> Differences(const std::set<std::string> &before,
                                     const std::set<std::string> &after,
                                     const std::vector<std::string> &allowed) {
    std::vector<std::string> differences;
    auto note = [&](const std::string &sign, const std::string &entry) {
        for (const std::string &prefix : allowed)
            if (entry.rfind(prefix, 0) == 0)
                return;
        differences.push_back(sign + entry);
    };
    for (const std::string &entry : before)
        if (!after.count(entry))
            note("- ", entry);
    for (const std::string &entry : after)
        if (!before.count(entry))
            note("+ ", entry);
    return differences;
}

MachineState g_beforeInstallation;

// Sets the default value of HKLM\SOFTWARE\Classes\`key` in one registry view; null deletes the
// key with what it holds.
bool SetClassText(const std::string &key, const char *text, REGSAM view) {
    const std::string path = "SOFTWARE\\Classes\\" + key;
    if (!text)
        return RegDeleteTreeA(HKEY_LOCAL_MACHINE, path.c_str()) == ERROR_SUCCESS &&
               RegDeleteKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), view, 0) == ERROR_SUCCESS;
    HKEY handle = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view,
                        nullptr, &handle, nullptr) != ERROR_SUCCESS)
        return false;
    const bool ok = RegSetValueExA(handle, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE *>(text),
                                   DWORD(std::strlen(text) + 1)) == ERROR_SUCCESS;
    RegCloseKey(handle);
    return ok;
}

// Opens ".htm" files with `command` (a progid of the test's own, in both registry views: the
// installer and the desktop's shell may be of either size); null takes it away again. The
// prefix has no ".htm" of its own.
bool RegisterNotesViewer(const char *command) {
    bool ok = true;
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
        if (command) {
            ok = SetClassText(".htm", "VnxNotesViewer", view) &&
                 SetClassText("VnxNotesViewer\\shell\\open\\command", command, view) && ok;
        } else {
            SetClassText(".htm", nullptr, view);
            SetClassText("VnxNotesViewer", nullptr, view);
        }
    }
    return ok;
}

TEST(FullInstallation, FirstInstallationIntoANewFolder) {
    ASSERT_TRUE(MakeFolder(kDefaultFolder)) << "the log lives in the folder known at start-up";
    ASSERT_TRUE(MakeFolder("C:\\Varnex Test"));
    standin::Options excel;
    excel.journal = kJournal;
    ASSERT_EQ(standin::Install(excel), 1);
    ASSERT_FALSE(PathExists(kTarget));
    // Excel's own settings key, as a machine with Excel has it.
    HKEY options;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, standin::OptionsKeyPath("12.0").c_str(), 0,
                              nullptr, 0, KEY_WRITE, nullptr, &options, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(options);
    g_beforeInstallation = TakeMachineState();

    gui::Process setup;
    ASSERT_TRUE(setup.Start(SetupExe(), ""));
    HWND welcome = WaitForDialog(setup.Id(), IDC_WELCOME_TEXT);
    ASSERT_NE(welcome, nullptr);
    EXPECT_NE(gui::ControlText(welcome, IDC_WELCOME_TEXT)
                  .find("Version " + Env("VNX_PRODUCT_VERSION") + "   -   Rel " +
                        Env("VNX_PRODUCT_BUILD") + "   (built "),
              std::string::npos)
        << gui::ControlText(welcome, IDC_WELCOME_TEXT);
    SaveShot("wizard_1_welcome");
    AcceptWelcome(setup);
    ASSERT_NE(WaitForDialog(setup.Id(), IDC_ACCEPT_BOX), nullptr);
    SaveShot("wizard_2_agreement");
    AcceptAgreement(setup);
    HWND folder = WaitForDialog(setup.Id(), IDC_FOLDER_EDIT);
    ASSERT_NE(folder, nullptr);
    EXPECT_EQ(gui::ControlText(folder, IDC_FOLDER_EDIT), kDefaultFolder);
    SaveShot("wizard_3_folder");
    EnterFolder(setup, kTarget);
    const gui::MessageBoxInfo create = Answer(setup, IDYES, "Folder does not exist. Create it?");
    EXPECT_EQ(create.icon, gui::BoxIcon::Question) << gui::IconName(create.icon);
    EXPECT_EQ(create.defaultButton, IDNO);

    ASSERT_NE(WaitForDialog(setup.Id(), IDC_PROGRESS_BAR), nullptr);
    SaveShot("wizard_4_progress");
    HWND finish = nullptr;
    const std::vector<std::string> captions = WatchProgress(setup, &finish);
    ASSERT_NE(finish, nullptr) << "no finish dialog";
    EXPECT_EQ(gui::ControlText(finish, IDC_STEP_CAPTION), "Installation Complete");
    EXPECT_EQ(gui::ControlText(finish, IDC_FINISH_CHECK), "View supplementary information");
    EXPECT_TRUE(gui::ControlChecked(finish, IDC_FINISH_CHECK));
    SaveShot("wizard_5_finish");
    // Escape does nothing in the finish dialog.
    gui::PressEscape(finish);
    Sleep(500);
    EXPECT_TRUE(IsWindowVisible(finish));
    ASSERT_TRUE(gui::PressButton(finish, IDC_FINISH_CHECK));
    Sleep(200);
    EXPECT_FALSE(gui::ControlChecked(finish, IDC_FINISH_CHECK));
    ASSERT_TRUE(gui::PressButton(finish, IDOK));
    EXPECT_EQ(setup.WaitForExit(60000), 0);

    // The step captions as the dialog showed them (the first ones may pass too fast to see).
    // "Step 3 of 4" (the uninstall entry) lasts a few milliseconds: the log shows its work.
    const std::vector<std::string> expectedSteps = {
        "Step 2 of 4 | Installing files...",
        "Step 4 of 4 | Registering the Varnex Spreadsheet Add-In with Excel..."};
    EXPECT_EQ(MissingInOrder(captions, expectedSteps), "");

    // Every file byte-identical, with its time.
    std::map<std::string, FileFacts> source, installed;
    std::set<std::string> sourceFolders, installedFolders;
    Collect(EnvPath("VNX_FULL_PRODUCT_DIR"), "", &source, &sourceFolders);
    Collect(kTarget, "", &installed, &installedFolders);
    ASSERT_EQ(source.size(), 804u) << "805 with the uninstaller the build adds";
    ASSERT_EQ(sourceFolders.size(), 45u);
    EXPECT_EQ(installedFolders, sourceFolders);
    int differences = 0;
    for (const auto &entry : source) {
        auto it = installed.find(entry.first);
        if (it == installed.end()) {
            ADD_FAILURE() << "missing " << entry.first;
        } else if (it->second.bytes != entry.second.bytes) {
            ADD_FAILURE() << "changed " << entry.first;
        } else if (CompareFileTime(&it->second.written, &entry.second.written) != 0) {
            ADD_FAILURE() << "time differs " << entry.first;
        } else {
            continue;
        }
        if (++differences > 10)
            break;
    }
    // Beside the product: the build's uninstaller; the log is elsewhere; only the marker file may
    // have been left.
    EXPECT_EQ(installed["Uninstall.exe"].bytes, ReadFileText(EnvPath("VNX_UNINSTALL_FULL_EXE")));
    for (const auto &entry : installed)
        EXPECT_TRUE(source.count(entry.first) || entry.first == "install.sem" ||
                    entry.first == "Uninstall.exe")
            << entry.first;

    // The uninstall entry, the install information, the add-in registered. Windows lists a
    // 32-bit program's entry in the 32-bit view (stored under WOW6432Node), a 64-bit one's in the
    // 64-bit view: the installer wrote where its own size belongs.
    const bool is32 = RegistryViewOf(SetupExe()) == KEY_WOW64_32KEY;
    const std::string stored32 = std::string("SOFTWARE\\WOW6432Node") + (kUninstallKey + 8);
    EXPECT_EQ(KeyStored(stored32), is32) << stored32;
    EXPECT_EQ(KeyStored(kUninstallKey), !is32) << kUninstallKey;
    EXPECT_EQ(ReadRegistryText(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName"),
              "Varnex Spreadsheet Add-In");
    EXPECT_EQ(ReadRegistryText(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString"),
              "\"C:\\Varnex Test\\Target\\Uninstall.exe\" \"C:\\Varnex Test\\Target\"");
    EXPECT_EQ(ReadRegistryText(HKEY_LOCAL_MACHINE, kInfoKey, "Install"), kTarget);
    EXPECT_EQ(ReadRegistryText(HKEY_LOCAL_MACHINE, kInfoKey, "Version"),
              Env("VNX_PRODUCT_VERSION"));
    EXPECT_EQ(ReadRegistryText(HKEY_LOCAL_MACHINE, kInfoKey, "Build"), Env("VNX_PRODUCT_BUILD"));
    const auto journal = standin::ReadJournal(kJournal);
    const auto adds = standin::FindInvokes(journal, "AddIns", "Add");
    ASSERT_EQ(adds.size(), 1u);
    ASSERT_EQ(adds[0].args.size(), 2u);
    EXPECT_EQ(adds[0].args[1], "VT_BSTR:C:\\Varnex Test\\Target\\QUBRIX.xla");
    EXPECT_EQ(standin::FindInvokes(journal, "AddIn", "Installed").size(), 1u);
    EXPECT_GE(standin::FindInvokes(journal, "Application", "Quit").size(), 1u);

    // The log's whole sequence.
    const std::vector<std::string> log =
        SplitCrLf(ReadFileText(std::string(kDefaultFolder) + "\\install.log"));
    const std::vector<std::string> expected = {
        "------------------------------------------------------",
        "Installing Addin version " + Env("VNX_PRODUCT_BUILD"),
        "Kobal Installer 1.7",
        "No previous install info found.",
        "* Folder does not exist. Create it?",
        "@ Install Dir=C:\\Varnex Test\\Target",
        "@ Instances of TarveloProc.exe closed=0",
        "Parsing start",
        "Summary=cFiles=805\t cDirs=46",
        "  Folder=''",
        "Parsing end",
        "@ Installing Files=Begin",
        "0 - C:\\Varnex Test\\Target\\",
        "@ Installing Files=End",
        "Registering the Add-In Uninstall...",
        "--- RegAddin.lib (1.10) ---",
        "Adding Control Panel uninstall entries",
        "--- RegAddin.lib returned 0 ---",
        "Checking for Excel Running...",
        "Registering the Add-In...",
        "Add-In was successfully installed.",
        "--- RegAddin.lib returned 0 ---",
        "@ Evaluating PATH environment setting, looking for=C:\\Varnex Test\\Target",
        "Updating Registry...",
        "* Installation Complete",
        "* Exit Install"};
    EXPECT_EQ(MissingInOrder(log, expected), "");
    // The last record's line, right before the end of the copy, shows 100 percent.
    for (size_t i = 1; i < log.size(); ++i) {
        if (log[i] == "@ Installing Files=End") {
            EXPECT_EQ(log[i - 1].rfind("100 - C:\\Varnex Test\\Target\\", 0), 0u) << log[i - 1];
        }
    }
    int banners = 0, fileLines = 0, decompressing = 0;
    for (const std::string &line : log) {
        banners += line == "--- RegAddin.lib (1.10) ---";
        fileLines += line.rfind("    File='", 0) == 0;
        decompressing += line.size() > 16 && line.substr(line.size() - 16) == " (decompressing)";
    }
    EXPECT_EQ(banners, 1);
    EXPECT_EQ(fileLines, 805);
    EXPECT_GT(decompressing, 100);
    for (const std::string &line : log)
        EXPECT_NE(line.rfind("* Release Notes Launched", 0), 0u) << "the box was unticked";
}

TEST(FullInstallation, SecondRunUpgradesAndMovesTheConfigurationFiles) {
    const std::string target = kTarget;
    ASSERT_TRUE(PathExists(target + "\\qubrix.xla")) << "needs the first installation";
    for (const char *name : {"tarvelo.prefs", "tarvelo.con"})
        ASSERT_TRUE(WriteFileText(target + "\\" + name, std::string(name, 5)));
    // The release notes open through the desktop's shell, not as a child of the elevated
    // installer: a viewer of the test's own, registered for .htm, writes down the environment it
    // was started with, which carries this mark only when the installer started it.
    ASSERT_EQ(ReadRegistryText(HKEY_CLASSES_ROOT, ".htm", nullptr), "");
    ASSERT_TRUE(RegisterNotesViewer("cmd.exe /c set > C:\\notes-viewer.txt & rem \"%1\""));
    // On Windows the desktop's shell runs before any installer does. Wine starts its shell's
    // server on demand, from the process that asks first, and ends it when nobody holds it: held
    // from here, it is started by this test, before the mark, and stays while the installer runs.
    const DesktopShellHold shell;
    ASSERT_TRUE(shell.Held()) << "the desktop's shell windows could not be had";
    ASSERT_TRUE(SetEnvironmentVariableA("VNX_STARTED_BY", "the installer"));
    gui::Process setup;
    ASSERT_TRUE(setup.Start(SetupExe(), ""));
    SetEnvironmentVariableA("VNX_STARTED_BY", nullptr);
    AcceptWelcome(setup);
    AcceptAgreement(setup);
    HWND folder = WaitForDialog(setup.Id(), IDC_FOLDER_EDIT);
    ASSERT_NE(folder, nullptr);
    EXPECT_EQ(gui::ControlText(folder, IDC_FOLDER_EDIT), kTarget)
        << "the recorded folder is proposed";
    EnterFolder(setup, "c:\\varnex test\\TARGET"); // letter case does not matter
    const std::string version = Env("VNX_PRODUCT_VERSION"), build = Env("VNX_PRODUCT_BUILD");
    const std::string question = "Version " + version + " (build " + build +
                                 ") of the Varnex Spreadsheet Add-In\nalready exists in this "
                                 "folder.\n\nDo you wish to upgrade it with version " +
                                 version + " (build " + build + ")?";
    const gui::MessageBoxInfo box = Answer(setup, IDYES, question.c_str());
    EXPECT_EQ(box.defaultButton, IDNO);
    HWND finish = nullptr;
    WatchProgress(setup, &finish);
    ASSERT_NE(finish, nullptr);
    ASSERT_TRUE(gui::ControlChecked(finish, IDC_FINISH_CHECK));
    ASSERT_TRUE(gui::PressButton(finish, IDOK)); // ticked: the release notes are opened
    EXPECT_EQ(setup.WaitForExit(60000), 0);

    char appData[MAX_PATH] = {};
    ASSERT_EQ(RegAddin_GetAppDataFolder(appData), 1);
    const std::string moved = std::string(appData) + "\\Varnok\\VarnexSpreadsheetAddin";
    EXPECT_TRUE(PathExists(moved + "\\tarvelo.prefs"));
    EXPECT_TRUE(PathExists(moved + "\\tarvelo.con"));
    EXPECT_FALSE(PathExists(target + "\\tarvelo.prefs"));
    EXPECT_FALSE(PathExists(target + "\\tarvelo.con"));

    const std::vector<std::string> log = SplitCrLf(ReadFileText(target + "\\install.log"));
    const std::string previous =
        "Previous build " + build + " (ver " + version + ") found at C:\\Varnex Test\\Target";
    EXPECT_EQ(MissingInOrder(log, {previous, "* Installation Complete",
                                   "@ App Data Folder=" + std::string(appData),
                                   "Moving \"c:\\varnex test\\TARGET\\tarvelo.prefs\" to \"" +
                                       moved + "\\tarvelo.prefs\"",
                                   "", "* Exit Install"}),
              "");
    bool launched = false;
    for (const std::string &line : log)
        launched = launched || line == "* Release Notes Launched - return: successful";
    EXPECT_TRUE(launched) << "the shell's answer is logged";
    for (DWORD waited = 0; !PathExists("C:\\notes-viewer.txt") && waited < 20000; waited += 100)
        Sleep(100);
    Sleep(500); // the viewer's output complete
    const std::string viewer = ReadFileText("C:\\notes-viewer.txt");
    EXPECT_NE(viewer.find("PATH"), std::string::npos) << "the viewer ran";
    EXPECT_EQ(viewer.find("VNX_STARTED_BY"), std::string::npos)
        << "the viewer was started by the installer, not by the desktop's shell";
    DeleteFileA("C:\\notes-viewer.txt");
}

TEST(FullInstallation, ThirdRunLogsTheFailureForTheFirstFile) {
    RegisterNotesViewer(nullptr);
    const std::string target = kTarget;
    gui::Process setup;
    RunToProgress(setup, "", target, {{IDYES, ""}});
    HWND finish = nullptr;
    WatchProgress(setup, &finish);
    ASSERT_NE(finish, nullptr);
    gui::PressButton(finish, IDC_FINISH_CHECK);
    Sleep(200);
    gui::PressButton(finish, IDOK);
    EXPECT_EQ(setup.WaitForExit(60000), 0);
    const std::vector<std::string> log = SplitCrLf(ReadFileText(target + "\\install.log"));
    EXPECT_TRUE(Contains(log, "Failed to copy file \"tarvelo.pref\" or it already exists"));
}

// The Control Panel's command: the add-in, the files, the registry records all go; what stays is
// the user's settings, the logs of the runs and the uninstaller's copy put off to the restart.
TEST(FullInstallation, UninstallThroughTheControlPanelLeavesTheMachineAsItWas) {
    ASSERT_FALSE(g_beforeInstallation.files.empty()) << "needs the first installation";
    // What the Control Panel would start.
    const std::string command =
        ReadRegistryText(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString");
    const size_t split = command.find("\" \"");
    ASSERT_NE(split, std::string::npos) << command;
    const std::string program = command.substr(1, split - 1);
    const std::string arguments = command.substr(split + 2);
    const DWORD start = GetTickCount();
    gui::Process uninstall;
    ASSERT_TRUE(uninstall.Start(program, arguments));
    gui::MessageBoxInfo question;
    ASSERT_TRUE(gui::WaitForMessageBox(uninstall.Id(), &question, 30000));
    EXPECT_EQ(question.caption, "Varnex Spreadsheet Add-In - Uninstall");
    EXPECT_EQ(question.text, "Remove Varnex Spreadsheet Add-In and all of its components?");
    EXPECT_EQ(question.defaultButton, IDNO);
    gui::AnswerMessageBox(question.window, IDYES);
    gui::WaitForWindowGone(question.window, 10000);
    // The copy that does the work shows the closing message.
    gui::MessageBoxInfo done;
    ASSERT_TRUE(gui::WaitForMessageBox(0, &done, 120000));
    EXPECT_EQ(done.caption, "Varnex Spreadsheet Add-In - Uninstall");
    EXPECT_EQ(done.text.rfind("The Varnex Spreadsheet Add-In was removed.\n\nYour own settings", 0),
              0u)
        << done.text;
    gui::AnswerMessageBox(done.window, IDOK);
    EXPECT_EQ(uninstall.WaitForExit(60000), 0) << "the caller sees the copy's verdict";
    // The copy removes the original's file and the folder once the original has ended.
    for (DWORD waited = 0; PathExists(kTarget) && waited < 20000; waited += 100)
        Sleep(100);
    EXPECT_FALSE(PathExists(kTarget));
    std::printf("uninstall of 805 files: %lu ms\n",
                static_cast<unsigned long>(GetTickCount() - start));

    char appData[MAX_PATH] = {};
    ASSERT_EQ(RegAddin_GetAppDataFolder(appData), 1);
    char temp[MAX_PATH] = {};
    GetTempPathA(sizeof(temp), temp);
    const MachineState after = TakeMachineState();
    const std::string appDataRelative = std::string(appData).substr(3);
    const std::string tempRelative = std::string(temp).substr(3, std::strlen(temp) - 4);
    EXPECT_EQ(Differences(g_beforeInstallation.files, after.files,
                          {appDataRelative + "\\Varnok", tempRelative + "\\",
                           "Program Files\\Varnok\\VarnexAddin\\install.log", "excel-journal.txt"}),
              std::vector<std::string>());
    const std::vector<std::string> registry = Differences(
        g_beforeInstallation.registry, after.registry,
        {"HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager : PendingFileRenameOperations",
         "HKCU\\Software\\VarnexTests", "HKCU\\Software\\Wine", "HKLM\\SOFTWARE\\Wine"});
    EXPECT_EQ(registry, std::vector<std::string>());
    // The uninstaller's copy goes at the next restart.
    std::string pending;
    for (const std::string &entry : after.registry)
        if (entry.find(" : PendingFileRenameOperations = ") != std::string::npos)
            pending = entry;
    EXPECT_NE(pending.find("\\Uninstall.exe"), std::string::npos) << pending;
    // Excel's add-in list no longer names the add-in.
    const auto journal = standin::ReadJournal(kJournal);
    EXPECT_GE(standin::FindInvokes(journal, "Application", "Version").size(), 4u);
    for (const char *value : {"OPEN", "OPEN1"})
        EXPECT_EQ(standin::ReadOptionsValue("12.0", value).find("QUBRIX"), std::string::npos);
}

} // namespace
