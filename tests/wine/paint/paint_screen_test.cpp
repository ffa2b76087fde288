// The built installer's main window as the screen shows it, with the welcome dialog hidden. Run
// twice: as is, and with "msimg32.dll" disabled through a DLL override (VNX_EXPECT_GRADIENT=0),
// when the title bar must be solid dark blue.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "resources/resource_ids.h"
#include "tests/guidriver/gui_driver.h"
#include "tests/support/environment.h"
#include "tests/support/pixels.h"

namespace {

const char kMainClass[] = "VarnexSpreadsheetAddInInstallerClass";

bool ExpectGradient() {
    return Env("VNX_EXPECT_GRADIENT") != "0";
}

// The title bar's height: the system font's line, as the paint context starts with it.
int BarHeight() {
    HDC screen = GetDC(nullptr);
    HGDIOBJ old = SelectObject(screen, GetStockObject(SYSTEM_FONT));
    TEXTMETRICA metrics = {};
    GetTextMetricsA(screen, &metrics);
    SelectObject(screen, old);
    ReleaseDC(nullptr, screen);
    return metrics.tmHeight + metrics.tmExternalLeading + 2;
}

// The main window's client area as one screenshot showed it.
struct ClientView {
    HWND window = nullptr;
    RECT client = {};
    POINT origin = {};
    gui::Screenshot shot;

    int Width() const { return client.right; }
    int Height() const { return client.bottom; }
    DWORD At(int x, int y) const { return shot.At(origin.x + x, origin.y + y) & 0xFFFFFF; }
    bool Take(HWND w) {
        window = w;
        GetClientRect(w, &client);
        origin = gui::ClientToScreenPoint(w, 0, 0);
        return gui::TakeScreenshot(&shot) && origin.x >= 0 && origin.y >= 0 &&
               origin.x + client.right <= shot.width && origin.y + client.bottom <= shot.height;
    }
};

constexpr DWORD kLogoInk = 0xB01226;

// Pixels of the word mark's ink in the logo strip at (18, bottom - 14 - 3).
int LogoInk(const ClientView &view) {
    int ink = 0;
    const int top = view.Height() - 14 - 3;
    for (int y = top; y < top + 14; ++y) {
        for (int x = 18; x < 18 + 99; ++x)
            ink += view.At(x, y) == kLogoInk;
    }
    return ink;
}

DWORD ExpectedBarStart() {
    return ExpectGradient() ? Rgb(GetSysColor(COLOR_ACTIVECAPTION)) : 0x0000A6;
}

// Starts Setup.exe, waits for the welcome dialog over the main window, hides the dialog and has
// the main window painted again: the picture is then the main window's alone. The repaint must
// not start the wizard a second time.
bool ShowPaintedMainWindow(gui::Process &setup, ClientView *view, const std::string &pngPath,
                           HWND *welcome) {
    if (!setup.Start(EnvPath("VNX_SETUP_EXE"), ""))
        return false;
    HWND window = gui::WaitForWindow(kMainClass, nullptr, setup.Id());
    *welcome = window ? gui::WaitForDialogWith(setup.Id(), IDC_WELCOME_TEXT, 20000) : nullptr;
    if (!*welcome)
        return false;
    ShowWindowAsync(*welcome, SW_HIDE);
    gui::WaitForWindowGone(*welcome, 5000);
    InvalidateRect(window, nullptr, TRUE);
    const int bar = BarHeight();
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < 20000) {
        // The program may flush its drawing to the screen in parts: the picture is complete
        // once the logo strip, drawn last, shows its word mark.
        if (gui::IsShownAndValidated(window) && view->Take(window) &&
            Near(view->At(0, bar / 2), ExpectedBarStart(), 2) && LogoInk(*view) > 0) {
            RECT frame = {};
            GetWindowRect(window, &frame);
            if (!pngPath.empty())
                gui::SaveScreenshot(pngPath, &frame);
            return true;
        }
        Sleep(50);
    }
    return false;
}

TEST(MainWindowOnScreen, GradientLibraryIsAsThisRunExpects) {
    HMODULE library = LoadLibraryA("msimg32.dll");
    if (ExpectGradient()) {
        EXPECT_NE(library, nullptr);
    } else {
        EXPECT_EQ(library, nullptr) << "the DLL override did not disable msimg32.dll";
    }
    if (library)
        FreeLibrary(library);
}

TEST(MainWindowOnScreen, FirstPaintShowsTitleBarBannerAndLogo) {
    const std::string dir = Env("VNX_SCREENSHOT_DIR");
    const std::string png =
        dir.empty() ? "" : dir + (ExpectGradient() ? "/main_window.png" : "/main_window_solid.png");
    ClientView view;
    gui::Process setup;
    HWND welcome = nullptr;
    ASSERT_TRUE(ShowPaintedMainWindow(setup, &view, png, &welcome))
        << "the main window's finished picture never reached the screen";
    EXPECT_EQ(gui::FindDialogWith(setup.Id(), IDC_WELCOME_TEXT), nullptr)
        << "a repaint must not start the wizard again";
    EXPECT_TRUE(IsWindow(welcome));
    // Cancel on the welcome dialog ends the run without a message.
    ShowWindowAsync(welcome, SW_SHOW);
    gui::PressButton(welcome, IDCANCEL);
    EXPECT_EQ(setup.WaitForExit(), 0);

    const int bar = BarHeight();
    const int w = view.Width(), h = view.Height();
    const DWORD face = Rgb(GetSysColor(COLOR_BTNFACE));
    ASSERT_GT(w, 200);
    ASSERT_GT(h, 120);

    // Title bar: left end in the caption colour (or solid), right end in the button face.
    EXPECT_EQ(Hex(view.At(0, bar / 2)), Hex(ExpectedBarStart()));
    EXPECT_TRUE(Near(view.At(1, bar - 1), ExpectedBarStart(), 2)) << Hex(view.At(1, bar - 1));
    if (ExpectGradient()) {
        EXPECT_TRUE(Near(view.At(w - 1, bar / 2), face, 3)) << Hex(view.At(w - 1, bar / 2));
    } else {
        EXPECT_EQ(Hex(view.At(w - 1, bar / 2)), "0000A6");
        EXPECT_EQ(Hex(view.At(w / 2, 0)), "0000A6");
    }
    EXPECT_EQ(Hex(view.At(0, bar)), Hex(face)) << "below the bar";

    // The banner is white and ends in an etched line; the logo strip's ground is the face.
    EXPECT_EQ(Hex(view.At(w - 3, bar + 2)), "FFFFFF");
    EXPECT_EQ(Hex(view.At(2, bar + 2)), "FFFFFF");
    const int stripTop = h - 14 - 3;
    EXPECT_EQ(Hex(view.At(18, stripTop)), Hex(face)) << "logo strip, top left";
    EXPECT_EQ(Hex(view.At(18 + 98, stripTop + 13)), Hex(face)) << "logo strip, bottom right";
    int ground = 0;
    for (int y = stripTop; y < stripTop + 14; ++y) {
        for (int x = 18; x < 18 + 99; ++x) {
            const DWORD p = view.At(x, y);
            ground += p == 0xFFFFFF || p == 0xFFEFEF || p == 0xFFDFDF;
        }
    }
    EXPECT_GT(LogoInk(view), 100) << "the word mark is drawn";
    EXPECT_EQ(ground, 0) << "no white or pale pink is left around the word mark";
    // The side picture's top left at (20, 74) is its dark blue, not the face.
    EXPECT_FALSE(Near(view.At(20, 74), face, 30)) << Hex(view.At(20, 74));
}

} // namespace
