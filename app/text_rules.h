// Small text rules of the wizard, free of <windows.h> so they are unit-tested natively.
#pragma once

// Removes leading and trailing blanks, tabs, carriage returns and line feeds in place; a text of
// blanks only becomes empty. A null text is left alone.
void TrimBlanks(char *text);

// Formats the disk-space message (a "%d" text) with a byte count that may exceed the signed
// range, so that a large requirement never shows as a negative number.
void FormatRequiredBytes(char *out, unsigned long outSize, const char *text, unsigned long bytes);
