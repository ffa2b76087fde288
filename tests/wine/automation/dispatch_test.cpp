#include "automation/dispatch.h"
#include "tests/wine/automation/test_support.h"

#include <gtest/gtest.h>

namespace {

class DispatchTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SetUpStandin(&options_, "dispatch-journal.txt"));
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
        CLSID clsid;
        ASSERT_EQ(S_OK, CLSIDFromProgID(L"Excel.Application", &clsid));
        ASSERT_EQ(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch,
                                         reinterpret_cast<void **>(&app_)));
        TakeLogLines();
    }
    void TearDown() override {
        if (app_) {
            AutoWrap(kAutoMethod, nullptr, app_, L"Quit", 0);
            app_->Release();
        }
        CoUninitialize();
        standin::WaitForExcelWindowGone(5000);
    }
    std::vector<standin::JournalEntry> Journal() const { return standin::ReadJournal(options_.journal); }

    standin::Options options_;
    IDispatch *app_ = nullptr;
};

TEST_F(DispatchTest, ReadsVersionThroughTheStandin) {
    VARIANT v;
    ASSERT_EQ(1, GetStringProperty(app_, &v, L"Version"));
    char text[64];
    EXPECT_GT(BstrToAnsi(V_BSTR(&v), text, sizeof text), 0);
    EXPECT_STREQ("12.0", text);
    VariantClear(&v);
    EXPECT_TRUE(standin::ExcelWindowExists());
}

} // namespace
