#include "uninstall/uninstall_rules.h"

#include <algorithm>
#include <cstring>

#include "product/names.h"
#include "regaddin/string_rules.h"

namespace uninstall {

namespace {

// Splits at blanks, keeping double-quoted runs together (quotes removed).
std::vector<std::string> Tokens(const char *text) {
    std::vector<std::string> tokens;
    std::string token;
    bool quoted = false, inToken = false;
    for (const char *p = text; p && *p; ++p) {
        if (*p == '"') {
            quoted = !quoted;
            inToken = true;
        } else if ((*p == ' ' || *p == '\t') && !quoted) {
            if (inToken)
                tokens.push_back(token);
            token.clear();
            inToken = false;
        } else {
            token += *p;
            inToken = true;
        }
    }
    if (inToken)
        tokens.push_back(token);
    return tokens;
}

bool ParseHandle(const std::string &text, uint64_t *value) {
    if (text.empty() || text.size() > 20)
        return false;
    uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + uint64_t(c - '0');
    }
    *value = v;
    return true;
}

// "/RUN:<process>:<pipe>"
bool ParseCopySwitch(const std::string &token, Command *command) {
    const std::string prefix = "/RUN:";
    if (token.size() <= prefix.size() || !EqualsNoCase(token.substr(0, prefix.size()), prefix))
        return false;
    const std::string rest = token.substr(prefix.size());
    const size_t colon = rest.find(':');
    return colon != std::string::npos &&
           ParseHandle(rest.substr(0, colon), &command->originalProcess) &&
           ParseHandle(rest.substr(colon + 1), &command->verdictPipe);
}

size_t Depth(const std::string &relative) {
    return static_cast<size_t>(std::count(relative.begin(), relative.end(), '\\'));
}

} // namespace

Command ParseCommandLine(const char *text) {
    Command command;
    for (const std::string &token : Tokens(text)) {
        if (EqualsNoCase(token, "/S")) {
            command.silent = true;
        } else if (ParseCopySwitch(token, &command)) {
            command.isCopy = true;
        } else if (!token.empty() && token[0] == '/') {
            command.kind = Command::Kind::Malformed;
            command.problem = "unknown option " + token;
            return command;
        } else if (command.folder.empty() && !token.empty()) {
            command.folder = token;
        } else {
            command.kind = Command::Kind::Malformed;
            command.problem = "more than one folder";
            return command;
        }
    }
    command.kind = command.folder.empty() ? Command::Kind::MissingFolder : Command::Kind::Run;
    return command;
}

RemovalPlan MakeRemovalPlan(const payload::InstallList &list) {
    RemovalPlan plan;
    for (const payload::InstallListEntry &entry : list.entries)
        if (entry.isFolder)
            plan.folders.push_back(entry.path);
        else
            plan.files.push_back(entry);
    // Deepest first; among equals, the later listed first (children follow their parents).
    std::reverse(plan.folders.begin(), plan.folders.end());
    std::stable_sort(
        plan.folders.begin(), plan.folders.end(),
        [](const std::string &a, const std::string &b) { return Depth(a) > Depth(b); });
    return plan;
}

LinkOnPath FindLinkOnPath(const std::string &folder, const std::string &relative,
                          const std::function<bool(const std::string &path)> &isLink,
                          std::string *link) {
    for (size_t end = relative.find('\\');; end = relative.find('\\', end + 1)) {
        const bool last = end == std::string::npos;
        const std::string path = folder + "\\" + (last ? relative : relative.substr(0, end));
        if (isLink(path)) {
            if (link)
                *link = path;
            return last ? LinkOnPath::Itself : LinkOnPath::Through;
        }
        if (last)
            return LinkOnPath::None;
    }
}

std::string FinalMessage(const std::string &displayName, const std::vector<Leftover> &leftovers,
                         const std::string &settingsFolder) {
    std::string text;
    if (leftovers.empty()) {
        text = "The " + displayName + " was removed.";
    } else {
        text = "The " + displayName + " was removed, but these could not be removed:\n";
        for (size_t i = 0; i < leftovers.size() && i < kLeftoversNamed; ++i) {
            const Leftover &left = leftovers[i];
            text += "\n  " + left.path;
            if (left.scheduled)
                text += " (will be removed when Windows restarts)";
            else if (left.holdsOtherFiles)
                text += " (holds files that were not installed)";
            else if (!left.kept.empty())
                text += " " + left.kept;
        }
        if (leftovers.size() > kLeftoversNamed)
            text += "\n  and " + std::to_string(leftovers.size() - kLeftoversNamed) + " more";
        text += "\n\nThe uninstall log in the temporary folder lists them all.";
    }
    text += std::string("\n\nYour own settings (") + product::kPreferencesFile + ", " +
            product::kConnectionsFile + ") were kept";
    text += settingsFolder.empty() ? "." : " in " + settingsFolder + ".";
    return text;
}

} // namespace uninstall
