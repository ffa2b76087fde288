// What the automation tests share: AutoWrap's log, captured through this program's own
// LogMessage, and a stand-in Excel set up for each test.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "tests/standins/excel/standin_config.h"
#include "tests/support/environment.h"
#include "tests/support/log_capture.h"

// Registers the stand-in Excel and applies options; the journal goes to a fresh scratch file
// whose path is returned through options->journal.
bool SetUpStandin(standin::Options *options, const std::string &journalName);

// Counts of journal entries, for short assertions.
int CountInvokes(const std::vector<standin::JournalEntry> &journal, const std::string &object,
                 const std::string &member);
