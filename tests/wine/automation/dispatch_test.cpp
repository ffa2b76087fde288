// AutoWrap and its typed helpers against the stand-in Excel, the BSTR conversions, ReleaseCom
// and the wait timer.
#include "automation/dispatch.h"
#include "automation/wait_timer.h"
#include "tests/support/win_files.h"
#include "tests/wine/automation/test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {
bool g_failAllocation = false;
} // namespace

// AutoWrap's argument memory for this program, in the place of the library's: it fails on demand.
void *AllocateAutoWrapArguments(size_t bytes) {
    return g_failAllocation ? nullptr : std::malloc(bytes);
}

namespace {

using standin::JournalEntry;

const long kUnknownName = static_cast<long>(0x80020006L);    // DISP_E_UNKNOWNNAME
const long kMemberNotFound = static_cast<long>(0x80020003L); // DISP_E_MEMBERNOTFOUND

class DispatchTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
        TakeCapturedLines();
    }
    void TearDown() override {
        g_failAllocation = false;
        if (app_) {
            AutoWrap(kAutoMethod, nullptr, app_, L"Quit", 0);
            app_->Release();
        }
        CoUninitialize();
        standin::WaitForExcelWindowGone(5000);
    }
    void Start() {
        ASSERT_TRUE(SetUpStandin(&options_, "dispatch-journal.txt"));
        CLSID clsid;
        ASSERT_EQ(S_OK, CLSIDFromProgID(L"Excel.Application", &clsid));
        ASSERT_EQ(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch,
                                         reinterpret_cast<void **>(&app_)));
        TakeCapturedLines();
    }
    std::vector<JournalEntry> Journal() const { return standin::ReadJournal(options_.journal); }
    JournalEntry OnlyInvoke(const std::string &object, const std::string &member) const {
        std::vector<JournalEntry> found = standin::FindInvokes(Journal(), object, member);
        EXPECT_EQ(1u, found.size()) << object << "." << member;
        return found.empty() ? JournalEntry() : found[0];
    }
    std::string MakeFile(const std::string &name) {
        std::string path = WorkPath(name);
        EXPECT_TRUE(WriteFileText(path, ""));
        return path;
    }

    standin::Options options_;
    IDispatch *app_ = nullptr;
};

TEST_F(DispatchTest, UnknownMemberIsLoggedByTheLookupAndNeverInvoked) {
    Start();
    VARIANT result;
    VariantInit(&result);
    EXPECT_EQ(kUnknownName, AutoWrap(kAutoGet, &result, app_, L"NoSuchMember", 0));
    std::vector<std::string> log = TakeCapturedLines();
    ASSERT_EQ(1u, log.size());
    EXPECT_EQ("AutoWrap - IDispatch::GetIDsOfNames(\"NoSuchMember\") failed w/err 0x80020006",
              log[0]);
    int lookups = 0;
    for (const JournalEntry &e : Journal()) {
        EXPECT_NE("INVOKE", e.type) << e.line;
        if (e.type == "NAMES" && e.member == "NoSuchMember") {
            ++lookups;
            EXPECT_EQ(0x0400u, e.lcid) << "lookup in LOCALE_USER_DEFAULT";
        }
    }
    EXPECT_EQ(1, lookups);
}

TEST_F(DispatchTest, ReadsAndMethodsCarryNoArgumentsAndNoNamedArgument) {
    Start();
    VARIANT version;
    ASSERT_EQ(1, GetStringProperty(app_, &version, L"Version"));
    EXPECT_STREQ(L"12.0", V_BSTR(&version));
    VariantClear(&version);
    ASSERT_EQ(S_OK, AutoWrap(kAutoMethod, nullptr, app_, L"Quit", 0));

    JournalEntry read = OnlyInvoke("Application", "Version");
    EXPECT_EQ(DISPATCH_PROPERTYGET, read.flags);
    EXPECT_TRUE(read.args.empty());
    EXPECT_TRUE(read.named.empty());
    EXPECT_EQ(0x0800u, read.lcid) << "call in LOCALE_SYSTEM_DEFAULT";
    JournalEntry quit = OnlyInvoke("Application", "Quit");
    EXPECT_EQ(DISPATCH_METHOD, quit.flags);
    EXPECT_TRUE(quit.args.empty());
    EXPECT_TRUE(quit.named.empty());
    EXPECT_EQ(0x0800u, quit.lcid);
    for (const JournalEntry &e : Journal()) {
        if (e.type == "NAMES") {
            EXPECT_EQ(0x0400u, e.lcid) << e.line;
        }
    }
    EXPECT_TRUE(TakeCapturedLines().empty());
}

