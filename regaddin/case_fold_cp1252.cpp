// Code page 1252's letter case, for the builds that have no Windows to ask (native tools and
// tests). The Windows build folds with the system instead (case_fold_win32.cpp).
#include "product/cp1252.h"
#include "regaddin/string_rules.h"

void UpperCaseInPlace(char *text, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i)
        text[i] = static_cast<char>(cp1252::Cp1252Upper(static_cast<unsigned char>(text[i])));
}
