// The main window's painting, in process: colour replacement on crafted bitmaps, the window size
// formula, and the whole picture painted into a memory bitmap and checked pixel by pixel. This
// program carries the installer's own resources (strings and bitmaps).
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <utility>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "app/installer_state.h"
#include "app/main_window.h"
#include "app/paint.h"
#include "resources/resource_ids.h"
#include "tests/support/pixels.h"

namespace {

// A 24-bit section filled from `pixels` (0x00RRGGBB, top to bottom).
HBITMAP MakeBitmap(int width, int height, const std::vector<DWORD> &pixels) {
    BITMAPINFO info = TopDownBitmapInfo(width, height, 24);
    void *bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap)
        return nullptr;
    const int stride = (width * 3 + 3) & ~3;
    for (int y = 0; y < height; ++y) {
        auto *row = static_cast<BYTE *>(bits) + y * stride;
        for (int x = 0; x < width; ++x) {
            const DWORD p = pixels[static_cast<size_t>(y) * width + x];
            row[3 * x] = p & 0xFF;
            row[3 * x + 1] = (p >> 8) & 0xFF;
            row[3 * x + 2] = (p >> 16) & 0xFF;
        }
    }
    return bitmap;
}

HBITMAP LoadResourceBitmap(int id) {
    return LoadBitmapA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id));
}

// ---- ReplaceColor --------------------------------------------------------------------------

TEST(ReplaceColor, ReplacesExactlyTheFromColourInACopy) {
    const COLORREF from = RGB(10, 20, 30);
    const COLORREF to = RGB(200, 100, 50);
    // The from colour, its red/blue mirror, near misses in each component, the to colour.
    const std::vector<DWORD> source = {0x0A141E, 0x1E140A, 0x0B141E, 0x0A151E, 0x0A141F, //
                                       0xC86432, 0xFFFFFF, 0x0A141E, 0x000000, 0x0A141E, //
                                       0x0A141E, 0x0A141E, 0x091413, 0x0A131E, 0x0A141D};
    HBITMAP bitmap = MakeBitmap(5, 3, source);
    ASSERT_NE(bitmap, nullptr);

    HBITMAP copy = ReplaceColor(bitmap, from, to);
    ASSERT_NE(copy, nullptr);
    ASSERT_NE(copy, bitmap);

    DIBSECTION section = {};
    ASSERT_EQ(GetObjectA(copy, sizeof(section), &section), static_cast<int>(sizeof(section)))
        << "the copy is a device-independent section";
    EXPECT_EQ(section.dsBm.bmBitsPixel, 32);
    EXPECT_EQ(section.dsBm.bmWidth, 5);
    EXPECT_EQ(section.dsBm.bmHeight, 3);

    const Pixels result = ReadPixels(copy);
    const Pixels unchanged = ReadPixels(bitmap);
    for (int i = 0; i < 15; ++i) {
        const int x = i % 5, y = i / 5;
        const DWORD expected = source[i] == 0x0A141E ? Rgb(to) : source[i];
        EXPECT_EQ(Hex(result.At(x, y)), Hex(expected)) << "pixel " << x << "," << y;
        EXPECT_EQ(Hex(unchanged.At(x, y)), Hex(source[i])) << "source pixel " << x << "," << y;
    }
    DeleteObject(copy);
    DeleteObject(bitmap);
}

TEST(ReplaceColor, NullInNullOut) {
    EXPECT_EQ(ReplaceColor(nullptr, RGB(255, 255, 255), RGB(0, 0, 0)), nullptr);
    // Something that is not a bitmap cannot be copied either.
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    EXPECT_EQ(ReplaceColor(reinterpret_cast<HBITMAP>(brush), RGB(1, 2, 3), 0), nullptr);
    DeleteObject(brush);
}

TEST(ReplaceColor, LeavesTheSourceUsableAndSelectable) {
    HBITMAP bitmap = MakeBitmap(2, 1, {0xFFFFFF, 0x123456});
    ASSERT_NE(bitmap, nullptr);
    HBITMAP first = ReplaceColor(bitmap, RGB(255, 255, 255), RGB(1, 2, 3));
    HBITMAP second = ReplaceColor(bitmap, RGB(0x12, 0x34, 0x56), RGB(255, 0, 0));
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr) << "the source was left selected somewhere";
    EXPECT_EQ(Hex(ReadPixels(first).At(0, 0)), "010203");
    EXPECT_EQ(Hex(ReadPixels(second).At(1, 0)), "FF0000");
    EXPECT_EQ(Hex(ReadPixels(second).At(0, 0)), "FFFFFF");
    DeleteObject(first);
    DeleteObject(second);
    DeleteObject(bitmap);
}