TEST_F(DispatchTest, PropertyWritesCarryExactlyTheNamedArgumentPropertyPut) {
    Start();
    EXPECT_EQ(S_OK, SetBoolProperty(app_, L"DisplayAlerts", 7));
    EXPECT_EQ(S_OK, SetBoolProperty(app_, L"DisplayAlerts", 0));
    std::vector<JournalEntry> writes =
        standin::FindInvokes(Journal(), "Application", "DisplayAlerts");
    ASSERT_EQ(2u, writes.size());
    EXPECT_EQ(std::vector<std::string>{"VT_I4:1"}, writes[0].args);
    EXPECT_EQ(std::vector<std::string>{"VT_I4:0"}, writes[1].args);
    for (const JournalEntry &w : writes) {
        EXPECT_EQ(DISPATCH_PROPERTYPUT, w.flags);
        EXPECT_EQ(std::vector<long>{DISPID_PROPERTYPUT}, w.named);
        EXPECT_EQ(0, w.hr);
    }
}

TEST_F(DispatchTest, ArgumentsReachInvokeInTheOrderGivenAndStayTheCallers) {
    Start();
    std::string path = MakeFile("order.xla");
    IDispatch *addins = GetObjectProperty(app_, L"Addins");
    ASSERT_NE(nullptr, addins);
    VARIANT flag, file, result;
    VariantInit(&flag);
    V_VT(&flag) = VT_BOOL;
    V_BOOL(&flag) = VARIANT_TRUE;
    VariantInit(&file);
    V_VT(&file) = VT_BSTR;
    V_BSTR(&file) = ToBstr(path.c_str());
    VariantInit(&result);
    EXPECT_EQ(S_OK, AutoWrap(kAutoGet, &result, addins, L"Add", 2, flag, file));
    EXPECT_EQ(VT_DISPATCH, V_VT(&result));
    // The string still belongs to the caller and is intact.
    char back[MAX_PATH];
    ASSERT_GT(BstrToAnsi(V_BSTR(&file), back, sizeof back), 0);
    EXPECT_EQ(path, back);
    VariantClear(&file);
    VariantClear(&result);
    addins->Release();

    JournalEntry add = OnlyInvoke("AddIns", "Add");
    ASSERT_EQ(2u, add.args.size());
    EXPECT_EQ("VT_BOOL:-1", add.args[0]);
    EXPECT_EQ("VT_BSTR:" + path, add.args[1]);
    EXPECT_TRUE(add.named.empty());
}

TEST_F(DispatchTest, InvokeFailureIsLoggedWithItsParts) {
    Start();
    VARIANT value;
    VariantInit(&value);
    V_VT(&value) = VT_I4;
    V_I4(&value) = 1;
    // "Version" cannot be written: the stand-in refuses the write.
    EXPECT_EQ(kMemberNotFound, AutoWrap(kAutoPut, nullptr, app_, L"Version", 1, value));
    std::vector<std::string> log = TakeCapturedLines();
    ASSERT_EQ(1u, log.size());
    EXPECT_EQ("AutoWrap - IDispatch::Invoke(\"Version\"=00000001) failed w/err 0x80020003  "
              "SEV=\"00000001\" FACILITY=\"00000002\" CODE=\"00000003\"",
              log[0]);
}

TEST_F(DispatchTest, ArgumentArrayThatCannotBeAllocatedFailsLikeInvoke) {
    Start();
    g_failAllocation = true;
    VARIANT result;
    VariantInit(&result);
    EXPECT_EQ(E_OUTOFMEMORY, AutoWrap(kAutoGet, &result, app_, L"Version", 0));
    g_failAllocation = false;
    std::vector<std::string> log = TakeCapturedLines();
    ASSERT_EQ(1u, log.size());
    EXPECT_EQ("AutoWrap - IDispatch::Invoke(\"Version\"=00000001) failed w/err 0x8007000e  "
              "SEV=\"00000001\" FACILITY=\"00000007\" CODE=\"0000000e\"",
              log[0]);
    EXPECT_EQ(0, CountInvokes(Journal(), "Application", "Version"));
}

