// ExcelSession against the stand-in Excel: the calls it makes, what it does with COM, and the
// instance it starts and ends.
#include "automation/excel_session.h"
#include "automation/dispatch.h"
#include "tests/wine/automation/test_support.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

using standin::JournalEntry;

// True while COM is initialised on this thread in the multithreaded apartment; leaves the count
// as it found it.
bool ComInitialisedMta() {
    HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (SUCCEEDED(hr))
        CoUninitialize();
    return hr == S_FALSE;
}

class SessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        TakeLogLines();
        ASSERT_FALSE(ComInitialisedMta());
    }
    void TearDown() override {
        if (!standin::WaitForExcelWindowGone(5000))
            standin::EndAllInstances();
    }
    void Configure() { ASSERT_TRUE(SetUpStandin(&options_, "session-journal.txt")); }
    std::vector<JournalEntry> Journal() const { return standin::ReadJournal(options_.journal); }
    std::string MakeAddinFile(const std::string &folder, const std::string &name) {
        std::string dir = ScratchPath(folder);
        CreateDirectoryA(dir.c_str(), nullptr);
        std::string path = dir + "\\" + name;
        HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_NE(INVALID_HANDLE_VALUE, f);
        CloseHandle(f);
        return path;
    }

    standin::Options options_;
};

std::string OptionsValue(const std::string &version, const char *name) {
    std::string key = "Software\\Microsoft\\Office\\" + version + "\\Excel\\Options";
    char data[600] = "";
    DWORD size = sizeof data - 1;
    if (RegGetValueA(HKEY_CURRENT_USER, key.c_str(), name, RRF_RT_REG_SZ, nullptr, data, &size) !=
        ERROR_SUCCESS)
        return std::string();
    return data;
}

int CountFreed(const std::vector<JournalEntry> &journal, const std::string &kind) {
    int n = 0;
    for (const JournalEntry &e : journal)
        n += e.type == "EVENT" && e.object == "freed" && e.member == kind;
    return n;
}

