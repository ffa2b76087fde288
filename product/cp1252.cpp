#include "product/cp1252.h"

namespace cp1252 {

namespace {

// Unicode code points of the bytes 0x80 to 0x9F; 0 where the code page defines no character.
const char32_t kHighControls[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, //
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,      //
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, //
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178, //
};

bool CodePointToByte(char32_t cp, unsigned char *byte) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
        *byte = static_cast<unsigned char>(cp);
        return true;
    }
    for (int i = 0; i < 32; ++i) {
        if (kHighControls[i] != 0 && kHighControls[i] == cp) {
            *byte = static_cast<unsigned char>(0x80 + i);
            return true;
        }
    }
    return false;
}

// Decodes one UTF-8 sequence at s[*i]; rejects overlong forms, surrogates and values past U+10FFFF.
bool NextCodePoint(const std::string &s, size_t *i, char32_t *cp) {
    const unsigned char lead = static_cast<unsigned char>(s[*i]);
    int extra;
    char32_t value;
    if (lead < 0x80) {
        *cp = lead;
        *i += 1;
        return true;
    } else if ((lead & 0xE0) == 0xC0) {
        extra = 1;
        value = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2;
        value = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3;
        value = lead & 0x07;
    } else {
        return false;
    }
    if (*i + extra >= s.size())
        return false;
    for (int k = 1; k <= extra; ++k) {
        const unsigned char c = static_cast<unsigned char>(s[*i + k]);
        if ((c & 0xC0) != 0x80)
            return false;
        value = value << 6 | (c & 0x3F);
    }
    static const char32_t kMin[4] = {0, 0x80, 0x800, 0x10000};
    if (value < kMin[extra] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return false;
    *cp = value;
    *i += extra + 1;
    return true;
}

void AppendUtf8(char32_t cp, std::string *out) {
    if (cp < 0x80) {
        out->push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out->push_back(static_cast<char>(0xC0 | cp >> 6));
        out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xE0 | cp >> 12));
        out->push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

} // namespace

bool Utf8ToCp1252(const std::string &utf8, std::string *out) {
    out->clear();
    size_t i = 0;
    while (i < utf8.size()) {
        char32_t cp;
        unsigned char byte;
        if (!NextCodePoint(utf8, &i, &cp) || !CodePointToByte(cp, &byte))
            return false;
        out->push_back(static_cast<char>(byte));
    }
    return true;
}

bool Cp1252ToUtf8(const std::string &ansi, std::string *out) {
    out->clear();
    for (char ch : ansi) {
        const unsigned char c = static_cast<unsigned char>(ch);
        char32_t cp = c;
        if (c >= 0x80 && c < 0xA0) {
            cp = kHighControls[c - 0x80];
            if (cp == 0)
                return false;
        }
        AppendUtf8(cp, out);
    }
    return true;
}

unsigned char Cp1252Upper(unsigned char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7))
        return static_cast<unsigned char>(c - 0x20);
    switch (c) {
    case 0x9A:
        return 0x8A; // š
    case 0x9C:
        return 0x8C; // œ
    case 0x9E:
        return 0x8E; // ž
    case 0xFF:
        return 0x9F; // ÿ
    default:
        return c;
    }
}

int CompareNoCase1252(const std::string &a, const std::string &b) {
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        const int x = Cp1252Upper(static_cast<unsigned char>(a[i]));
        const int y = Cp1252Upper(static_cast<unsigned char>(b[i]));
        if (x != y)
            return x - y;
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

} // namespace cp1252