// ---- The logo strip ------------------------------------------------------------------------

bool IsLogoGround(DWORD pixel) {
    return pixel == 0xFFFFFF || pixel == 0xFFEFEF || pixel == 0xFFDFDF;
}

TEST(LogoStrip, GroundAndPalePinksTakeTheBackgroundColour) {
    HBITMAP logo = LoadResourceBitmap(IDB_LOGO_STRIP);
    ASSERT_NE(logo, nullptr);
    const Pixels loaded = ReadPixels(logo);
    ASSERT_EQ(loaded.width, 99);
    ASSERT_EQ(loaded.height, 14);

    int counts[3] = {};
    for (DWORD pixel : loaded.data) {
        counts[0] += (pixel & 0xFFFFFF) == 0xFFFFFF;
        counts[1] += (pixel & 0xFFFFFF) == 0xFFEFEF;
        counts[2] += (pixel & 0xFFFFFF) == 0xFFDFDF;
    }
    EXPECT_GT(counts[0], 0) << "white ground";
    EXPECT_GT(counts[1], 0) << "the faintest edge pink (255, 239, 239)";
    EXPECT_GT(counts[2], 0) << "the pale edge pink (255, 223, 223)";

    const COLORREF background = RGB(212, 208, 200);
    HBITMAP strip = MakeLogoStrip(logo, background);
    ASSERT_NE(strip, nullptr);
    const Pixels made = ReadPixels(strip);
    int ink = 0;
    for (int y = 0; y < 14; ++y) {
        for (int x = 0; x < 99; ++x) {
            const DWORD was = loaded.At(x, y);
            const DWORD expected = IsLogoGround(was) ? Rgb(background) : was;
            ASSERT_EQ(Hex(made.At(x, y)), Hex(expected)) << x << "," << y;
            ink += !IsLogoGround(was);
        }
    }
    EXPECT_GT(ink, 100) << "the logo itself is kept";
    EXPECT_EQ(Hex(ReadPixels(logo).At(0, 0)), "FFFFFF") << "the loaded logo is not changed";
    DeleteObject(strip);
    DeleteObject(logo);
}

TEST(LogoStrip, OnAWhiteButtonFaceTheGroundStaysWhite) {
    HBITMAP logo = LoadResourceBitmap(IDB_LOGO_STRIP);
    ASSERT_NE(logo, nullptr);
    HBITMAP strip = MakeLogoStrip(logo, RGB(255, 255, 255));
    ASSERT_NE(strip, nullptr);
    const Pixels loaded = ReadPixels(logo);
    const Pixels made = ReadPixels(strip);
    for (size_t i = 0; i < made.data.size(); ++i) {
        const DWORD was = loaded.data[i] & 0xFFFFFF;
        EXPECT_EQ(Hex(made.data[i] & 0xFFFFFF), Hex(IsLogoGround(was) ? 0xFFFFFF : was));
    }
    DeleteObject(strip);
    DeleteObject(logo);
    EXPECT_EQ(MakeLogoStrip(nullptr, RGB(1, 2, 3)), nullptr);
}

TEST(Artwork, BitmapsHaveTheirSizesAndDepths) {
    struct Expected {
        int id, width, height, bits;
    } expected[] = {{IDB_PRODUCT_ICON, 48, 48, 4},
                    {IDB_SIDE_PICTURE, 60, 200, 24},
                    {IDB_TITLE_ICON, 16, 16, 24},
                    {IDB_LOGO_STRIP, 99, 14, 24}};
    HMODULE module = GetModuleHandleA(nullptr);
    for (const Expected &e : expected) {
        HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(e.id), MAKEINTRESOURCEA(2));
        ASSERT_NE(found, nullptr) << e.id;
        const auto *header =
            static_cast<const BITMAPINFOHEADER *>(LockResource(LoadResource(module, found)));
        ASSERT_NE(header, nullptr);
        EXPECT_EQ(header->biWidth, e.width) << e.id;
        EXPECT_EQ(header->biHeight, e.height) << e.id;
        EXPECT_EQ(header->biBitCount, e.bits) << e.id;
        EXPECT_EQ(header->biCompression, static_cast<DWORD>(BI_RGB)) << e.id;
    }
}

