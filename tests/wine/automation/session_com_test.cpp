// ExcelSession against the stand-in Excel: connecting, COM ownership, and the instances it
// starts, attaches to and ends.
#include "tests/wine/automation/session_fixture.h"
#include "tests/support/registry.h"

namespace {

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
    EXPECT_TRUE(TakeCapturedLines().empty()) << "the session itself logs nothing";
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

// Runs the stand-in with a command line and returns its exit code (DWORD(-1) when it did not run).
DWORD RunStandin(const std::string &arguments) {
    return RunProgram("\"" + standin::ExePathFromEnvironment() + "\" " + arguments, "", nullptr,
                      30000);
}

bool ClassesKeyExists(HKEY root, const std::string &path) {
    return KeyExists(root, "Software\\Classes\\" + path);
}

TEST_F(SessionTest, StandinRegistersAndUnregistersItself) {
    Configure();
    ASSERT_EQ(1, standin::Unregister(false));
    const std::string server =
        std::string("CLSID\\") + standin::kStandinClsidText + "\\LocalServer32";
    EXPECT_EQ(0u, RunStandin("/regserver"));
    EXPECT_TRUE(ClassesKeyExists(HKEY_LOCAL_MACHINE, "Excel.Application\\CLSID"));
    EXPECT_TRUE(ClassesKeyExists(HKEY_LOCAL_MACHINE, server));
    {
        ExcelSession session(kExcelLaunchNew, 0, 0);
        EXPECT_EQ(kExcelConnected, session.GetStatus());
    }
    EXPECT_EQ(0u, RunStandin("/unregserver"));
    EXPECT_FALSE(ClassesKeyExists(HKEY_LOCAL_MACHINE, "Excel.Application"));
    EXPECT_FALSE(ClassesKeyExists(HKEY_LOCAL_MACHINE, server));

    EXPECT_EQ(0u, RunStandin("/regserver /user"));
    EXPECT_TRUE(ClassesKeyExists(HKEY_CURRENT_USER, server));
    EXPECT_EQ(0u, RunStandin("/unregserver /user"));
    EXPECT_FALSE(ClassesKeyExists(HKEY_CURRENT_USER, server));
    EXPECT_EQ(2u, RunStandin("")) << "without a switch it refuses to run";
}

} // namespace
