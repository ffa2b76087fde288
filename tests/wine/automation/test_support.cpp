#include "tests/wine/automation/test_support.h"

#include "reglog/log.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace {
std::vector<std::string> g_lines;
} // namespace

// The registration library's LogMessage, reduced to what these tests need: every formatted line
// is kept for the test to inspect.
void LogMessage(const char *format, ...) {
    char line[700];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    g_lines.push_back(line);
}

std::vector<std::string> TakeLogLines() {
    std::vector<std::string> lines;
    lines.swap(g_lines);
    return lines;
}

std::string ScratchPath(const std::string &name) {
    const char *work = std::getenv("VNX_TEST_WORKDIR");
    std::string base;
    if (work && *work) {
        base = std::string("Z:") + work;
        for (char &c : base)
            if (c == '/')
                c = '\\';
    } else {
        char temp[MAX_PATH] = "";
        GetTempPathA(MAX_PATH, temp);
        base = temp;
    }
    if (!base.empty() && base.back() != '\\')
        base += '\\';
    return base + name;
}

bool SetUpStandin(standin::Options *options, const std::string &journalName) {
    options->journal = ScratchPath(journalName);
    DeleteFileA(options->journal.c_str());
    return standin::Install(*options) == 1;
}

int CountInvokes(const std::vector<standin::JournalEntry> &journal, const std::string &object,
                 const std::string &member) {
    return static_cast<int>(standin::FindInvokes(journal, object, member).size());
}
