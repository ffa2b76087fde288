#include "reglog/log.h"

#include <cstdarg>
#include <cstdio>

namespace {

const char kLibraryVersion[] = "1.10";

// Process-wide, like the rest of the library: one call at a time.
LibraryLogCallback g_callback = nullptr;
bool g_bannerPending = true;

void DeliverBannerIfPending() {
    if (g_callback == nullptr || !g_bannerPending)
        return;
    char banner[500];
    std::snprintf(banner, sizeof banner, "--- RegAddin.lib (%s) ---", kLibraryVersion);
    g_bannerPending = false;
    g_callback(banner);
}

} // namespace

void LogMessage(const char *format, ...) {
    if (g_callback == nullptr)
        return;
    DeliverBannerIfPending();
    char line[700];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    g_callback(line);
}

void BeginLoggedCall(LibraryLogCallback callback) {
    g_callback = callback;
    DeliverBannerIfPending();
}

int EndLoggedCall(int result) {
    if (g_callback != nullptr) {
        char line[500];
        std::snprintf(line, sizeof line, "--- RegAddin.lib returned %d ---", result);
        g_callback(line);
    }
    return result;
}
