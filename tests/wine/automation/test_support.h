// What the automation tests share: the captured log of AutoWrap, scratch paths, and a stand-in
// Excel set up for each test.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "tests/standins/excel/standin_config.h"

// Lines written through LogMessage since the last call, in order.
std::vector<std::string> TakeLogLines();

// A Windows path for name inside the test's private scratch folder.
std::string ScratchPath(const std::string &name);

// Registers the stand-in Excel and applies options; the journal goes to a fresh scratch file
// whose path is returned through options->journal.
bool SetUpStandin(standin::Options *options, const std::string &journalName);

// Counts of journal entries, for short assertions.
int CountInvokes(const std::vector<standin::JournalEntry> &journal, const std::string &object,
                 const std::string &member);