// ---- Window size ---------------------------------------------------------------------------

int MeasureInBannerFont(const char *text) {
    HDC screen = GetDC(nullptr);
    HFONT font = CreateDialogFont(screen, 15);
    HGDIOBJ old = SelectObject(screen, font);
    SIZE size = {};
    GetTextExtentPoint32A(screen, text, static_cast<int>(std::strlen(text)), &size);
    SelectObject(screen, old);
    DeleteObject(font);
    ReleaseDC(nullptr, screen);
    return size.cx;
}

SIZE WindowSize(HWND window) {
    RECT rect = {};
    GetWindowRect(window, &rect);
    return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

// Runs before any case loads the product strings: an empty title gives the smallest window.
TEST(WindowSize, AShortTitleGivesTheMinimumOf110By52) {
    g_state.instance = GetModuleHandleA(nullptr);
    ASSERT_STREQ(g_state.ProductString(IDS_PRODUCT_TITLE), "") << "strings must not be loaded yet";
    EXPECT_EQ(ComputeMainWindowWidthFor("", 80), 80);
    EXPECT_EQ(ComputeMainWindowWidthFor(nullptr, 80), 80);
    EXPECT_EQ(ComputeMainWindowWidthFor("V", 80), 80);

    RegisterMainWindowClass(g_state.instance);
    HWND window = CreateMainWindow(g_state);
    ASSERT_NE(window, nullptr);
    const SIZE size = WindowSize(window);
    EXPECT_EQ(size.cx, 110);
    EXPECT_EQ(size.cy, 52) << "80 x 0.66 = 52.8, truncated";
    DestroyWindow(window);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    }
}

// The widths in the 15-point "Dialog" font of the test prefix: "fudge factor" 122 pixels, the
// title below 426, the product's title 275; the window sizes are worked out from them.
TEST(WindowSize, TitlePlusHalfTheSampleText) {
    const char title[] = "A rather longer product title for measuring";
    ASSERT_EQ(MeasureInBannerFont(title), 426) << "the font the sizes below are worked out for";
    ASSERT_EQ(MeasureInBannerFont("fudge factor"), 122);
    const int expected = 487; // 426 + 122 / 2
    EXPECT_EQ(ComputeMainWindowWidthFor(title, 80), expected);
    EXPECT_EQ(ComputeMainWindowWidthFor(title, expected), expected) << "equal is not greater";
    EXPECT_EQ(ComputeMainWindowWidthFor(title, expected - 1), expected);
    EXPECT_EQ(ComputeMainWindowWidthFor(title, expected + 7), expected + 7);

    LoadProductStrings(g_state, GetModuleHandleA(nullptr));
    ASSERT_STREQ(g_state.ProductString(IDS_PRODUCT_TITLE), "Varnex Spreadsheet Add-In");
    ASSERT_EQ(MeasureInBannerFont("Varnex Spreadsheet Add-In"), 275);
    EXPECT_EQ(ComputeMainWindowWidth(g_state, 80), 336); // 275 + 122 / 2
    HWND window = CreateMainWindow(g_state);
    ASSERT_NE(window, nullptr);
    const SIZE size = WindowSize(window);
    EXPECT_EQ(size.cx, 366) << "336 + 30";
    EXPECT_EQ(size.cy, 221) << "336 x 0.66 = 221.76, truncated";
    DestroyWindow(window); // its WM_DESTROY posts WM_QUIT, which no later case must see
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    }
}

// ---- The painted picture -------------------------------------------------------------------

constexpr int kWidth = 340;
constexpr int kHeight = 205;

