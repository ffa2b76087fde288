// Code page 1252's letter case, for the builds that have no Windows to ask (native tools and
// tests). The Windows build folds with the system instead (case_fold_win32.cpp).
#include "regaddin/string_rules.h"

unsigned char UpperCp1252(unsigned char c) {
    if (c >= 'a' && c <= 'z')
        return static_cast<unsigned char>(c - 0x20);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) // a-grave .. thorn, but the division sign
        return static_cast<unsigned char>(c - 0x20);
    switch (c) {
    case 0x9A: // s caron
    case 0x9C: // oe ligature
    case 0x9E: // z caron
        return static_cast<unsigned char>(c - 0x10);
    case 0xFF: // y diaeresis
        return 0x9F;
    default:
        return c;
    }
}

void UpperCaseInPlace(char *text, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i)
        text[i] = static_cast<char>(UpperCp1252(static_cast<unsigned char>(text[i])));
}
