// The wizard's paths other than a plain success: folder validation, the upgrade question for a
// folder that only holds the add-in, every way to cancel, failures, and a rehearsal (test mode).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "regaddin/regaddin.h"
#include "tests/e2e/e2e_support.h"
#include "tests/standins/excel/standin_config.h"

namespace {

using namespace e2e;

std::string SetupExe() {
    return EnvPath("VNX_SETUP_EXE");
}
std::string DefaultLogText() {
    return ReadFileText(std::string(kDefaultFolder) + "\\install.log");
}

const char kExcelRunning[] =
    "Microsoft Excel is currently running.\n\n Close Excel and press 'OK' to "
    "continue installing, or press 'Cancel' to terminate this installation.";

class WizardTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Each case starts as a first installation: the log stays in the default folder.
        char key[] = "SpreadsheetAddin";
        RegAddin_RemoveInstallInfo(key);
        ASSERT_TRUE(MakeFolder(kDefaultFolder));
        DeleteFileA((std::string(kDefaultFolder) + "\\install.log").c_str());
        standin::Options excel;
        ASSERT_EQ(standin::Install(excel), 1);
    }
    void TearDown() override {
        if (setup_.IsRunning())
            setup_.Terminate();
    }
    void StartToFolder(const char *arguments = "") {
        ASSERT_TRUE(setup_.Start(SetupExe(), arguments));
        AcceptWelcome(setup_);
        AcceptAgreement(setup_);
        folderDialog_ = WaitForDialog(setup_.Id(), IDC_FOLDER_EDIT);
        ASSERT_NE(folderDialog_, nullptr);
    }
    // Enters `folder`, expects a warning with `text`, and that the dialog stays.
    void ExpectRefused(const std::string &folder, const char *text) {
        EnterFolder(setup_, folder);
        const gui::MessageBoxInfo box = Answer(setup_, IDOK, text);
        EXPECT_EQ(box.icon, gui::BoxIcon::Warning) << folder;
        EXPECT_EQ(box.owner, folderDialog_) << "warnings are owned by the dialog";
        EXPECT_TRUE(IsWindowVisible(folderDialog_)) << folder;
        EXPECT_EQ(gui::ControlText(folderDialog_, IDC_FOLDER_EDIT), folder) << "the entry is kept";
    }
    // Lets the run finish at the finish dialog (unticked) and returns the exit code.
    int FinishRun() { return FinishUnticked(setup_, 120000); }
    gui::Process setup_;
    HWND folderDialog_ = nullptr;
};

