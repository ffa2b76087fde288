// Letter case as the system sees it: the ANSI code page of the machine the installer runs on
// (1250, 1251, 932, ...), not a fixed table.
#include <windows.h>

#include "regaddin/string_rules.h"

void UpperCaseInPlace(char *text, std::size_t length) {
    // The texts compared are registry data and the PATH value: far below a DWORD's range.
    CharUpperBuffA(text, static_cast<DWORD>(length));
}
