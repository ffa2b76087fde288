#include "tests/support/log_capture.h"

namespace {

struct Capture {
    std::vector<std::string> lines;
    std::vector<DWORD> ticks;
};

Capture &Captured() {
    static Capture capture;
    return capture;
}

} // namespace

void CaptureLine(const char *line) {
    Captured().lines.push_back(line != nullptr ? line : "(null)");
    Captured().ticks.push_back(GetTickCount());
}

void CaptureLine(char *line) {
    CaptureLine(static_cast<const char *>(line));
}

const std::vector<std::string> &CapturedLines() {
    return Captured().lines;
}

const std::vector<DWORD> &CapturedTicks() {
    return Captured().ticks;
}

void ClearCaptured() {
    Captured().lines.clear();
    Captured().ticks.clear();
}

std::vector<std::string> TakeCapturedLines() {
    std::vector<std::string> lines;
    lines.swap(Captured().lines);
    Captured().ticks.clear();
    return lines;
}
