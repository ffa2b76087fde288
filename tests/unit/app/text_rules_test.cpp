#include <gtest/gtest.h>

#include <cstring>

#include "app/text_rules.h"

namespace {

std::string Trimmed(const char *text) {
    char buffer[64];
    std::strcpy(buffer, text);
    TrimBlanks(buffer);
    return buffer;
}

TEST(TrimBlanks, RemovesBlanksTabsAndLineBreaksAtBothEnds) {
    EXPECT_EQ(Trimmed("  C:\\Temp  "), "C:\\Temp");
    EXPECT_EQ(Trimmed("\t\r\nC:\\A B\r\n\t "), "C:\\A B");
    EXPECT_EQ(Trimmed("C:\\Keep  Inner"), "C:\\Keep  Inner");
    EXPECT_EQ(Trimmed("   "), "");
    EXPECT_EQ(Trimmed(""), "");
    TrimBlanks(nullptr); // no crash
}

TEST(FormatRequiredBytes, PrintsTheCountUnsignedWhereTheTextSaysPercentD) {
    const char *text = "Insufficient Disk Space. Installation requires %d bytes free.";
    char out[128];
    FormatRequiredBytes(out, sizeof(out), text, 104576);
    EXPECT_STREQ(out, "Insufficient Disk Space. Installation requires 104576 bytes free.");
    // Over 2 GiB: never a negative number.
    FormatRequiredBytes(out, sizeof(out), text, 3000000000ul);
    EXPECT_STREQ(out, "Insufficient Disk Space. Installation requires 3000000000 bytes free.");
    // Other percent signs of the text are printed as they are; the output is bounded.
    FormatRequiredBytes(out, sizeof(out), "100% of %d", 7);
    EXPECT_STREQ(out, "100% of 7");
    FormatRequiredBytes(out, 8, text, 1);
    EXPECT_STREQ(out, "Insuffi");
}

} // namespace
