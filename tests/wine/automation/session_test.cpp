// ExcelSession against the stand-in Excel: the calls it makes and what it makes of the answers.
#include "tests/wine/automation/session_fixture.h"

namespace {

TEST_F(SessionTest, InstallsAnAddinWithTheCallsExcelExpects) {
    options_.markerDelayMs = 300;
    Configure();
    std::string addin = MakeAddinFile("Product", "qubrix.xla");
    std::string marker = WorkPath("Product\\install.sem");
    WriteFileText(marker, "");

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
    EXPECT_EQ(1, session->SetVisible(0));
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
    EXPECT_TRUE(TakeCapturedLines().empty());
    EXPECT_EQ("/R \"" + addin + "\"", OptionsValue("12.0", "OPEN"));

    std::vector<JournalEntry> journal = Journal();
    std::vector<JournalEntry> visible = standin::FindInvokes(journal, "Application", "Visible");
    ASSERT_EQ(2u, visible.size()) << "once by create, once by the test";
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
        EXPECT_EQ(1, standin::CountFreed(journal, kind)) << kind << " released once";
    EXPECT_EQ(1, standin::CountEvents(journal, "window-gone"));
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
    EXPECT_TRUE(TakeCapturedLines().empty());
    ASSERT_TRUE(standin::WaitForExcelWindowGone(5000));

    options_.versionKind = standin::kVersionFails;
    Configure();
    ExcelSession session(kExcelLaunchNew, 0, 0);
    ASSERT_EQ(kExcelConnected, session.GetStatus());
    char version[200] = "stale";
    session.GetVersion(version, sizeof version);
    EXPECT_STREQ("", version);
    std::vector<std::string> log = TakeCapturedLines();
    ASSERT_EQ(1u, log.size());
    EXPECT_EQ(0u, log[0].find("AutoWrap - IDispatch::Invoke(\"Version\"")) << log[0];
}

TEST_F(SessionTest, RejectedAddinIsNullAfterOneFailureAndTheCollectionIsReleased) {
    Configure();
    ExcelSession session(kExcelLaunchNew, 0, 0);
    ASSERT_EQ(kExcelConnected, session.GetStatus());
    std::string missing = WorkPath("Nowhere\\qubrix.xla");
    EXPECT_EQ(nullptr, session.AddAddin(missing.c_str(), 1));
    std::vector<std::string> log = TakeCapturedLines();
    ASSERT_EQ(1u, log.size());
    EXPECT_EQ("AutoWrap - IDispatch::Invoke(\"Add\"=00000001) failed w/err 0x800a03ec  "
              "SEV=\"00000001\" FACILITY=\"0000000a\" CODE=\"000003ec\"",
              log[0]);
    std::vector<JournalEntry> journal = Journal();
    EXPECT_EQ(0, CountInvokes(journal, "AddIn", "Installed"));
    EXPECT_EQ(1, standin::CountFreed(journal, "AddIns"));
}

TEST_F(SessionTest, FailingCollectionsGiveNullAndOneLogLineEach) {
    options_.noWorkbooks = true;
    options_.failAddinAdd = true;
    Configure();
    ExcelSession session(kExcelLaunchNew, 0, 0);
    ASSERT_EQ(kExcelConnected, session.GetStatus());
    EXPECT_EQ(nullptr, session.GetWorkbooks());
    EXPECT_EQ(1u, TakeCapturedLines().size());
    std::string addin = MakeAddinFile("Refused", "qubrix.xla");
    EXPECT_EQ(nullptr, session.AddAddin(addin.c_str(), 1));
    EXPECT_EQ(1u, TakeCapturedLines().size());
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
    EXPECT_EQ(1u, TakeCapturedLines().size());
    EXPECT_EQ(0, CountInvokes(Journal(), "Workbook", "Title"));
}

TEST_F(SessionTest, MarkerIsKeptWhenTheAddinNeverOpens) {
    options_.markerNever = true;
    Configure();
    std::string addin = MakeAddinFile("Kept", "qubrix.xla");
    // Add-ins already listed: the stand-in takes the first free value.
    ASSERT_EQ(1, standin::WriteOptionsValue("12.0", "OPEN", "other.xla"));
    ASSERT_EQ(1, standin::WriteOptionsValue("12.0", "OPEN2", "third.xla"));
    std::string marker = WorkPath("Kept\\install.sem");
    WriteFileText(marker, "");
    {
        ExcelSession session(kExcelLaunchNew, 0, 0);
        ASSERT_EQ(kExcelConnected, session.GetStatus());
        IDispatch *installed = session.AddAddin(addin.c_str(), 1);
        ASSERT_NE(nullptr, installed);
        installed->Release();
        Sleep(700);
    }
    EXPECT_TRUE(PathExists(marker));
    EXPECT_EQ("other.xla", OptionsValue("12.0", "OPEN"));
    EXPECT_EQ("third.xla", OptionsValue("12.0", "OPEN2"));
    EXPECT_EQ("/R \"" + addin + "\"", OptionsValue("12.0", "OPEN1"));
    EXPECT_EQ(1, standin::CountEvents(Journal(), "marker-kept"));
}

} // namespace