TEST_F(WizardTest, FolderValidationRefusesBadEntriesAndAcceptsGoodOnes) {
    MakeFolder("C:\\Temp");
    WriteFileText("C:\\Temp\\afile.txt", "");
    StartToFolder();
    ExpectRefused("C:\\", "The specified folder is invalid!");
    ExpectRefused("C:", "The specified folder is invalid!");
    ExpectRefused("  ", "The specified folder is invalid!");
    ExpectRefused("Q:\\Data", "The specified folder is invalid!");
    ExpectRefused("Temp\\Varnex", "The specified folder is invalid!");
    ExpectRefused("\\\\server\\share\\Varnex", "The specified folder is invalid!");
    ExpectRefused("C:Varnex", "The specified folder is invalid!"); // relative to the drive

    ExpectRefused("C:\\Temp\\afile.txt", "Invalid Folder Name");
    // What the uninstaller would refuse to remove the product from: a system folder, a folder
    // that holds one, Program Files itself, also where ".." leads there. The message names the
    // folder in its full form.
    const struct {
        const char *entry, *folder;
    } systemFolders[] = {{"C:\\windows", "C:\\windows"},
                         {"C:\\users\\", "C:\\users"},
                         {"C:\\Program Files", "C:\\Program Files"},
                         {"C:\\Temp\\..\\windows", "C:\\windows"}};
    for (const auto &system : systemFolders)
        ExpectRefused(system.entry,
                      ("The folder " + std::string(system.folder) +
                       " is a system folder or holds one: the add-in cannot be installed there."
                       "\n\nChoose a folder of its own for the add-in, for example a new folder "
                       "inside it.")
                          .c_str());
    ExpectRefused("C:\\Temp\\..", "The specified folder is invalid!"); // the drive root
    // The rule the uninstaller shares sees through a short name, and refuses a name with a blank
    // at its end (Windows would make it a new folder beside Program Files).
    char shortName[MAX_PATH] = {};
    ASSERT_GT(GetShortPathNameA("C:\\Program Files", shortName, sizeof(shortName)), 0u);
    ASSERT_STRNE(shortName, "C:\\Program Files");
    ExpectRefused(shortName, ("The folder " + std::string(shortName) +
                              " is a system folder or holds one: the add-in cannot be installed "
                              "there.\n\nChoose a folder of its own for the add-in, for example a "
                              "new folder inside it.")
                                 .c_str());
    ExpectRefused("C:\\Program Files \\Varnex", "The specified folder is invalid!");
    // A folder too long for the product's paths is refused before anything is asked or made; the
    // message says how long a folder may be, and one of exactly that length is taken.
    EnterFolder(setup_, "C:\\Temp\\" + std::string(300, 'L'));
    const gui::MessageBoxInfo tooLong = Answer(setup_, IDOK);
    int maxLength = 0;
    ASSERT_EQ(std::sscanf(tooLong.text.c_str(),
                          "The folder name is too long for the files of this product. Choose a "
                          "folder name of at most %d characters.",
                          &maxLength),
              1)
        << tooLong.text;
    // The sample product's longest path, "\Examples\Sample Workbook.txt" (29 characters),
    // reaches the 259 of a file path under a folder of 230.
    EXPECT_EQ(maxLength, 230);
    const std::string longest = "C:\\Temp\\" + std::string(maxLength - 8, 'L');
    ExpectRefused(longest + "L", tooLong.text.c_str());
    EnterFolder(setup_, longest);
    Answer(setup_, IDNO, "Folder does not exist. Create it?");
    EXPECT_FALSE(PathExists(longest));
    // A new folder: No keeps the dialog open, nothing is created.
    EnterFolder(setup_, "C:\\Temp\\New Folder");
    Answer(setup_, IDNO, "Folder does not exist. Create it?");
    EXPECT_TRUE(IsWindowVisible(folderDialog_));
    EXPECT_FALSE(PathExists("C:\\Temp\\New Folder"));
    // Blanks around an existing folder and a trailing backslash are taken away, and the folder
    // is taken in its full form.
    EnterFolder(setup_, "  \tC:\\Temp\\New Folder\\..\\  ");
    ASSERT_TRUE(WaitForDialogGone(setup_.Id(), IDC_FOLDER_EDIT)) << "C:\\Temp is accepted";
    ASSERT_NE(WaitForDialog(setup_.Id(), IDC_PROGRESS_BAR), nullptr);
    EXPECT_EQ(FinishRun(), 0);
    EXPECT_TRUE(PathExists("C:\\Temp\\qubrix.xla"));
    const std::vector<std::string> log = SplitCrLf(DefaultLogText());
    EXPECT_TRUE(Contains(log, "@ Install Dir=C:\\Temp")) << DefaultLogText();
    EXPECT_TRUE(Contains(log, "* The specified folder is invalid!"));
    EXPECT_TRUE(Contains(log, "* Invalid Folder Name"));
}

TEST_F(WizardTest, AFolderHoldingTheAddinAsksWhetherToUpgrade) {
    MakeFolder("C:\\Other");
    WriteFileText("C:\\Other\\qubrix.xla", "");
    StartToFolder();
    const char *question = "A version of the Varnex Spreadsheet Add-In may already exist in this "
                           "folder.\n\nDo you wish to upgrade it with this version?";
    EnterFolder(setup_, "C:\\Other");
    const gui::MessageBoxInfo no = Answer(setup_, IDNO, question);
    EXPECT_EQ(no.defaultButton, IDNO);
    EXPECT_EQ(no.icon, gui::BoxIcon::Question);
    EXPECT_TRUE(IsWindowVisible(folderDialog_)) << "No keeps the dialog open";
    EnterFolder(setup_, "C:\\Other");
    Answer(setup_, IDYES, question);
    EXPECT_EQ(FinishRun(), 0);
}