TEST_F(DispatchTest, MissingObjectOrNameIsAFailedLookupNotACrash) {
    VARIANT result;
    VariantInit(&result);
    EXPECT_EQ(E_POINTER, AutoWrap(kAutoGet, &result, nullptr, L"Version", 0));
    std::vector<std::string> log = TakeCapturedLines();
    ASSERT_EQ(1u, log.size());
    EXPECT_EQ("AutoWrap - IDispatch::GetIDsOfNames(\"Version\") failed w/err 0x80004003", log[0]);
    // The typed helpers pass the failure on as their own kind of result.
    EXPECT_EQ(nullptr, GetObjectProperty(nullptr, L"Workbooks"));
    EXPECT_TRUE(TakeCapturedLines().empty()) << "a null object is not even looked up";
    VARIANT text;
    EXPECT_EQ(0, GetStringProperty(nullptr, &text, L"Version"));
    EXPECT_EQ(VT_EMPTY, V_VT(&text));
    EXPECT_EQ(E_POINTER, SetBoolProperty(nullptr, L"Visible", 1));
    TakeCapturedLines();

    // A name longer than the log's 255 characters is cut, never left unterminated.
    std::wstring longName(300, L'N');
    EXPECT_EQ(E_POINTER, AutoWrap(kAutoGet, &result, nullptr, longName.c_str(), 0));
    log = TakeCapturedLines();
    ASSERT_EQ(1u, log.size());
    EXPECT_EQ("AutoWrap - IDispatch::GetIDsOfNames(\"" + std::string(255, 'N') +
                  "\") failed w/err 0x80004003",
              log[0]);
}

TEST_F(DispatchTest, TypedHelpersTurnFailuresIntoTheirResults) {
    options_.versionKind = standin::kVersionNumber;
    Start();
    IDispatch *workbooks = GetObjectProperty(app_, L"Workbooks");
    ASSERT_NE(nullptr, workbooks);
    IDispatch *workbook = GetObjectProperty(workbooks, L"Add");
    ASSERT_NE(nullptr, workbook);

    VARIANT title;
    VariantInit(&title);
    V_VT(&title) = VT_BSTR;
    V_BSTR(&title) = ToBstr("Varnok");
    EXPECT_EQ(1, SetProperty(workbook, L"Title", &title));
    EXPECT_STREQ(L"Varnok", V_BSTR(&title)) << "the value stays the caller's";
    VariantClear(&title);
    JournalEntry write = OnlyInvoke("Workbook", "Title");
    EXPECT_EQ(std::vector<std::string>{"VT_BSTR:Varnok"}, write.args);
    EXPECT_EQ(std::vector<long>{DISPID_PROPERTYPUT}, write.named);
    TakeCapturedLines();

    VARIANT number;
    VariantInit(&number);
    V_VT(&number) = VT_I4;
    EXPECT_EQ(0, SetProperty(workbook, L"Author", &number));
    EXPECT_EQ(1u, TakeCapturedLines().size());

    // A value that is not a string is not a string property, and not an object either.
    VARIANT version;
    EXPECT_EQ(0, GetStringProperty(app_, &version, L"Version"));
    EXPECT_EQ(VT_I4, V_VT(&version));
    EXPECT_EQ(12, V_I4(&version));
    VariantClear(&version);
    EXPECT_EQ(nullptr, GetObjectProperty(app_, L"Version"));
    EXPECT_TRUE(TakeCapturedLines().empty());

    workbook->Release();
    workbooks->Release();
}