bool FileExists(const std::string &path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool WaitForFileGone(const std::string &path, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    while (FileExists(path)) {
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(50);
    }
    return true;
}

TEST_F(SessionTest, InstallsAnAddinWithTheCallsExcelExpects) {
    options_.markerDelayMs = 300;
    Configure();
    std::string addin = MakeAddinFile("Product", "qubrix.xla");
    std::string marker = ScratchPath("Product\\install.sem");
    HANDLE f = CreateFileA(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    CloseHandle(f);

    auto session = std::make_unique<ExcelSession>(kExcelLaunchNew, 0, 0);
    ASSERT_EQ(kExcelConnected, session->GetStatus());
    EXPECT_TRUE(ComInitialisedMta()) << "the session joins the multithreaded apartment";
    EXPECT_TRUE(standin::ExcelWindowExists());

    char version[200] = "stale";
    session->GetVersion(version, sizeof version);
    EXPECT_STREQ("12.0", version);
    IDispatch *workbooks = session->GetWorkbooks();
    ASSERT_NE(nullptr, workbooks);
    EXPECT_EQ(S_OK, session->SetDisplayAlerts(0));
    IDispatch *workbook = session->AddWorkbook(workbooks, "Varnok");
    ASSERT_NE(nullptr, workbook);
    workbooks->Release();
    IDispatch *installed = session->AddAddin(addin.c_str(), 1);
    ASSERT_NE(nullptr, installed);
    EXPECT_TRUE(WaitForFileGone(marker, 5000)) << "the add-in opened and removed its marker";
    installed->Release();
    workbook->Release();
    session.reset();

    EXPECT_TRUE(standin::WaitForExcelWindowGone(5000)) << "Quit ends the instance";
    EXPECT_FALSE(ComInitialisedMta()) << "closing leaves COM";
    EXPECT_TRUE(TakeLogLines().empty());
    EXPECT_EQ("/R \"" + addin + "\"", OptionsValue("12.0", "OPEN"));

    std::vector<JournalEntry> journal = Journal();
    std::vector<JournalEntry> visible = standin::FindInvokes(journal, "Application", "Visible");
    ASSERT_EQ(1u, visible.size());
    EXPECT_EQ(std::vector<std::string>{"VT_I4:0"}, visible[0].args);
    EXPECT_EQ(std::vector<long>{DISPID_PROPERTYPUT}, visible[0].named);
    std::vector<JournalEntry> alerts =
        standin::FindInvokes(journal, "Application", "DisplayAlerts");
    ASSERT_EQ(1u, alerts.size());
    EXPECT_EQ(std::vector<std::string>{"VT_I4:0"}, alerts[0].args);
    std::vector<JournalEntry> title = standin::FindInvokes(journal, "Workbook", "Title");
    ASSERT_EQ(1u, title.size());
    EXPECT_EQ(std::vector<std::string>{"VT_BSTR:Varnok"}, title[0].args);
    std::vector<JournalEntry> wbAdd = standin::FindInvokes(journal, "Workbooks", "Add");
    ASSERT_EQ(1u, wbAdd.size());
    EXPECT_EQ(DISPATCH_PROPERTYGET, wbAdd[0].flags);
    EXPECT_TRUE(wbAdd[0].args.empty());
    std::vector<JournalEntry> add = standin::FindInvokes(journal, "AddIns", "Add");
    ASSERT_EQ(1u, add.size());
    EXPECT_EQ(DISPATCH_PROPERTYGET, add[0].flags);
    EXPECT_EQ((std::vector<std::string>{"VT_BOOL:-1", "VT_BSTR:" + addin}), add[0].args)
        << "Add(path, True), given last parameter first";
    std::vector<JournalEntry> install = standin::FindInvokes(journal, "AddIn", "Installed");
    ASSERT_EQ(1u, install.size());
    EXPECT_EQ(std::vector<std::string>{"VT_I4:1"}, install[0].args);
    std::vector<JournalEntry> quit = standin::FindInvokes(journal, "Application", "Quit");
    ASSERT_EQ(1u, quit.size());
    EXPECT_EQ(DISPATCH_METHOD, quit[0].flags);
    EXPECT_TRUE(quit[0].args.empty());
    for (const JournalEntry &e : journal) {
        if (e.type == "INVOKE") {
            EXPECT_EQ(0, e.hr) << e.line;
            EXPECT_EQ(0x0800u, e.lcid) << e.line;
        }
    }
    for (const char *kind : {"Workbooks", "Workbook", "AddIns", "AddIn"})
        EXPECT_EQ(1, CountFreed(journal, kind)) << kind << " released once";
    EXPECT_EQ(1, standin::CountEvents(journal, "window-gone"));
}

TEST_F(SessionTest, ProgIdNotRegisteredMeansStatus3AndNoExcel) {
    Configure();
    ASSERT_EQ(1, standin::Unregister(false));
    ExcelSession session(kExcelLaunchNew, 0, 0);
    EXPECT_EQ(kExcelNotRegistered, session.GetStatus());
    EXPECT_FALSE(ComInitialisedMta()) << "COM is left again at once";
    EXPECT_TRUE(Journal().empty()) << "no Excel was started";
    EXPECT_FALSE(standin::ExcelWindowExists());
}

TEST_F(SessionTest, ServerFailingToStartIsStatus2AndComIsLeftAgain) {
    options_.failStart = true;
    Configure();
    ExcelSession session(kExcelLaunchNew, 0, 0);
    EXPECT_EQ(kExcelNotAvailable, session.GetStatus());
    EXPECT_FALSE(ComInitialisedMta());
    std::vector<JournalEntry> journal = Journal();
    EXPECT_EQ(1, standin::CountEvents(journal, "start-failed"));
    EXPECT_EQ(0, standin::CountEvents(journal, "create"));
    EXPECT_FALSE(standin::ExcelWindowExists());
    EXPECT_TRUE(TakeLogLines().empty()) << "the session itself logs nothing";
}

TEST_F(SessionTest, FailedConnectionDoesNotEndTheCallersComUse) {
    Configure();
    ASSERT_EQ(1, standin::Unregister(false));
    ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    {
        ExcelSession session(kExcelLaunchNew, 0, 0);
        EXPECT_EQ(kExcelNotRegistered, session.GetStatus());
        session.Close();
    } // destroying closes once more
    EXPECT_TRUE(ComInitialisedMta()) << "the caller's own initialisation survives";
    CoUninitialize();
}

TEST_F(SessionTest, SessionInAnotherApartmentLeavesTheCallersApartment) {
    Configure();
    ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    {
        ExcelSession session(kExcelLaunchNew, 0, 0);
        EXPECT_EQ(kExcelConnected, session.GetStatus());
        char version[200];
        session.GetVersion(version, sizeof version);
        EXPECT_STREQ("12.0", version);
    }
    EXPECT_EQ(S_FALSE, CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))
        << "the caller's single-threaded apartment is still there";
    CoUninitialize();
    CoUninitialize();
}

TEST_F(SessionTest, KeepComNeverInitialisesCom) {
    Configure();
    // Nobody initialised COM: the session must not do it either, so it cannot reach Excel.
    ExcelSession session(kExcelLaunchNew, 0, 1);
    EXPECT_EQ(kExcelNotAvailable, session.GetStatus());
    EXPECT_FALSE(ComInitialisedMta());
    session.Close();
    EXPECT_FALSE(ComInitialisedMta());
}

TEST_F(SessionTest, KeepComNeverUninitialisesCom) {
    Configure();
    ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    {
        ExcelSession session(kExcelLaunchNew, 0, 1);
        ASSERT_EQ(kExcelConnected, session.GetStatus());
    }
    ASSERT_TRUE(ComInitialisedMta());
    CoUninitialize();
    EXPECT_FALSE(ComInitialisedMta()) << "the count is exactly the caller's one";
    EXPECT_EQ(1u, standin::FindInvokes(Journal(), "Application", "Quit").size());
}

TEST_F(SessionTest, VersionThatIsNotAStringLeavesTheBufferEmpty) {
    options_.versionKind = standin::kVersionNumber;
    Configure();
    {
        ExcelSession session(kExcelLaunchNew, 0, 0);
        ASSERT_EQ(kExcelConnected, session.GetStatus());
        char version[200] = "stale";
        session.GetVersion(version, sizeof version);
        EXPECT_STREQ("", version);
    }
    EXPECT_TRUE(TakeLogLines().empty());
    ASSERT_TRUE(standin::WaitForExcelWindowGone(5000));

    options_.versionKind = standin::kVersionFails;
    Configure();
    ExcelSession session(kExcelLaunchNew, 0, 0);
    ASSERT_EQ(kExcelConnected, session.GetStatus());
    char version[200] = "stale";
    session.GetVersion(version, sizeof version);
    EXPECT_STREQ("", version);
    std::vector<std::string> log = TakeLogLines();
    ASSERT_EQ(1u, log.size());
    EXPECT_EQ(0u, log[0].find("AutoWrap - IDispatch::Invoke(\"Version\"")) << log[0];
}

TEST_F(SessionTest, RejectedAddinIsNullAfterOneFailureAndTheCollectionIsReleased) {
    Configure();
    ExcelSession session(kExcelLaunchNew, 0, 0);
    ASSERT_EQ(kExcelConnected, session.GetStatus());
    std::string missing = ScratchPath("Nowhere\\qubrix.xla");
    EXPECT_EQ(nullptr, session.AddAddin(missing.c_str(), 1));
    std::vector<std::string> log = TakeLogLines();
    ASSERT_EQ(1u, log.size());
    EXPECT_EQ("AutoWrap - IDispatch::Invoke(\"Add\"=00000001) failed w/err 0x800a03ec  "
              "SEV=\"00000001\" FACILITY=\"0000000a\" CODE=\"000003ec\"",
              log[0]);
    std::vector<JournalEntry> journal = Journal();
    EXPECT_EQ(0, CountInvokes(journal, "AddIn", "Installed"));
    EXPECT_EQ(1, CountFreed(journal, "AddIns"));
}

TEST_F(SessionTest, FailingCollectionsGiveNullAndOneLogLineEach) {
    options_.noWorkbooks = true;
    options_.failAddinAdd = true;
    Configure();
    ExcelSession session(kExcelLaunchNew, 0, 0);
    ASSERT_EQ(kExcelConnected, session.GetStatus());
    EXPECT_EQ(nullptr, session.GetWorkbooks());
    EXPECT_EQ(1u, TakeLogLines().size());
    std::string addin = MakeAddinFile("Refused", "qubrix.xla");
    EXPECT_EQ(nullptr, session.AddAddin(addin.c_str(), 1));
    EXPECT_EQ(1u, TakeLogLines().size());
}

TEST_F(SessionTest, WorkbookThatCannotBeAddedIsNullAndGetsNoTitle) {
    options_.failWorkbookAdd = true;
    Configure();
    ExcelSession session(kExcelLaunchNew, 0, 0);
    ASSERT_EQ(kExcelConnected, session.GetStatus());
    IDispatch *workbooks = session.GetWorkbooks();
    ASSERT_NE(nullptr, workbooks);
    EXPECT_EQ(nullptr, session.AddWorkbook(workbooks, "Varnok"));
    EXPECT_EQ(nullptr, session.AddWorkbook(nullptr, "Varnok"));
    workbooks->Release();
    EXPECT_EQ(1u, TakeLogLines().size());
    EXPECT_EQ(0, CountInvokes(Journal(), "Workbook", "Title"));
}

TEST_F(SessionTest, AttachedSessionNeverSendsQuit) {
    Configure();
    auto owner = std::make_unique<ExcelSession>(kExcelLaunchNew, 0, 0);
    ASSERT_EQ(kExcelConnected, owner->GetStatus());
    {
        ExcelSession attached(1, 0, 0);
        ASSERT_EQ(kExcelConnected, attached.GetStatus()) << "the running instance is found";
        char version[200];
        attached.GetVersion(version, sizeof version);
        EXPECT_STREQ("12.0", version);
    }
    EXPECT_EQ(0, CountInvokes(Journal(), "Application", "Quit"));
    EXPECT_EQ(1, standin::CountEvents(Journal(), "start")) << "no second instance";
    EXPECT_TRUE(standin::ExcelWindowExists());
    owner.reset();
    EXPECT_EQ(1, CountInvokes(Journal(), "Application", "Quit"));
    EXPECT_TRUE(standin::WaitForExcelWindowGone(5000));
}

TEST_F(SessionTest, AttachingWithoutARunningExcelIsStatus2) {
    Configure();
    ExcelSession session(0, 0, 0);
    EXPECT_EQ(kExcelNotAvailable, session.GetStatus());
    EXPECT_FALSE(ComInitialisedMta());
    EXPECT_EQ(0, standin::CountEvents(Journal(), "start"));
}

TEST_F(SessionTest, EachNewSessionStartsItsOwnInstance) {
    options_.quitDelayMs = 1500;
    Configure();
    auto first = std::make_unique<ExcelSession>(kExcelLaunchNew, 1, 0);
    auto second = std::make_unique<ExcelSession>(kExcelLaunchNew, 0, 0);
    ASSERT_EQ(kExcelConnected, first->GetStatus());
    ASSERT_EQ(kExcelConnected, second->GetStatus());
    EXPECT_EQ(2, standin::CountEvents(Journal(), "start"));
    std::vector<JournalEntry> visible = standin::FindInvokes(Journal(), "Application", "Visible");
    ASSERT_EQ(2u, visible.size());
    EXPECT_EQ(std::vector<std::string>{"VT_I4:1"}, visible[0].args);
    EXPECT_EQ(std::vector<std::string>{"VT_I4:0"}, visible[1].args);
    first.reset();
    second.reset();
    // A slow quit: the windows are still there for a while after Quit, then go.
    EXPECT_TRUE(standin::ExcelWindowExists());
    EXPECT_TRUE(standin::WaitForExcelWindowGone(8000));
}

TEST_F(SessionTest, ExcelThatNeverQuitsKeepsItsWindow) {
    options_.quitNever = true;
    Configure();
    {
        ExcelSession session(kExcelLaunchNew, 0, 0);
        ASSERT_EQ(kExcelConnected, session.GetStatus());
    }
    EXPECT_EQ(1, CountInvokes(Journal(), "Application", "Quit"));
    EXPECT_FALSE(standin::WaitForExcelWindowGone(1500));
    EXPECT_EQ(1, standin::EndAllInstances());
    EXPECT_FALSE(standin::ExcelWindowExists());
}

TEST_F(SessionTest, MarkerIsKeptWhenTheAddinNeverOpens) {
    options_.markerNever = true;
    Configure();
    std::string addin = MakeAddinFile("Kept", "qubrix.xla");
    // An add-in already listed: the stand-in takes the next free value.
    std::string key = "Software\\Microsoft\\Office\\12.0\\Excel\\Options";
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueA(HKEY_CURRENT_USER, key.c_str(), "OPEN", REG_SZ,
                                             "other.xla", 10));
    std::string marker = ScratchPath("Kept\\install.sem");
    HANDLE f = CreateFileA(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    CloseHandle(f);
    {
        ExcelSession session(kExcelLaunchNew, 0, 0);
        ASSERT_EQ(kExcelConnected, session.GetStatus());
        IDispatch *installed = session.AddAddin(addin.c_str(), 1);
        ASSERT_NE(nullptr, installed);
        installed->Release();
        Sleep(700);
    }
    EXPECT_TRUE(FileExists(marker));
    EXPECT_EQ("other.xla", OptionsValue("12.0", "OPEN"));
    EXPECT_EQ("/R \"" + addin + "\"", OptionsValue("12.0", "OPEN1"));
    EXPECT_EQ(1, standin::CountEvents(Journal(), "marker-kept"));
}

} // namespace