// The fonts of the test prefix, for which the positions below are worked out: the system font
// (the context's own) is 16 pixels high with no external leading, the 15-point "Dialog" font 24
// pixels high (the product title 275 wide in it), the copyright line in the 8-point one 208 x 13.
constexpr int kSystemFontHeight = 16;
constexpr int kBannerFontHeight = 24;
constexpr int kTitleWidth = 275;
constexpr SIZE kCopyrightSize = {208, 13};
// Worked out by hand for the 340 x 205 picture.
constexpr int kBarHeight = 18;      // 16 + 2: rows 0 to 17, row 18 shows the window
constexpr int kBannerBottom = 53;   // 18 + 1.5 x 24 - 1: banner rows 19 to 52, grey rule at 53
constexpr int kTitleLeft = 33;      // 340 / 2 - 275 / 2 = 170 - 137
constexpr int kTitleTop = 24;       // one line of the banner font down
constexpr int kCopyrightLeft = 111; // 340 / 2 - 208 / 2 + 45 = 170 - 104 + 45
constexpr int kCopyrightTop = 189;  // 205 - 1.2 x 13 = 189.4
constexpr int kSeparator = 185;     // 205 - 1.5 x 13 = 185.5
constexpr int kStripTop = 188;      // 205 - 14 (the strip's height) - 3