TEST(BstrConversion, RoundTripsAnsiText) {
    BSTR empty = ToBstr(nullptr);
    ASSERT_NE(nullptr, empty);
    EXPECT_EQ(0u, SysStringLen(empty));
    SysFreeString(empty);

    BSTR text = ToBstr("C:\\Program Files\\Varnok\\qubrix.xla");
    ASSERT_NE(nullptr, text);
    EXPECT_STREQ(L"C:\\Program Files\\Varnok\\qubrix.xla", text);
    EXPECT_EQ(34u, SysStringLen(text));
    char back[64];
    EXPECT_EQ(35, BstrToAnsi(text, back, sizeof back)) << "terminator included";
    EXPECT_STREQ("C:\\Program Files\\Varnok\\qubrix.xla", back);
    SysFreeString(text);

    if (GetACP() == 1252) {
        BSTR accented = ToBstr("caf\xe9");
        EXPECT_STREQ(L"caf\x00e9", accented);
        EXPECT_EQ(5, BstrToAnsi(accented, back, sizeof back));
        EXPECT_STREQ("caf\xe9", back);
        SysFreeString(accented);
    }
}

TEST(BstrConversion, NeverLeavesACutUnterminatedText) {
    char buffer[8];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(1, BstrToAnsi(nullptr, buffer, sizeof buffer)) << "a null BSTR is the empty text";
    EXPECT_STREQ("", buffer);

    BSTR longText = ToBstr("16.0.12345.20000");
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(0, BstrToAnsi(longText, buffer, sizeof buffer));
    EXPECT_STREQ("", buffer);
    EXPECT_EQ(0, BstrToAnsi(longText, buffer, 0));
    EXPECT_EQ(0, BstrToAnsi(longText, nullptr, 8));
    SysFreeString(longText);
}

TEST(ReleaseCom, KeepComLeavesTheApartmentAlone) {
    ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    EXPECT_EQ(5, ReleaseCom(5));
    EXPECT_EQ(S_FALSE, CoInitializeEx(nullptr, COINIT_MULTITHREADED)) << "still initialised";
    CoUninitialize();
    EXPECT_EQ(0, ReleaseCom(0));
    EXPECT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED)) << "uninitialised by it";
    CoUninitialize();
}

// ---- WaitTimer ------------------------------------------------------------------------------

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) / frequency.QuadPart;
}

TEST(WaitTimer, WaitsAboutOneSecondEachAndReportsNoError) {
    WaitTimer timer;
    char message[300] = "untouched";
    EXPECT_EQ(0, timer.TakeError(message, sizeof message));
    EXPECT_STREQ("", message);

    LARGE_INTEGER t0, t1, t2;
    QueryPerformanceCounter(&t0);
    EXPECT_EQ(1, timer.Wait());
    QueryPerformanceCounter(&t1);
    EXPECT_EQ(1, timer.Wait());
    QueryPerformanceCounter(&t2);
    // Loose bounds: the point is "about a second", not the precision of the machine.
    EXPECT_GE(Seconds(t0, t1), 0.8);
    EXPECT_LT(Seconds(t0, t1), 3.0);
    EXPECT_GE(Seconds(t0, t2), 1.7);
    EXPECT_LT(Seconds(t0, t2), 6.0);

    std::strcpy(message, "untouched");
    EXPECT_EQ(0, timer.TakeError(message, sizeof message));
    EXPECT_STREQ("", message);
    EXPECT_EQ(1, timer.Close());
    EXPECT_EQ(0, timer.Close()) << "no handle left to close";
}

TEST(WaitTimer, FailuresAreKeptUntilTaken) {
    // Another kind of object holding the timer's name makes the timer impossible to create.
    HANDLE squatter = CreateMutexA(nullptr, FALSE, "VNXWaitTimer");
    ASSERT_NE(nullptr, squatter);
    WaitTimer timer;
    char message[300];
    ASSERT_EQ(1, timer.TakeError(message, sizeof message));
    EXPECT_STREQ("CreateWaitableTimer failed (6)\n", message);
    EXPECT_EQ(0, timer.TakeError(message, sizeof message)) << "taking resets the status";
    EXPECT_STREQ("", message);

    EXPECT_EQ(0, timer.Wait());
    char shortMessage[10];
    EXPECT_EQ(1, timer.TakeError(shortMessage, sizeof shortMessage));
    EXPECT_STREQ("SetWaitab", shortMessage) << "cut to the caller's maximum";
    EXPECT_EQ(0, timer.Close());
    CloseHandle(squatter);
}

} // namespace
