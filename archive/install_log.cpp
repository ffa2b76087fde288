#include "archive/install_log.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

const char kSeparator[] = "------------------------------------------------------";
static_assert(sizeof(kSeparator) == 55, "the separator is 54 hyphens");

// Lines formatted by the platform's wsprintfA never exceed 1,023 characters; keep that limit so
// the log reads the same whatever the formatter.
constexpr size_t kFormattedLineLimit = 1024;

// Formats into a fresh buffer of `size` bytes; null when the memory cannot be had.
char *FormatAlloc(size_t size, const char *format, ...) {
    char *buffer = static_cast<char *>(std::malloc(size));
    if (!buffer)
        return nullptr;
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, size < kFormattedLineLimit ? size : kFormattedLineLimit, format, args);
    va_end(args);
    return buffer;
}

} // namespace

InstallLog::InstallLog(const char *folder, const char *fileName, const char *titleText,
                       const char *versionText, const char *actionText, Opener openFile)
    : file(nullptr), opener(openFile), headerWritten(titleText == nullptr), title(titleText),
      action(actionText ? actionText : ""), separator(kSeparator) {
    path[0] = '\0';
    const size_t folderLength = folder ? std::strlen(folder) : 0;
    const size_t nameLength = fileName ? std::strlen(fileName) : 0;
    if (folderLength + 1 + nameLength < sizeof(path)) {
        std::memcpy(path, folder, folderLength);
        path[folderLength] = '\\';
        std::memcpy(path + folderLength + 1, fileName, nameLength);
        path[folderLength + 1 + nameLength] = '\0';
    }
    version[0] = '\0';
    if (versionText) {
        std::strncpy(version, versionText, sizeof(version) - 1);
        version[sizeof(version) - 1] = '\0';
    }
    Open();
}

InstallLog::~InstallLog() {
    Close();
}

int InstallLog::Open() {
    Close();
    if (path[0] != '\0')
        file = opener ? opener(path) : std::fopen(path, "a");
    if (!headerWritten) {
        headerWritten = 1;
        if (file)
            WriteHeader(); // each header line reopens and closes the file
    }
    return file ? 1 : 0;
}

void InstallLog::WriteHeader() {
    WriteLine("\n");
    WriteLine(separator);
    char line[128];
    const std::time_t now = std::time(nullptr);
    const char *timeText = std::ctime(&now);
    std::snprintf(line, sizeof(line), "--  %s: %.24s  --", title ? title : "",
                  timeText ? timeText : "");
    WriteLine(line);
    WriteLine(separator);
    WriteLine("\n");
    std::snprintf(line, sizeof(line), "%s Addin version %s\n", action, version);
    WriteLine(line);
}

int InstallLog::WriteLine(const char *text) {
    if (!Open())
        return 0;
    if (!text) {
        Close();
        return 0;
    }
    const size_t length = std::strlen(text);
    // An empty text is one item of size 0: nothing is written, not even the line break.
    if (length == 0 || std::fwrite(text, length, 1, file) != 1) {
        Close();
        return 0;
    }
    const int result = std::fwrite("\n", 1, 1, file) == 1 ? 1 : 0;
    // A line only counts as written once the close has flushed it to the file.
    const int closed = Close();
    return (result && closed == 0) ? 1 : 0;
}

int InstallLog::WriteKeyValue(const char *key, const char *value) {
    if (!key || !value)
        return 0;
    char *line = FormatAlloc(std::strlen(key) + std::strlen(value) + 50, "@ %s=%s", key, value);
    if (!line)
        return 0;
    const int result = WriteLine(line);
    std::free(line);
    return result;
}

int InstallLog::WriteNote(const char *text) {
    if (!text)
        return 0;
    char *line = FormatAlloc(std::strlen(text) + 50, "* %s", text);
    if (!line)
        return 0;
    for (char *p = line; *p; ++p) {
        if (*p == '\n')
            *p = ' ';
    }
    const int result = WriteLine(line);
    std::free(line);
    return result;
}

int InstallLog::WritePreviousInstall(const char *folder, const char *versionText,
                                     const char *build) {
    char line[700];
    std::snprintf(line, sizeof(line), "Previous build %s (ver %s) found at %s", build ? build : "",
                  versionText ? versionText : "", folder ? folder : "");
    return WriteLine(line);
}

int InstallLog::Close() {
    if (!file)
        return 0;
    const int result = std::fclose(file);
    file = nullptr;
    return result;
}