TEST_F(WizardTest, TheFolderBrowserOpensAtTheCurrentDirectory) {
    MakeFolder("C:\\Start Here");
    ASSERT_TRUE(setup_.Start(SetupExe(), "", "C:\\Start Here"));
    AcceptWelcome(setup_);
    AcceptAgreement(setup_);
    folderDialog_ = WaitForDialog(setup_.Id(), IDC_FOLDER_EDIT);
    ASSERT_NE(folderDialog_, nullptr);
    for (int answer : {IDCANCEL, IDOK}) {
        ASSERT_TRUE(gui::PressButton(folderDialog_, IDC_BROWSE));
        // The shell's browser: a dialog of the process with a tree of folders.
        HWND browser = nullptr;
        const DWORD start = GetTickCount();
        while (!browser && GetTickCount() - start < 20000) {
            for (HWND dialog : gui::TopLevelWindows(setup_.Id(), "#32770")) {
                if (dialog != folderDialog_ &&
                    FindWindowExA(dialog, nullptr, "SysTreeView32", nullptr))
                    browser = dialog;
            }
            Sleep(50);
        }
        ASSERT_NE(browser, nullptr) << "no folder browser";
        Sleep(500); // let it select the current directory
        gui::PressButton(browser, answer);
        ASSERT_TRUE(gui::WaitForWindowGone(browser, 10000));
        Sleep(300);
        // Cancel leaves the entry alone; OK puts the selection (the current directory) there.
        EXPECT_EQ(gui::ControlText(folderDialog_, IDC_FOLDER_EDIT),
                  answer == IDOK ? "C:\\Start Here" : kDefaultFolder);
    }
    gui::PressButton(folderDialog_, IDCANCEL);
    Answer(setup_, IDOK, "Installation Cancelled");
    EXPECT_EQ(setup_.WaitForExit(), 0);
}

TEST_F(WizardTest, CancelOnTheWelcomeDialogIsSilent) {
    for (bool escape : {false, true}) {
        gui::Process setup;
        ASSERT_TRUE(setup.Start(SetupExe(), ""));
        HWND welcome = WaitForDialog(setup.Id(), IDC_WELCOME_TEXT);
        ASSERT_NE(welcome, nullptr);
        if (escape)
            gui::PressEscape(welcome);
        else
            gui::PressButton(welcome, IDCANCEL);
        EXPECT_EQ(setup.WaitForExit(), 0);
    }
    const std::string log = DefaultLogText();
    EXPECT_EQ(log.find("Installation Cancelled"), std::string::npos);
    EXPECT_NE(log.find("* Exit Install"), std::string::npos);
}

TEST_F(WizardTest, CancelOnAgreementOrFolderSaysInstallationCancelled) {
    for (int dialog : {IDC_ACCEPT_BOX, IDC_FOLDER_EDIT}) {
        gui::Process setup;
        ASSERT_TRUE(setup.Start(SetupExe(), ""));
        AcceptWelcome(setup);
        if (dialog == IDC_FOLDER_EDIT)
            AcceptAgreement(setup);
        HWND window = WaitForDialog(setup.Id(), dialog);
        ASSERT_NE(window, nullptr);
        gui::PressButton(window, IDCANCEL);
        const gui::MessageBoxInfo box = Answer(setup, IDOK, "Installation Cancelled");
        EXPECT_EQ(box.icon, gui::BoxIcon::Warning);
        EXPECT_EQ(setup.WaitForExit(), 0);
    }
}

TEST_F(WizardTest, GivingUpWhileExcelRunsCancels) {
    HWND excel = ShowExcelWindow();
    ASSERT_NE(excel, nullptr);
    gui::Process setup;
    ASSERT_TRUE(setup.Start(SetupExe(), ""));
    AcceptWelcome(setup);
    const char *text = kExcelRunning;
    // OK while Excel still runs asks again; Cancel gives up.
    gui::MessageBoxInfo box = Answer(setup, IDOK, text);
    EXPECT_EQ(box.defaultButton, IDCANCEL);
    Answer(setup, IDCANCEL, text);
    Answer(setup, IDOK, "Installation Cancelled");
    EXPECT_EQ(setup.WaitForExit(), 0);
    DestroyWindow(excel);
}

