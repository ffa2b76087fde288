// The uninstaller's rules that need no Windows API: its command line, the order of removal, and
// the final message (which folders it takes is regaddin/folder_rules.h). Unit-tested natively.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archive/install_list.h"
#include "regaddin/folder_rules.h"

namespace uninstall {

// What the command line asks for:
//   Uninstall.exe [/S] "<installation folder>"
// and, for the copy the uninstaller starts of itself, a private switch carrying two inherited
// handles (the original's process, and the pipe that takes the verdict):
//   Uninstall.exe /RUN:<process>:<pipe> [/S] "<installation folder>"
struct Command {
    enum class Kind { Run, MissingFolder, Malformed };
    Kind kind = Kind::MissingFolder;
    std::string folder;           // as given, without its quotes
    bool silent = false;          // /S: no question, no message box
    bool isCopy = false;          // the private switch was given
    uint64_t originalProcess = 0; // handle values of the private switch
    uint64_t verdictPipe = 0;
    std::string problem; // for Malformed: what was wrong
};

// `text` is the command line after the program name (may be null).
Command ParseCommandLine(const char *text);

// What to remove, in order: the listed files, then the listed folders deepest first.
struct RemovalPlan {
    std::vector<payload::InstallListEntry> files; // as listed, with what each must still hold
    std::vector<std::string> folders;             // relative paths, deepest first
};
RemovalPlan MakeRemovalPlan(const payload::InstallList &list);

// Where a listed path meets a link (a reparse point: a junction, a symbolic link, a mount point).
enum class LinkOnPath {
    None,    // no part of it is a link
    Itself,  // the listed entry is a link: it goes as a link, never what it leads to
    Through, // a folder on the way is a link: nothing beyond it is touched
};

// Asks `isLink` of each part of `relative` below `folder`, from the top down; `*link` (when
// given) gets the full path of the part that is a link.
LinkOnPath FindLinkOnPath(const std::string &folder, const std::string &relative,
                          const std::function<bool(const std::string &path)> &isLink,
                          std::string *link = nullptr);

// What stayed after a run.
struct Leftover {
    std::string path;      // full path
    bool scheduled;        // removal at the next restart was arranged
    bool holdsOtherFiles;  // a folder kept because it holds files the setup did not install
    std::string kept = {}; // else why a file was left untouched ("was changed after ...")
};

// The closing message: removed, or removed with what stayed (the first few named). It always
// says that the user's own settings in the application-data folder were kept.
std::string FinalMessage(const std::string &displayName, const std::vector<Leftover> &leftovers,
                         const std::string &settingsFolder);

constexpr size_t kLeftoversNamed = 5;

} // namespace uninstall
