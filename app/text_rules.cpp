#include "app/text_rules.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

} // namespace

void TrimBlanks(char *text) {
    if (!text)
        return;
    size_t length = std::strlen(text);
    while (length > 0 && IsBlank(text[length - 1]))
        text[--length] = '\0';
    size_t start = 0;
    while (start < length && IsBlank(text[start]))
        ++start;
    if (start > 0)
        std::memmove(text, text + start, length - start + 1);
}

void FormatRequiredBytes(char *out, unsigned long outSize, const char *text, unsigned long bytes) {
    if (!out || outSize == 0)
        return;
    // The text is ours: its one "%d" is where the count goes, printed unsigned.
    std::string format = text ? text : "";
    const size_t at = format.find("%d");
    if (at == std::string::npos) {
        std::snprintf(out, outSize, "%s", format.c_str());
        return;
    }
    std::snprintf(out, outSize, "%s%lu%s", format.substr(0, at).c_str(), bytes,
                  format.substr(at + 2).c_str());
}
