// Windows code page 1252, the ANSI code page the installer's names are written in.
#pragma once
#include <string>

namespace cp1252 {

// Converts UTF-8 text to code page 1252. Returns false (and leaves `out` undefined) for invalid
// UTF-8 and for characters the code page has no byte for.
bool Utf8ToCp1252(const std::string &utf8, std::string *out);

// Converts code page 1252 text to UTF-8. Returns false for the five bytes the code page leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D).
bool Cp1252ToUtf8(const std::string &ansi, std::string *out);

// Upper case of one code page 1252 character, as Windows compares file names.
unsigned char Cp1252Upper(unsigned char c);

// Names compared with case ignored: negative, 0 or positive like strcmp.
int CompareNoCase1252(const std::string &a, const std::string &b);

} // namespace cp1252
