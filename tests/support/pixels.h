// Pixels as 0x00RRGGBB values (the order of a 32-bit section's pixels and of a screenshot's):
// conversion, comparison, and the pixels of a bitmap.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

// A COLORREF (0x00BBGGRR) as 0x00RRGGBB.
DWORD Rgb(COLORREF colour);
// At least six hexadecimal digits: bits above the colour (CLR_INVALID's) show as more digits.
std::string Hex(DWORD pixel);
// True when no channel of `a` and `b` differs by more than `tolerance`.
bool Near(DWORD a, DWORD b, int tolerance);

// A picture's pixels, rows top to bottom.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<DWORD> data;
    DWORD At(int x, int y) const { return data[static_cast<size_t>(y) * width + x] & 0xFFFFFF; }
};

// The description of a picture of `width` by `height` pixels, rows top to bottom; 32 bits per
// pixel is the layout of Pixels::data.
BITMAPINFO TopDownBitmapInfo(int width, int height, WORD bitsPerPixel = 32);

// A bitmap's pixels; empty for a null handle or an object that is not a bitmap.
Pixels ReadPixels(HBITMAP bitmap);
