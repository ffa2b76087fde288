// What the installer's command line asks for. Free of <windows.h> so the rules are unit-tested
// natively; ParseCommandLine (app/version_box.h) shows the boxes.
#pragma once

enum class CommandLineRequest {
    Install,  // empty: a normal run
    Version,  // "-v" in either case: show the version box and end
    TestMode, // "-t", "/t", "-T" or "/T": rehearse the installation without writing anything
    Invalid,  // anything else: refused
};

// `text` is the command line after the program name (may be null).
CommandLineRequest ClassifyCommandLine(const char *text);