// Paints the main window's picture into a 32-bit memory bitmap that was first erased with the
// button face, as the class brush erases the window.
class PaintedPicture : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        g_state.instance = GetModuleHandleA(nullptr);
        LoadProductStrings(g_state, g_state.instance);
        library_ = LoadLibraryA("msimg32.dll");
        ASSERT_NE(library_, nullptr);
        gradient_ = reinterpret_cast<GradientFillFn>(
            reinterpret_cast<void *>(GetProcAddress(library_, "GradientFill")));
        ASSERT_NE(gradient_, nullptr);
    }
    static void TearDownTestSuite() {
        ReleasePaintCache(g_state);
        FreeLibrary(library_);
        g_state.gradientAvailable = false;
        g_state.gradientFill = nullptr;
    }

    void SetUp() override {
        ReleasePaintCache(g_state);
        window_ = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, kWidth, kHeight, nullptr,
                                  nullptr, nullptr, nullptr);
        ASSERT_NE(window_, nullptr);
        RECT client = {};
        GetClientRect(window_, &client);
        ASSERT_EQ(client.right, kWidth);
        ASSERT_EQ(client.bottom, kHeight);

        HDC screen = GetDC(nullptr);
        dc_ = CreateCompatibleDC(screen);
        ReleaseDC(nullptr, screen);
        BITMAPINFO info = TopDownBitmapInfo(kWidth, kHeight);
        target_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, reinterpret_cast<void **>(&bits_),
                                   nullptr, 0);
        ASSERT_NE(target_, nullptr);
        old_ = SelectObject(dc_, target_);
        Erase(GetSysColor(COLOR_BTNFACE));

        ExpectTheFontsOfThePrefix();
    }

    // The fonts the positions are worked out for: another machine's fonts fail here, by name.
    void ExpectTheFontsOfThePrefix() {
        TEXTMETRICA metrics = {};
        GetTextMetricsA(dc_, &metrics); // the context's own font, the system font
        ASSERT_EQ(metrics.tmHeight + metrics.tmExternalLeading, kSystemFontHeight);
        HFONT banner = CreateDialogFont(dc_, 15);
        HGDIOBJ oldFont = SelectObject(dc_, banner);
        GetTextMetricsA(dc_, &metrics);
        SelectObject(dc_, oldFont);
        DeleteObject(banner);
        ASSERT_EQ(metrics.tmHeight, kBannerFontHeight);
        ASSERT_EQ(MeasureInBannerFont(g_state.ProductString(IDS_PRODUCT_TITLE)), kTitleWidth);
        HFONT small = CreateDialogFont(dc_, 8);
        oldFont = SelectObject(dc_, small);
        const char *copyright = g_state.ProductString(IDS_COPYRIGHT);
        SIZE size = {};
        GetTextExtentPoint32A(dc_, copyright, static_cast<int>(std::strlen(copyright)), &size);
        SelectObject(dc_, oldFont);
        DeleteObject(small);
        ASSERT_EQ(size.cx, kCopyrightSize.cx);
        ASSERT_EQ(size.cy, kCopyrightSize.cy);
    }

    void TearDown() override {
        SelectObject(dc_, old_);
        DeleteObject(target_);
        DeleteDC(dc_);
        DestroyWindow(window_);
    }

    void Erase(COLORREF colour) {
        GdiFlush();
        for (int i = 0; i < kWidth * kHeight; ++i)
            bits_[i] = Rgb(colour);
    }

    void Paint(bool gradient) {
        g_state.gradientAvailable = gradient;
        g_state.gradientFill = gradient ? gradient_ : nullptr;
        PaintMainWindow(g_state, window_, dc_);
        GdiFlush();
    }

    DWORD At(int x, int y) const { return bits_[y * kWidth + x] & 0xFFFFFF; }

    // The first and the last column in rows y0 to y1 - 1 with a pixel of `colour`; {-1, -1}
    // without one.
    std::pair<int, int> InkColumns(DWORD colour, int y0, int y1) const {
        int first = -1, last = -1;
        for (int x = 0; x < kWidth; ++x) {
            if (CountInRect(colour, x, y0, x + 1, y1) == 0)
                continue;
            first = first < 0 ? x : first;
            last = x;
        }
        return {first, last};
    }

    int CountInRect(DWORD colour, int x0, int y0, int x1, int y1) const {
        int n = 0;
        for (int y = y0; y < y1; ++y) {
            for (int x = x0; x < x1; ++x)
                n += At(x, y) == colour;
        }
        return n;
    }

    // Everything but the title bar, the same whether or not there is a gradient.
    void ExpectBodyPainted() {
        const DWORD face = Rgb(GetSysColor(COLOR_BTNFACE));
        const DWORD white = 0xFFFFFF, grey = 0xC0C0C0;
        const int y1 = kBannerBottom;
        EXPECT_EQ(Hex(At(0, kBarHeight)), Hex(face)) << "the bar ends at its height";
        EXPECT_EQ(Hex(At(kWidth - 2, kBarHeight + 1)), Hex(white)) << "banner top";
        EXPECT_EQ(Hex(At(kWidth - 2, y1 - 1)), Hex(white)) << "banner bottom";
        EXPECT_EQ(Hex(At(0, kBarHeight + 1)), Hex(face)) << "banner starts at x = 1";
        EXPECT_EQ(Hex(At(kWidth - 1, kBarHeight + 1)), Hex(face)) << "banner ends at W - 1";
        EXPECT_EQ(Hex(At(kWidth - 2, y1)), Hex(grey)) << "etched line, grey";
        EXPECT_EQ(Hex(At(kWidth - 2, y1 + 1)), Hex(white)) << "etched line, white";
        EXPECT_EQ(Hex(At(kWidth - 2, y1 + 2)), Hex(face));
        // The title in black, centred in the banner, one banner line down.
        EXPECT_GT(CountInRect(0x000000, kTitleLeft, kTitleTop, kTitleLeft + kTitleWidth,
                              kTitleTop + kBannerFontHeight),
                  50);
        EXPECT_EQ(CountInRect(0x000000, 0, 0, kTitleLeft - 1, kHeight), 0) << "nothing black left";
        // The copyright line in grey, and its separator.
        const int copyrightRight = kCopyrightLeft + kCopyrightSize.cx;
        EXPECT_GT(CountInRect(0x666666, kCopyrightLeft, kCopyrightTop, copyrightRight,
                              kCopyrightTop + kCopyrightSize.cy),
                  20);
        EXPECT_EQ(CountInRect(0x666666, 0, 0, kWidth, kCopyrightTop), 0);
        // It stands 45 pixels right of the centre: its last 40 pixels are drawn, nothing left of
        // it.
        EXPECT_GT(
            CountInRect(0x666666, copyrightRight - 40, kCopyrightTop, copyrightRight, kHeight), 0);
        EXPECT_EQ(CountInRect(0x666666, 0, kCopyrightTop, kCopyrightLeft, kHeight), 0);
        // Where the texts' full colour lies (their glyphs' smoothed edges are lighter), in the
        // fonts asserted above: the copyright's from 11 pixels right of its origin at 111 to 313,
        // the title's from 1 pixel right of its origin at 33 to 305. A line moved by one pixel
        // moves these.
        const std::pair<int, int> ink = InkColumns(0x666666, kCopyrightTop, kHeight);
        EXPECT_EQ(ink.first, kCopyrightLeft + 11);
        EXPECT_EQ(ink.second, 313);
        const std::pair<int, int> title =
            InkColumns(0x000000, kTitleTop, kTitleTop + kBannerFontHeight);
        EXPECT_EQ(title.first, kTitleLeft + 1);
        EXPECT_EQ(title.second, 305);
        const int separator = kSeparator;
        EXPECT_EQ(Hex(At(kWidth - 2, separator)), Hex(grey)) << "separator";
        EXPECT_EQ(Hex(At(kWidth - 2, separator - 1)), Hex(face));
        EXPECT_EQ(Hex(At(kWidth - 2, separator + 1)), Hex(face));
        EXPECT_EQ(Hex(At(kWidth - 1, separator)), Hex(face));
        EXPECT_EQ(Hex(At(80, 80)), Hex(face)) << "the side picture is 60 pixels wide";
        ExpectBitmapsPainted(face);
    }

    void ExpectBitmapsPainted(DWORD background) {
        // The side picture at its natural size at (20, 74), up to the logo strip.
        HBITMAP side = LoadResourceBitmap(IDB_SIDE_PICTURE);
        const Pixels picture = ReadPixels(side);
        DeleteObject(side);
        const int stripTop = kStripTop;
        int mismatches = 0;
        for (int y = 74; y < stripTop; ++y) {
            for (int x = 20; x < 80; ++x)
                mismatches += At(x, y) != picture.At(x - 20, y - 74);
        }
        EXPECT_EQ(mismatches, 0) << "side picture";

        // The logo strip at (18, bottom - 14 - 3), its ground in the background colour.
        HBITMAP logo = LoadResourceBitmap(IDB_LOGO_STRIP);
        const Pixels strip = ReadPixels(logo);
        DeleteObject(logo);
        mismatches = 0;
        for (int y = 0; y < 14; ++y) {
            for (int x = 0; x < 99; ++x) {
                const DWORD was = strip.At(x, y);
                mismatches += At(18 + x, stripTop + y) != (IsLogoGround(was) ? background : was);
            }
        }
        EXPECT_EQ(mismatches, 0) << "logo strip";

        // The title-bar icon, squeezed into 15 x 13 at (2, 2): the icon's dark frame is there,
        // and the bar shows right of it and below it.
        const DWORD navy = 0x163E70;
        EXPECT_GT(CountInRect(navy, 2, 2, 17, 15), 20) << "title-bar icon";
        EXPECT_EQ(CountInRect(navy, 17, 0, kWidth, kBarHeight), 0) << "icon 15 wide";
        EXPECT_EQ(CountInRect(navy, 0, 15, 17, kBarHeight), 0) << "icon 13 high";
    }

    static HMODULE library_;
    static GradientFillFn gradient_;
    HWND window_ = nullptr;
    HDC dc_ = nullptr;
    HBITMAP target_ = nullptr;
    HGDIOBJ old_ = nullptr;
    DWORD *bits_ = nullptr;
};

