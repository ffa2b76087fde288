#include "app/paint.h"

#include <cstring>

#include "app/installer_state.h"
#include "resources/resource_ids.h"

HFONT CreateDialogFont(HDC dc, int points) {
    return CreateFontA(-MulDiv(points, GetDeviceCaps(dc, LOGPIXELSY), 72), 0, 0, 0, FW_NORMAL,
                       FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_TT_PRECIS, CLIP_DEFAULT_PRECIS,
                       ANTIALIASED_QUALITY, VARIABLE_PITCH, "Dialog");
}

int ComputeMainWindowWidth(int minimum) {
    HDC screen = GetDC(nullptr);
    HFONT font = CreateDialogFont(screen, 15);
    HGDIOBJ previous = SelectObject(screen, font);

    const char *title = ProductString(IDS_PRODUCT_TITLE);
    SIZE titleSize = {};
    GetTextExtentPoint32A(screen, title, static_cast<int>(std::strlen(title)), &titleSize);
    const char kSample[] = "fudge factor";
    SIZE sampleSize = {};
    GetTextExtentPoint32A(screen, kSample, static_cast<int>(sizeof(kSample) - 1), &sampleSize);

    SelectObject(screen, previous);
    DeleteObject(font);
    ReleaseDC(nullptr, screen);

    const int width = titleSize.cx + sampleSize.cx / 2;
    return width > minimum ? width : minimum;
}
