// Captures the lines that a library under test hands to its log callback, for the test to
// inspect. The callbacks take no context, so the capture is one per process.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

// The log callbacks, in the two forms the libraries take: each keeps the line ("(null)" for a
// null one) and GetTickCount() at its arrival.
void CaptureLine(const char *line);
void CaptureLine(char *line);
// What was captured since the last clear, in order.
const std::vector<std::string> &CapturedLines();
const std::vector<DWORD> &CapturedTicks();
void ClearCaptured();
// The captured lines, which are cleared.
std::vector<std::string> TakeCapturedLines();
