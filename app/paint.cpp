#include "app/paint.h"

#include <cstring>

#include "app/installer_state.h"
#include "resources/resource_ids.h"

namespace {

const COLORREF kSolidTitleBar = RGB(0, 0, 166);
const COLORREF kCaptionText = RGB(224, 224, 224);
const COLORREF kBannerBlankText = RGB(214, 0, 0);
const COLORREF kCopyrightText = RGB(102, 102, 102);
// The logo's white ground and the two pale pinks of its anti-aliased edge.
const COLORREF kLogoGround[] = {RGB(255, 255, 255), RGB(255, 239, 239), RGB(255, 223, 223)};

int TextWidth(HDC dc, const char *text, int *height = nullptr) {
    SIZE size = {};
    GetTextExtentPoint32A(dc, text, static_cast<int>(std::strlen(text)), &size);
    if (height)
        *height = size.cy;
    return size.cx;
}

void DrawLabel(HDC dc, int x, int y, const char *text, COLORREF colour) {
    SetTextColor(dc, colour);
    TextOutA(dc, x, y, text, static_cast<int>(std::strlen(text)));
}

// A one-pixel horizontal line from x = 1 to x = width - 1.
void DrawRule(HDC dc, int y, int width, int stockBrush) {
    RECT line = {1, y, width - 1, y + 1};
    FillRect(dc, &line, static_cast<HBRUSH>(GetStockObject(stockBrush)));
}

// Each 8-bit component becomes the high byte of the vertex's 16-bit component.
TRIVERTEX Vertex(LONG x, LONG y, COLORREF colour) {
    TRIVERTEX vertex = {};
    vertex.x = x;
    vertex.y = y;
    vertex.Red = static_cast<COLOR16>(GetRValue(colour) << 8);
    vertex.Green = static_cast<COLOR16>(GetGValue(colour) << 8);
    vertex.Blue = static_cast<COLOR16>(GetBValue(colour) << 8);
    vertex.Alpha = 0;
    return vertex;
}

// The title bar: a horizontal gradient from the active caption colour to the button face where
// "msimg32.dll" provides one, else solid dark blue. Returns the solid brush it made, if any.
HBRUSH PaintTitleBar(const InstallerState &state, HDC dc, int width, int barHeight) {
    if (state.gradientAvailable && state.gradientFill) {
        TRIVERTEX vertices[2] = {Vertex(0, 0, GetSysColor(COLOR_ACTIVECAPTION)),
                                 Vertex(width, barHeight, GetSysColor(COLOR_BTNFACE))};
        GRADIENT_RECT rect = {0, 1};
        state.gradientFill(dc, vertices, 2, &rect, 1, GRADIENT_FILL_RECT_H);
        return nullptr;
    }
    HBRUSH solid = CreateSolidBrush(kSolidTitleBar);
    RECT bar = {0, 0, width, barHeight};
    FillRect(dc, &bar, solid);
    return solid;
}

// Title bar, banner, texts and separator: everything that is drawn rather than copied.
void PaintDecoration(const InstallerState &state, HDC dc, int width, int height) {
    HFONT bannerFont = CreateDialogFont(dc, 15);
    HFONT smallFont = CreateDialogFont(dc, 8);

    // The bar height comes from the context's own font (the system font) before ours are chosen.
    TEXTMETRICA metrics = {};
    GetTextMetricsA(dc, &metrics);
    const int barHeight = metrics.tmHeight + metrics.tmExternalLeading + 2;

    SetBkMode(dc, TRANSPARENT);
    HBRUSH solidBrush = PaintTitleBar(state, dc, width, barHeight);
    DrawLabel(dc, 20, 1, state.ProductString(IDS_CAPTION), kCaptionText);

    HGDIOBJ previousFont = SelectObject(dc, bannerFont);
    GetTextMetricsA(dc, &metrics);
    const int lineHeight = metrics.tmHeight;

    RECT banner = {1, barHeight + 1, width - 1, barHeight + static_cast<int>(1.5 * lineHeight) - 1};
    FillRect(dc, &banner, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    DrawRule(dc, banner.bottom, width, LTGRAY_BRUSH); // etched: grey over white
    DrawRule(dc, banner.bottom + 1, width, WHITE_BRUSH);

    DrawLabel(dc, 6, lineHeight, state.ProductString(IDS_BANNER_BLANK), kBannerBlankText);
    const char *title = state.ProductString(IDS_PRODUCT_TITLE);
    DrawLabel(dc, width / 2 - TextWidth(dc, title) / 2, lineHeight, title, RGB(0, 0, 0));

    SelectObject(dc, smallFont);
    const char *copyright = state.ProductString(IDS_COPYRIGHT);
    int copyrightHeight = 0;
    const int copyrightWidth = TextWidth(dc, copyright, &copyrightHeight);
    DrawLabel(dc, width / 2 - copyrightWidth / 2 + 45,
              static_cast<int>(height - 1.2 * copyrightHeight), copyright, kCopyrightText);
    DrawRule(dc, static_cast<int>(height - 1.5 * copyrightHeight), width, LTGRAY_BRUSH);

    SelectObject(dc, previousFont);
    DeleteObject(bannerFont);
    DeleteObject(smallFont);
    if (solidBrush)
        DeleteObject(solidBrush);
}

HBITMAP LoadBitmapResource(const InstallerState &state, int id) {
    return LoadBitmapA(state.instance, MAKEINTRESOURCEA(id));
}

SIZE BitmapSize(HBITMAP bitmap) {
    BITMAP info = {};
    GetObjectA(bitmap, sizeof(info), &info);
    return SIZE{info.bmWidth, info.bmHeight};
}

// Copies `bitmap` at its natural size to (x, y) through the memory context.
void CopyBitmap(HDC dc, HDC memory, HBITMAP bitmap, int x, int y) {
    if (!bitmap)
        return;
    const SIZE size = BitmapSize(bitmap);
    SelectObject(memory, bitmap);
    BitBlt(dc, x, y, size.cx, size.cy, memory, 0, 0, SRCCOPY);
}

// The three bitmaps: the title-bar icon, the side picture and the logo strip.
void PaintBitmaps(InstallerState &state, HDC dc, int height, COLORREF background) {
    HDC memory = CreateCompatibleDC(dc);
    if (!memory)
        return;
    HGDIOBJ previousBitmap = GetCurrentObject(memory, OBJ_BITMAP);

    PaintCache &cache = state.paint;
    if (!cache.titleIcon)
        cache.titleIcon = LoadBitmapResource(state, IDB_TITLE_ICON);
    if (cache.titleIcon) {
        const SIZE size = BitmapSize(cache.titleIcon);
        SetStretchBltMode(dc, COLORONCOLOR);
        SetBrushOrgEx(dc, 0, 0, nullptr);
        SelectObject(memory, cache.titleIcon);
        StretchBlt(dc, 2, 2, 15, 13, memory, 0, 0, size.cx, size.cy, SRCCOPY);
    }

    if (!cache.sidePicture)
        cache.sidePicture = LoadBitmapResource(state, IDB_SIDE_PICTURE);
    CopyBitmap(dc, memory, cache.sidePicture, 20, 74);

    if (!cache.logoStrip) {
        if (HBITMAP logo = LoadBitmapResource(state, IDB_LOGO_STRIP)) {
            cache.logoStrip = MakeLogoStrip(logo, background);
            DeleteObject(logo);
        }
    }
    if (cache.logoStrip)
        CopyBitmap(dc, memory, cache.logoStrip, 18, height - BitmapSize(cache.logoStrip).cy - 3);

    SelectObject(memory, previousBitmap);
    DeleteDC(memory);
}

} // namespace

HFONT CreateDialogFont(HDC dc, int points) {
    return CreateFontA(-MulDiv(points, GetDeviceCaps(dc, LOGPIXELSY), 72), 0, 0, 0, FW_NORMAL,
                       FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_TT_PRECIS, CLIP_DEFAULT_PRECIS,
                       ANTIALIASED_QUALITY, VARIABLE_PITCH, "Dialog");
}

int ComputeMainWindowWidth(const InstallerState &state, int minimum) {
    return ComputeMainWindowWidthFor(state.ProductString(IDS_PRODUCT_TITLE), minimum);
}

int ComputeMainWindowWidthFor(const char *title, int minimum) {
    HDC screen = GetDC(nullptr);
    HFONT font = CreateDialogFont(screen, 15);
    HGDIOBJ previous = SelectObject(screen, font);

    const int titleWidth = TextWidth(screen, title ? title : "");
    const int sampleWidth = TextWidth(screen, "fudge factor");

    SelectObject(screen, previous);
    DeleteObject(font);
    ReleaseDC(nullptr, screen);

    const int width = titleWidth + sampleWidth / 2;
    return width > minimum ? width : minimum;
}

void PaintMainWindow(InstallerState &state, HWND window, HDC dc) {
    // The logo strip takes the colour that the window was erased with. A pixel outside the
    // paint's clipping region reads as CLR_INVALID, which is no colour at all: the class
    // brush's colour stands in for it.
    COLORREF background = GetPixel(dc, 10, 10);
    if (background == CLR_INVALID)
        background = GetSysColor(COLOR_BTNFACE);

    RECT client = {};
    GetClientRect(window, &client);
    const int width = client.right - client.left;
    const int height = client.bottom - client.top;

    PaintDecoration(state, dc, width, height);
    PaintBitmaps(state, dc, client.bottom, background);
}

HBITMAP ReplaceColor(HBITMAP bitmap, COLORREF from, COLORREF to) {
    if (!bitmap)
        return nullptr;
    HDC sourceDc = CreateCompatibleDC(nullptr);
    if (!sourceDc)
        return nullptr;
    HGDIOBJ sourcePrevious = SelectObject(sourceDc, bitmap);
    if (!sourcePrevious) { // not a bitmap, or selected into another context
        DeleteDC(sourceDc);
        return nullptr;
    }
    const SIZE size = BitmapSize(bitmap);

    HBITMAP copy = nullptr;
    HDC copyDc = CreateCompatibleDC(sourceDc);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = size.cx;
    info.bmiHeader.biHeight = size.cy;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void *bits = nullptr;
    if (copyDc && size.cx > 0 && size.cy > 0)
        copy = CreateDIBSection(copyDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (copy && bits) {
        HGDIOBJ copyPrevious = SelectObject(copyDc, copy);
        BitBlt(copyDc, 0, 0, size.cx, size.cy, sourceDc, 0, 0, SRCCOPY);
        GdiFlush();

        // The section's pixels are 0x00RRGGBB; a COLORREF is 0x00BBGGRR.
        const DWORD fromPixel = (GetRValue(from) << 16) | (GetGValue(from) << 8) | GetBValue(from);
        const DWORD toPixel = (GetRValue(to) << 16) | (GetGValue(to) << 8) | GetBValue(to);
        DWORD *pixels = static_cast<DWORD *>(bits);
        for (size_t i = static_cast<size_t>(size.cx) * size.cy; i-- > 0;) {
            if (pixels[i] == fromPixel)
                pixels[i] = toPixel;
        }
        SelectObject(copyDc, copyPrevious);
    }

    if (copyDc)
        DeleteDC(copyDc);
    SelectObject(sourceDc, sourcePrevious);
    DeleteDC(sourceDc);
    return copy;
}

HBITMAP MakeLogoStrip(HBITMAP logo, COLORREF background) {
    HBITMAP strip = logo;
    for (COLORREF ground : kLogoGround) {
        HBITMAP next = ReplaceColor(strip, ground, background);
        if (strip != logo) // each pass's result is only the next pass's source
            DeleteObject(strip);
        if (!next)
            return nullptr;
        strip = next;
    }
    return strip;
}

void ReleaseTitleIcon(InstallerState &state) {
    if (state.paint.titleIcon)
        DeleteObject(state.paint.titleIcon);
    state.paint.titleIcon = nullptr;
}

void ReleasePaintCache(InstallerState &state) {
    ReleaseTitleIcon(state);
    HBITMAP *kept[] = {&state.paint.sidePicture, &state.paint.logoStrip};
    for (HBITMAP *bitmap : kept) {
        if (*bitmap)
            DeleteObject(*bitmap);
        *bitmap = nullptr;
    }
}
