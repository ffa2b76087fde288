// The registration library's own log: lines go to the callback that the last framed entry point
// stored. A leaf: the Excel automation and the library's entry points both log through it.
#pragma once

// Receives one line at a time, without a line terminator (the library's RegAddinLogCallback).
typedef void (*LibraryLogCallback)(char *line);

// Formats printf-style into a 700-byte line and hands it to the stored callback (nothing when
// none is stored). Delivers the banner first while it is pending.
void LogMessage(const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Start of a framed entry point: stores `callback` (a null one included, which silences the log)
// and delivers the banner if one is stored and the banner is still pending.
void BeginLoggedCall(LibraryLogCallback callback);

// End of a framed entry point: delivers "--- RegAddin.lib returned %d ---" if a callback is
// stored, and returns `result` for the caller to pass on.
int EndLoggedCall(int result);