HMODULE PaintedPicture::library_ = nullptr;
GradientFillFn PaintedPicture::gradient_ = nullptr;

// The client size of the main window as it is made (366 x 221 with a frame of 6 x 6: 360 x 215).
SIZE MainWindowClientSize() {
    RegisterMainWindowClass(g_state.instance);
    HWND window = CreateMainWindow(g_state);
    RECT client = {};
    GetClientRect(window, &client);
    DestroyWindow(window); // its WM_DESTROY posts WM_QUIT, which no later case must see
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    }
    return SIZE{client.right, client.bottom};
}

// In the main window as it is made, the copyright line stands right of the logo strip and ends
// inside the window: the picture painted at that window's client size, its grey pixels found.
TEST_F(PaintedPicture, CopyrightLineFitsBetweenTheLogoStripAndTheRightEdge) {
    const SIZE client = MainWindowClientSize();
    ASSERT_GT(client.cx, 0);
    HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, client.cx, client.cy, nullptr,
                                  nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    BITMAPINFO info = TopDownBitmapInfo(client.cx, client.cy);
    DWORD *bits = nullptr;
    HDC dc = CreateCompatibleDC(dc_);
    HBITMAP picture =
        CreateDIBSection(dc, &info, DIB_RGB_COLORS, reinterpret_cast<void **>(&bits), nullptr, 0);
    ASSERT_NE(picture, nullptr);
    HGDIOBJ old = SelectObject(dc, picture);
    const size_t count = static_cast<size_t>(client.cx) * client.cy;
    std::fill(bits, bits + count, Rgb(GetSysColor(COLOR_BTNFACE)));
    g_state.gradientAvailable = false;
    PaintMainWindow(g_state, window, dc);
    GdiFlush();
    int left = client.cx, right = -1;
    for (size_t i = 0; i < count; ++i) {
        if ((bits[i] & 0xFFFFFF) != 0x666666)
            continue;
        const int x = static_cast<int>(i % client.cx);
        left = std::min(left, x);
        right = std::max(right, x);
    }
    SelectObject(dc, old);
    DeleteObject(picture);
    DeleteDC(dc);
    DestroyWindow(window);
    ASSERT_GE(right, 0) << "no copyright line drawn";
    EXPECT_GE(left, 18 + 99 + 2) << "the logo strip is 99 wide at x = 18; client " << client.cx;
    EXPECT_LE(right, client.cx - 3) << "the line ends 2 pixels inside the window";
}