// Excel started while the files were copied: the progress dialog asks before registering, and
// giving up there cancels the installation with the files in place.
TEST_F(WizardTest, GivingUpAtTheExcelQuestionOfTheRegistrationCancels) {
    StartToFolder();
    EnterFolder(setup_, "C:\\Late Excel");
    HWND excel = ShowExcelWindow();
    ASSERT_NE(excel, nullptr);
    Answer(setup_, IDYES, "Folder does not exist. Create it?");
    HWND progress = WaitForDialog(setup_.Id(), IDC_PROGRESS_BAR);
    ASSERT_NE(progress, nullptr);
    gui::MessageBoxInfo question;
    ASSERT_TRUE(gui::WaitForMessageBox(setup_.Id(), &question, 30000));
    EXPECT_EQ(question.text, kExcelRunning);
    EXPECT_EQ(question.owner, progress) << "the progress dialog owns the question";
    EXPECT_EQ(gui::ControlText(progress, IDC_STEP_CAPTION), "Step 4 of 4");
    gui::AnswerMessageBox(question.window, IDCANCEL);
    gui::WaitForWindowGone(question.window, 10000);
    Answer(setup_, IDOK, "Installation Cancelled");
    EXPECT_EQ(setup_.WaitForExit(), 0);
    DestroyWindow(excel);
    EXPECT_TRUE(PathExists("C:\\Late Excel\\qubrix.xla"));
    const std::vector<std::string> log = SplitCrLf(DefaultLogText());
    EXPECT_EQ(MissingInOrder(log, {"Checking for Excel Running...",
                                   "Excel Running - User Cancelled.", "* Installation Cancelled"}),
              "");
    EXPECT_FALSE(Contains(log, "Registering the Add-In..."));
    EXPECT_FALSE(Contains(log, "Updating Registry...")) << "no record after a cancel";
}

TEST_F(WizardTest, RegistrationFailuresAreLoggedAndTheRecordIsStillWritten) {
    struct Case {
        const char *name;
        int code;
        const char *text;
        void (*configure)(standin::Options *);
    } cases[] = {
        {"start", 1, "Excel failed to start. Excel may not be installed on this machine.",
         [](standin::Options *o) { o->failStart = true; }},
        {"version", 2, "Unsupported version of Excel.",
         [](standin::Options *o) { o->version = "16.0"; }},
        {"workbooks", 3, "Failure communicating with Excel.",
         [](standin::Options *o) { o->noWorkbooks = true; }},
        {"workbook", 4, "Failure communicating with Excel.",
         [](standin::Options *o) { o->failWorkbookAdd = true; }},
        {"addin", 5, "Failure communicating with Excel.",
         [](standin::Options *o) { o->failAddinAdd = true; }},
    };
    const char *warning =
        "The Varnex Spreadsheet Add-In product files have been installed;\nhowever, a problem "
        "occurred registering the add-in with Microsoft Excel.\n\nExcel was not found or may not "
        "be properly installed on this machine.\n\nSee the Excel documentation for steps to "
        "manually\nremove or register an add-in with Excel.";
    for (const Case &c : cases) {
        standin::Options excel;
        c.configure(&excel);
        ASSERT_EQ(standin::Configure(excel), 1);
        const std::string folder = std::string("C:\\Reg\\") + c.name;
        gui::Process setup;
        ASSERT_TRUE(setup.Start(SetupExe(), ""));
        AcceptWelcome(setup);
        AcceptAgreement(setup);
        EnterFolder(setup, folder);
        Answer(setup, IDYES, "Folder does not exist. Create it?");
        const gui::MessageBoxInfo box = Answer(setup, IDOK, warning);
        EXPECT_EQ(box.icon, gui::BoxIcon::Warning) << c.name;
        EXPECT_EQ(setup.WaitForExit(60000), 0);
        const std::vector<std::string> log = SplitCrLf(DefaultLogText());
        EXPECT_TRUE(Contains(log, "Registering with Excel Failed (" + std::to_string(c.code) + ")"))
            << c.name << "\n"
            << DefaultLogText();
        EXPECT_TRUE(Contains(log, std::string("@ Error Information=") + c.text)) << c.name;
        EXPECT_EQ(ReadRegistryText(HKEY_LOCAL_MACHINE, kInfoKey, "Install"), folder)
            << "the record is written after a failed registration too";
        char key[] = "SpreadsheetAddin"; // the next case logs to the default folder again
        RegAddin_RemoveInstallInfo(key);
        standin::EndAllInstances();
    }
}

