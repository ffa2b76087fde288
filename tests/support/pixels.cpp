#include "tests/support/pixels.h"

DWORD Rgb(COLORREF colour) {
    return (GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour);
}

std::string Hex(DWORD pixel) {
    char text[16];
    wsprintfA(text, "%06X", static_cast<unsigned>(pixel));
    return text;
}

bool Near(DWORD a, DWORD b, int tolerance) {
    for (int shift = 0; shift < 24; shift += 8) {
        const int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
        if (d > tolerance || d < -tolerance)
            return false;
    }
    return true;
}

BITMAPINFO TopDownBitmapInfo(int width, int height, WORD bitsPerPixel) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = bitsPerPixel;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

Pixels ReadPixels(HBITMAP bitmap) {
    Pixels pixels;
    BITMAP info = {};
    if (!bitmap || !GetObjectA(bitmap, sizeof(info), &info))
        return pixels;
    pixels.width = info.bmWidth;
    pixels.height = info.bmHeight;
    pixels.data.resize(static_cast<size_t>(info.bmWidth) * info.bmHeight);
    BITMAPINFO request = TopDownBitmapInfo(info.bmWidth, info.bmHeight);
    HDC screen = GetDC(nullptr);
    GetDIBits(screen, bitmap, 0, info.bmHeight, pixels.data.data(), &request, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    return pixels;
}