TEST_F(PaintedPicture, GradientTitleBarFromActiveCaptionToButtonFace) {
    Paint(true);
    const DWORD caption = Rgb(GetSysColor(COLOR_ACTIVECAPTION));
    const DWORD face = Rgb(GetSysColor(COLOR_BTNFACE));
    ASSERT_NE(caption, face);
    for (int y : {0, kBarHeight - 1}) {
        EXPECT_EQ(Hex(At(0, y)), Hex(caption)) << "left end, row " << y;
        EXPECT_TRUE(Near(At(kWidth - 1, y), face, 2)) << Hex(At(kWidth - 1, y));
    }
    const DWORD middle = At(kWidth - 40, kBarHeight / 2);
    EXPECT_FALSE(Near(middle, caption, 4) || Near(middle, face, 2)) << Hex(middle);
    // The caption, light grey at (20, 1).
    EXPECT_GT(CountInRect(0xE0E0E0, 20, 1, kWidth, kBarHeight), 20);
    EXPECT_EQ(CountInRect(0xE0E0E0, 0, 0, 20, kHeight), 0);
    ExpectBodyPainted();
}

TEST_F(PaintedPicture, WithoutTheGradientTheTitleBarIsSolidDarkBlue) {
    Paint(false);
    const int columns[] = {0, 1, 18, kWidth / 2, kWidth - 2, kWidth - 1};
    for (int x : columns) {
        EXPECT_EQ(Hex(At(x, 0)), "0000A6") << x;
        EXPECT_EQ(Hex(At(x, kBarHeight - 1)), "0000A6") << x;
    }
    EXPECT_GT(CountInRect(0xE0E0E0, 20, 1, kWidth, kBarHeight), 20);
    ExpectBodyPainted();
}

TEST_F(PaintedPicture, ALaterPaintDrawsTheSamePictureWithTheFirstBackground) {
    Paint(true);
    const std::vector<DWORD> first(bits_, bits_ + kWidth * kHeight);
    // The strip keeps the colour read on the first paint, whatever the window shows later.
    Erase(RGB(10, 200, 30));
    Paint(true);
    // The title bar and the banner cover what was erased; the copyright's smoothed edges do not,
    // so below the banner the bitmaps are compared instead.
    int differences = 0;
    for (int y = 0; y < kBannerBottom + 2; ++y) {
        if (y == kBarHeight)
            continue; // the gap between bar and banner shows the window
        for (int x = 1; x < kWidth - 1; ++x)
            differences += At(x, y) != (first[y * kWidth + x] & 0xFFFFFF);
    }
    EXPECT_EQ(differences, 0) << "the title bar and banner are painted alike";
    ExpectBitmapsPainted(Rgb(GetSysColor(COLOR_BTNFACE)));
}

TEST_F(PaintedPicture, TheLogoGroundTakesTheColourReadAtTenTen) {
    Erase(RGB(90, 120, 150));
    Paint(true);
    ExpectBitmapsPainted(0x5A7896);
}

// A first paint on which (10, 10) cannot be read (here: a context too small to hold it) gets
// CLR_INVALID, which is no colour: the strip's ground then takes the button face, as the class
// brush would have shown there, not the white that CLR_INVALID's low bytes would make.
TEST_F(PaintedPicture, AnUnreadableBackgroundGivesTheStripTheButtonFace) {
    HDC tiny = CreateCompatibleDC(dc_);
    HBITMAP pixel = CreateCompatibleBitmap(dc_, 4, 4);
    HGDIOBJ old = SelectObject(tiny, pixel);
    ASSERT_EQ(GetPixel(tiny, 10, 10), CLR_INVALID);
    g_state.gradientAvailable = false;
    PaintMainWindow(g_state, window_, tiny);
    SelectObject(tiny, old);
    DeleteObject(pixel);
    DeleteDC(tiny);

    Paint(true);
    ExpectBitmapsPainted(Rgb(GetSysColor(COLOR_BTNFACE)));
}

