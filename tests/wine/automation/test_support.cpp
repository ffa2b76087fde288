#include "tests/wine/automation/test_support.h"

#include "reglog/log.h"

#include <cstdarg>
#include <cstdio>

// The registration library's LogMessage, linked in its place: every formatted line is captured
// for the test to inspect (TakeCapturedLines).
void LogMessage(const char *format, ...) {
    char line[700];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    CaptureLine(line);
}

bool SetUpStandin(standin::Options *options, const std::string &journalName) {
    options->journal = WorkPath(journalName);
    DeleteFileA(options->journal.c_str());
    return standin::Install(*options) == 1;
}

int CountInvokes(const std::vector<standin::JournalEntry> &journal, const std::string &object,
                 const std::string &member) {
    return static_cast<int>(standin::FindInvokes(journal, object, member).size());
}
