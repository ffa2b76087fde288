// The uninstaller's rules: its command line, the order of removal, the closing message.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "uninstall/uninstall_rules.h"

namespace {

using namespace uninstall;

TEST(UninstallCommandLine, TheControlPanelsFormAndTheSilentAndPrivateSwitches) {
    Command c = ParseCommandLine("\"C:\\Program Files\\Varnok\\VarnexAddin\"");
    EXPECT_EQ(c.kind, Command::Kind::Run);
    EXPECT_EQ(c.folder, "C:\\Program Files\\Varnok\\VarnexAddin");
    EXPECT_FALSE(c.silent);
    EXPECT_FALSE(c.isCopy);

    c = ParseCommandLine("/s  C:\\Tools\\Varnex");
    EXPECT_EQ(c.kind, Command::Kind::Run);
    EXPECT_TRUE(c.silent);
    EXPECT_EQ(c.folder, "C:\\Tools\\Varnex");

    c = ParseCommandLine("/RUN:1234:5678 \"C:\\A B\" /S");
    EXPECT_EQ(c.kind, Command::Kind::Run);
    EXPECT_TRUE(c.isCopy);
    EXPECT_TRUE(c.silent);
    EXPECT_EQ(c.originalProcess, 1234u);
    EXPECT_EQ(c.verdictPipe, 5678u);
    EXPECT_EQ(c.folder, "C:\\A B");

    EXPECT_EQ(ParseCommandLine(nullptr).kind, Command::Kind::MissingFolder);
    EXPECT_EQ(ParseCommandLine("  ").kind, Command::Kind::MissingFolder);
    EXPECT_EQ(ParseCommandLine("/S").kind, Command::Kind::MissingFolder);
    EXPECT_EQ(ParseCommandLine("C:\\A C:\\B").kind, Command::Kind::Malformed);
    EXPECT_EQ(ParseCommandLine("/X C:\\A").kind, Command::Kind::Malformed);
    EXPECT_EQ(ParseCommandLine("/RUN:12 C:\\A").kind, Command::Kind::Malformed);
    EXPECT_EQ(ParseCommandLine("/RUN:1:x C:\\A").kind, Command::Kind::Malformed);
}

TEST(UninstallPlan, FilesFirstThenFoldersDeepestFirst) {
    payload::InstallList list;
    const std::string digest(64, 'a');
    list.entries = {{false, "Uninstall.exe", -1, ""}, {true, "Lib", -1, ""},
                    {false, "Lib\\a.dll", 1, digest}, {true, "Lib\\Part1", -1, ""},
                    {true, "Lib\\Part1\\X", -1, ""},  {true, "Doc", -1, ""},
                    {true, "Lib\\Part2", -1, ""},     {false, "Lib\\Part2\\b", 2, digest}};
    const RemovalPlan plan = MakeRemovalPlan(list);
    std::vector<std::string> files;
    for (const payload::InstallListEntry &file : plan.files) {
        files.push_back(file.path);
        EXPECT_EQ(file.sha256, file.size < 0 ? "" : digest) << "what it must still hold";
    }
    EXPECT_EQ(files, (std::vector<std::string>{"Uninstall.exe", "Lib\\a.dll", "Lib\\Part2\\b"}));
    EXPECT_EQ(plan.folders, (std::vector<std::string>{"Lib\\Part1\\X", "Lib\\Part2", "Lib\\Part1",
                                                      "Doc", "Lib"}));
}

// Under Wine nothing is a reparse point: the walk is shown here over a stub of the file system.
TEST(UninstallPlan, ALinkOnTheWayIsNotFollowedAndALinkListedGoesAsALink) {
    const std::set<std::string> links = {"C:\\V\\Lib\\Part1", "C:\\V\\Doc\\a.htm"};
    std::vector<std::string> asked;
    const auto isLink = [&](const std::string &path) {
        asked.push_back(path);
        return links.count(path) > 0;
    };
    std::string link;
    EXPECT_EQ(FindLinkOnPath("C:\\V", "Lib\\a.dll", isLink), LinkOnPath::None);
    EXPECT_EQ(asked, (std::vector<std::string>{"C:\\V\\Lib", "C:\\V\\Lib\\a.dll"}));
    EXPECT_EQ(FindLinkOnPath("C:\\V", "Lib\\Part1\\X\\b.dll", isLink, &link), LinkOnPath::Through);
    EXPECT_EQ(link, "C:\\V\\Lib\\Part1");
    EXPECT_EQ(FindLinkOnPath("C:\\V", "Lib\\Part1", isLink, &link), LinkOnPath::Itself);
    EXPECT_EQ(FindLinkOnPath("C:\\V", "Doc\\a.htm", isLink, &link), LinkOnPath::Itself);
    EXPECT_EQ(link, "C:\\V\\Doc\\a.htm");
    EXPECT_EQ(FindLinkOnPath("C:\\V", "qubrix.xla", isLink), LinkOnPath::None);
}

TEST(UninstallMessage, NamesAFewLeftoversAndWhatBecomesOfThem) {
    const std::string kept =
        "\n\nYour own settings (tarvelo.prefs, tarvelo.con) were kept in C:\\AD.";
    EXPECT_EQ(FinalMessage("Varnex", {}, "C:\\AD"), "The Varnex was removed." + kept);
    std::vector<Leftover> left = {
        {"C:\\V\\a.dll", true, false},
        {"C:\\V\\Mine", false, true},
        {"C:\\V\\Book.xls", false, false, "was changed after the installation: kept"}};
    EXPECT_EQ(FinalMessage("Varnex", left, "C:\\AD"),
              "The Varnex was removed, but these could not be removed:\n"
              "\n  C:\\V\\a.dll (will be removed when Windows restarts)"
              "\n  C:\\V\\Mine (holds files that were not installed)"
              "\n  C:\\V\\Book.xls was changed after the installation: kept"
              "\n\nThe uninstall log in the temporary folder lists them all." +
                  kept);
    for (int i = 0; i < 5; ++i)
        left.push_back({"C:\\V\\f" + std::to_string(i), false, false});
    const std::string many = FinalMessage("Varnex", left, "");
    EXPECT_NE(many.find("\n  C:\\V\\f1\n  and 3 more"), std::string::npos) << many;
    EXPECT_EQ(many.find("C:\\V\\f2"), std::string::npos);
    EXPECT_NE(many.find("were kept."), std::string::npos);
}

} // namespace