// ---- Repainting the real main window ------------------------------------------------------

// Cancels every dialog or message box that this process shows, and counts them.
class DialogWatcher {
public:
    DialogWatcher() : thread_([this] { Run(); }) {}
    ~DialogWatcher() {
        stop_ = true;
        thread_.join();
    }
    int Seen() const { return seen_; }

private:
    static BOOL CALLBACK Visit(HWND window, LPARAM param) {
        auto *self = reinterpret_cast<DialogWatcher *>(param);
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        char name[32] = {};
        GetClassNameA(window, name, sizeof(name));
        if (pid == GetCurrentProcessId() && IsWindowVisible(window) &&
            std::strcmp(name, "#32770") == 0) {
            bool known = false;
            for (HWND w : self->answered_)
                known = known || w == window;
            if (!known) {
                self->answered_.push_back(window);
                ++self->seen_;
            }
            PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
        }
        return TRUE;
    }
    void Run() {
        while (!stop_) {
            EnumWindows(Visit, reinterpret_cast<LPARAM>(this));
            Sleep(50);
        }
    }
    std::atomic<bool> stop_{false};
    std::atomic<int> seen_{0};
    std::vector<HWND> answered_;
    std::thread thread_;
};

// Pumps messages until WM_QUIT or `ms` pass; true when WM_QUIT came.
bool PumpUntilQuit(DWORD ms) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT)
                return true;
            DispatchMessageA(&message);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    return false;
}

TEST(MainWindowRepaint, OnlyTheFirstPaintStartsTheWizard) {
    MSG stale;
    while (PeekMessageA(&stale, nullptr, 0, 0, PM_REMOVE)) {
    }
    g_state.instance = GetModuleHandleA(nullptr);
    LoadProductStrings(g_state, g_state.instance);
    ReleasePaintCache(g_state);
    RegisterMainWindowClass(g_state.instance);
    DialogWatcher watcher;
    HWND window = CreateMainWindow(g_state);
    ASSERT_NE(window, nullptr);
    g_state.mainWindow = window;
    ShowWindow(window, SW_SHOWNORMAL);

    // The first paint runs the dialog sequence; its end brings the run to WM_DESTROY.
    ASSERT_TRUE(PumpUntilQuit(20000)) << "the first paint's sequence did not end the run";
    ASSERT_TRUE(g_state.wizardStarted);
    const int dialogsOfFirstSequence = watcher.Seen();

    // Repaint, as when a dialog is moved over the window, several times.
    for (int i = 0; i < 3; ++i) {
        InvalidateRect(window, nullptr, TRUE);
        UpdateWindow(window);
    }
    EXPECT_FALSE(PumpUntilQuit(500)) << "a repaint ended the run again";
    MSG message;
    EXPECT_FALSE(
        PeekMessageA(&message, window, WM_INSTALL_FINISHED, WM_INSTALL_FINISHED, PM_NOREMOVE));
    EXPECT_EQ(watcher.Seen(), dialogsOfFirstSequence) << "a repaint opened a dialog";

    // And the repaint did draw the window.
    TEXTMETRICA metrics = {};
    HDC dc = GetDC(window);
    GetTextMetricsA(dc, &metrics);
    const int bar = metrics.tmHeight + metrics.tmExternalLeading + 2;
    RECT client = {};
    GetClientRect(window, &client);
    const COLORREF left = GetPixel(dc, 0, bar / 2);
    const COLORREF banner = GetPixel(dc, client.right - 3, bar + 2);
    ReleaseDC(window, dc);
    const COLORREF expectedLeft =
        g_state.gradientAvailable ? GetSysColor(COLOR_ACTIVECAPTION) : RGB(0, 0, 166);
    EXPECT_EQ(Hex(left), Hex(expectedLeft));
    EXPECT_EQ(Hex(banner), "FFFFFF");

    DestroyWindow(window);
    PumpUntilQuit(200);
    EXPECT_FALSE(IsWindow(window));
}

} // namespace