TEST_F(WizardTest, ALockedFileFailsTheCopy) {
    MakeFolder("C:\\Locked");
    // The add-in file held open without write sharing: it cannot be replaced.
    HANDLE held = CreateFileA("C:\\Locked\\qubrix.xla", GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    StartToFolder();
    EnterFolder(setup_, "C:\\Locked");
    Answer(setup_, IDYES); // the folder holds the add-in: upgrade it
    gui::MessageBoxInfo box;
    ASSERT_TRUE(gui::WaitForMessageBox(setup_.Id(), &box, 60000));
    const bool stored = box.text == "CreateFile Error = '32'";
    const bool compressed =
        box.text == "Failed to install file C:\\Locked\\.\\qubrix.xla!  Is this file open?";
    EXPECT_TRUE(stored || compressed) << box.text;
    HWND mainWindow = gui::WaitForWindow(kMainClass, nullptr, setup_.Id());
    EXPECT_EQ(box.owner, mainWindow) << "warnings without a dialog of their own";
    gui::AnswerMessageBox(box.window, IDOK);
    gui::WaitForWindowGone(box.window, 10000);
    EXPECT_EQ(Answer(setup_, IDOK, "Installation Unsuccessful").owner, mainWindow);
    EXPECT_EQ(setup_.WaitForExit(), 0);
    CloseHandle(held);
    const std::vector<std::string> log = SplitCrLf(DefaultLogText());
    EXPECT_TRUE(Contains(log, "* " + box.text));
    EXPECT_FALSE(Contains(log, "Updating Registry...")) << "no record after a failed copy";
}

TEST_F(WizardTest, AnEmptyPayloadIsUnsuccessful) {
    ASSERT_TRUE(setup_.Start(EnvPath("VNX_SETUP_EMPTY_EXE"), ""));
    AcceptWelcome(setup_);
    AcceptAgreement(setup_);
    EnterFolder(setup_, "C:\\Empty");
    Answer(setup_, IDYES, "Folder does not exist. Create it?");
    Answer(setup_, IDOK, "Installation Unsuccessful");
    EXPECT_EQ(setup_.WaitForExit(), 0);
}

TEST_F(WizardTest, CancelDuringTheCopyAsksAndStopsOnlyWhenConfirmed) {
    // The full product: its copy lasts long enough to be interrupted.
    ASSERT_TRUE(setup_.Start(EnvPath("VNX_SETUP_FULL_EXE"), ""));
    AcceptWelcome(setup_);
    AcceptAgreement(setup_);
    EnterFolder(setup_, "C:\\Cancelled");
    Answer(setup_, IDYES, "Folder does not exist. Create it?");
    HWND progress = WaitForDialog(setup_.Id(), IDC_PROGRESS_BAR);
    ASSERT_NE(progress, nullptr);
    const DWORD start = GetTickCount();
    while (!gui::ControlEnabled(progress, IDCANCEL) && GetTickCount() - start < 20000)
        Sleep(5);
    HWND mainWindow = gui::WaitForWindow(kMainClass, nullptr, setup_.Id());
    // No: the copy goes on from the next record.
    ASSERT_TRUE(gui::PressButton(progress, IDCANCEL));
    const gui::MessageBoxInfo no = Answer(setup_, IDNO, "Cancel Installation?");
    EXPECT_EQ(no.defaultButton, IDYES);
    EXPECT_EQ(no.owner, mainWindow) << "the question is owned by the main window";
    const std::string before = gui::ControlText(progress, IDC_STATUS_LINE);
    Sleep(500);
    EXPECT_NE(gui::ControlText(progress, IDC_STATUS_LINE), before) << "the copy went on";
    // Yes: it stops; the files already extracted stay. The add-in workbook is among the first
    // records: it is waited for, since how many records come before the answer depends on the
    // machine (an emulated 32-bit run copies more slowly).
    const std::string workbook = "C:\\Cancelled\\qubrix.xla";
    for (const DWORD copying = GetTickCount();
         !PathExists(workbook) && GetTickCount() - copying < 30000;)
        Sleep(20);
    ASSERT_TRUE(PathExists(workbook)) << "the copy never reached the workbook";
    ASSERT_TRUE(gui::PressButton(progress, IDCANCEL));
    Answer(setup_, IDYES, "Cancel Installation?");
    EXPECT_EQ(Answer(setup_, IDOK, "Installation Cancelled").owner, mainWindow);
    EXPECT_EQ(setup_.WaitForExit(), 0);
    EXPECT_TRUE(PathExists(workbook));
    const std::vector<std::string> log = SplitCrLf(DefaultLogText());
    EXPECT_TRUE(Contains(log, "@ Installing Files=Begin"));
    EXPECT_FALSE(Contains(log, "@ Installing Files=End"));
    EXPECT_FALSE(Contains(log, "Updating Registry..."));
}

} // namespace
