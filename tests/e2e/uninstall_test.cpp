// Uninstall.exe on installations of the sample product: every way to stop before anything is
// removed, the refusals, silent mode, and what stays: the user's own files (a folder put where a
// file was installed among them), and a file in use, which goes at the next restart. (The full
// product's uninstall, with the machine compared before and after, ends e2e_full_install_test.)
// An installer made on Windows by vnxpack.exe from the stubs installs and uninstalls too.
// Then how both programs load the system's libraries: libraries planted beside them, and a
// system without CNG (each case run in a prefix of its own with its DLL overrides,
// tests/e2e/CMakeLists.txt).
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "regaddin/regaddin.h"
#include "tests/e2e/e2e_support.h"
#include "tests/standins/excel/standin_config.h"

namespace {

using namespace e2e;

const char kUninstallCaption[] = "Varnex Spreadsheet Add-In - Uninstall";
const char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";

// Installs the sample product into the new folder `folder` through the wizard.
void Install(const std::string &folder) {
    standin::Options excel;
    ASSERT_EQ(standin::Install(excel), 1);
    ASSERT_EQ(InstallIntoNewFolder(EnvPath("VNX_SETUP_EXE"), "", folder), 0);
    ASSERT_TRUE(PathExists(folder + "\\Uninstall.exe"));
}

struct Outcome {
    int exitCode = -1;
    std::vector<gui::MessageBoxInfo> boxes;
};

// Runs the installed uninstaller with `arguments` and answers the boxes that it, or the copy it
// starts, shows with `answers` in order. A box beyond them leaves the run hanging: it fails.
Outcome Uninstall(const std::string &folder, const std::string &arguments,
                  const std::vector<int> &answers, const std::string &exe = "") {
    Outcome run;
    gui::Process process;
    EXPECT_TRUE(process.Start(exe.empty() ? folder + "\\Uninstall.exe" : exe, arguments));
    for (int answer : answers) {
        gui::MessageBoxInfo box;
        if (!gui::WaitForMessageBox(0, &box, 60000)) {
            ADD_FAILURE() << "no message box for answer " << answer;
            break;
        }
        EXPECT_EQ(box.caption, kUninstallCaption);
        run.boxes.push_back(box);
        gui::AnswerMessageBox(box.window, answer);
        gui::WaitForWindowGone(box.window, 10000);
    }
    run.exitCode = process.WaitForExit(60000);
    return run;
}

bool Installed(const std::string &folder) {
    return PathExists(folder + "\\qubrix.xla") && PathExists(folder + "\\Doc\\index.htm") &&
           ReadRegistryText(HKEY_LOCAL_MACHINE, kInfoKey, "Install") == folder;
}

// The uninstallers' log, in the temporary folder they share with the tests.
std::string ReadUninstallLog() {
    char temp[MAX_PATH] = {};
    GetTempPathA(sizeof(temp), temp);
    return ReadFileText(std::string(temp) + "uninstall.log");
}

// The copy removes the original's file and the folder once the original has ended.
bool WaitGone(const std::string &path) {
    for (DWORD waited = 0; PathExists(path) && waited < 20000; waited += 100)
        Sleep(100);
    return !PathExists(path);
}

TEST(Uninstaller, NothingIsRemovedUntilTheUserAgreesAndExcelIsClosed) {
    // In a folder of the user's own, which stays when the installation goes.
    const std::string folder = "C:\\Mine\\U1";
    ASSERT_TRUE(MakeFolder("C:\\Mine"));
    Install(folder);
    MakeFolder("C:\\Other");
    // Hard links planted at the log's names: the log goes on beside them, and the files they
    // are other names of are untouched. (Wine has no symbolic links of its own to plant: it
    // follows a Unix one as a plain file, CreateSymbolicLinkA makes nothing, and
    // FSCTL_SET_REPARSE_POINT is not supported.)
    char temp[MAX_PATH] = {};
    GetTempPathA(sizeof(temp), temp);
    const std::string log = std::string(temp) + "uninstall.log";
    const std::string linkedLog = std::string(temp) + "uninstall-2.log";
    const std::string freshLog = std::string(temp) + "uninstall-3.log";
    ASSERT_TRUE(WriteFileText("C:\\Mine\\hard.txt", "the user's"));
    ASSERT_TRUE(WriteFileText("C:\\Mine\\other.txt", "the user's too"));
    DeleteFileA(log.c_str());
    ASSERT_TRUE(CreateHardLinkA(log.c_str(), "C:\\Mine\\hard.txt", nullptr));
    ASSERT_TRUE(CreateHardLinkA(linkedLog.c_str(), "C:\\Mine\\other.txt", nullptr));
    EXPECT_EQ(Uninstall(folder, "", {IDOK}).exitCode, 1);
    EXPECT_EQ(ReadFileText("C:\\Mine\\hard.txt"), "the user's");
    EXPECT_EQ(ReadFileText("C:\\Mine\\other.txt"), "the user's too");
    EXPECT_NE(ReadFileText(freshLog).find("* No installation folder was given."),
              std::string::npos);
    for (const std::string &name : {log, linkedLog, freshLog})
        EXPECT_TRUE(DeleteFileA(name.c_str())) << name;
    const std::string quoted = "\"" + folder + "\"";
    // What a folder names counts too, not only its text: a short name of Program Files; a folder
    // linked to the Windows folder (a Unix link in the prefix, which Wine follows); a name with a
    // blank at its end, which Windows takes as a new folder beside Program Files.
    char shortName[MAX_PATH] = {};
    ASSERT_GT(GetShortPathNameA("C:\\Program Files", shortName, sizeof(shortName)), 0u);
    ASSERT_STRNE(shortName, "C:\\Program Files");
    const std::string prefix = Env("WINEPREFIX");
    ASSERT_FALSE(prefix.empty());
    ASSERT_EQ(gui::RunLinuxCommand("ln -s '" + prefix + "/drive_c/windows' '" + prefix +
                                   "/drive_c/Linked'"),
              0);
    const struct {
        std::string arguments, start;
    } refusals[] = {
        {"", "No installation folder was given."},
        {"\"C:\\\"", "\"C:\\\" is a drive root"},
        {"C:\\WINDOWS", "\"C:\\WINDOWS\" is a system folder"}, // another letter case
        {"C:\\Other",
         "No installation of the Varnex Spreadsheet Add-In was found in \"C:\\Other\""},
        {"U1", "\"U1\" is not a full folder path."},
        {"C:\\Mine\\U1 C:\\Other", "The command line is not understood (more than one folder)"},
        {shortName, "\"" + std::string(shortName) + "\" is a system folder"},
        {"C:\\Linked", "\"C:\\Linked\" is a system folder"},
        {"\"C:\\Program Files \\U1\"", "\"C:\\Program Files \\U1\" is not a full folder path."},
    };
    for (const auto &refusal : refusals) {
        const Outcome run = Uninstall(folder, refusal.arguments, {IDOK});
        EXPECT_EQ(run.exitCode, 1) << refusal.arguments;
        ASSERT_EQ(run.boxes.size(), 1u);
        EXPECT_EQ(run.boxes[0].text.rfind(refusal.start, 0), 0u) << run.boxes[0].text;
        EXPECT_EQ(run.boxes[0].icon, gui::BoxIcon::Error);
    }
    EXPECT_EQ(Uninstall(folder, "/S C:\\Other", {}).exitCode, 1) << "silent: refused, no box";
    // An uninstaller whose list of files was damaged could remove the wrong ones: it refuses.
    std::string damaged = ReadFileText(folder + "\\Uninstall.exe");
    const size_t list = damaged.find("VNXLIST 2\n");
    ASSERT_NE(list, std::string::npos);
    damaged[list + 20] ^= 0x01;
    ASSERT_TRUE(WriteFileText("C:\\Other\\Uninstall.exe", damaged));
    const Outcome broken = Uninstall(folder, quoted, {IDOK}, "C:\\Other\\Uninstall.exe");
    EXPECT_EQ(broken.exitCode, 1);
    ASSERT_EQ(broken.boxes.size(), 1u);
    EXPECT_EQ(broken.boxes[0].text, "The uninstaller is damaged (the list of installed files does "
                                    "not match its checksum): nothing was removed.");
    EXPECT_TRUE(Installed(folder));

    // No at the question; then Cancel while Excel runs, asked and silent.
    Outcome no = Uninstall(folder, quoted, {IDNO});
    EXPECT_EQ(no.exitCode, 2);
    ASSERT_EQ(no.boxes.size(), 1u);
    EXPECT_EQ(no.boxes[0].text, "Remove Varnex Spreadsheet Add-In and all of its components?");
    EXPECT_EQ(no.boxes[0].defaultButton, IDNO);
    HWND excel = ShowExcelWindow();
    ASSERT_NE(excel, nullptr);
    Outcome cancel = Uninstall(folder, quoted, {IDYES, IDRETRY, IDCANCEL});
    EXPECT_EQ(cancel.exitCode, 2);
    ASSERT_EQ(cancel.boxes.size(), 3u);
    EXPECT_EQ(cancel.boxes[1].text.rfind("Microsoft Excel is currently running.", 0), 0u);
    EXPECT_EQ(cancel.boxes[1].buttons, (std::vector<int>{IDCANCEL, IDRETRY}));
    EXPECT_EQ(Uninstall(folder, "/S " + quoted, {}).exitCode, 2) << "silent: Excel is not killed";
    DestroyWindow(excel);
    EXPECT_TRUE(Installed(folder));

    // Silent, with Excel closed: everything goes without a window, a read-only file too, and
    // the marker file of a registration that was cut short; the Control Panel entry alone
    // names the installation. A second run finds nothing.
    ASSERT_TRUE(SetFileAttributesA((folder + "\\qubrix.xla").c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(WriteFileText(folder + "\\install.sem", "Varnex Sem"));
    char infoName[] = "SpreadsheetAddin";
    ASSERT_EQ(RegAddin_RemoveInstallInfo(infoName), 1);
    EXPECT_EQ(Uninstall(folder, "/S " + quoted, {}).exitCode, 0);
    EXPECT_TRUE(WaitGone(folder));
    EXPECT_TRUE(PathExists("C:\\Mine")) << "the user's folder that held the installation";
    EXPECT_EQ(ReadRegistryText(HKEY_LOCAL_MACHINE, kInfoKey, "Install"), "");
    MakeFolder(folder);
    CopyFileA(EnvPath("VNX_UNINSTALL_EXE").c_str(), (folder + "\\Uninstall.exe").c_str(), FALSE);
    EXPECT_EQ(Uninstall(folder, "/S " + quoted, {}).exitCode, 1) << "uninstalled twice";
}

// vnxpack.exe, the maker built for Windows, makes the sample product's installer from this
// build's stubs on Windows itself; it installs the product, and its uninstaller removes it all.
TEST(Uninstaller, AnInstallerMadeByTheWindowsMakerInstallsAndUninstalls) {
    const std::string made = WorkPath("made");
    ASSERT_TRUE(MakeFolder(made));
    const std::string arguments = "installer \"" + EnvPath("VNX_SAMPLE_PRODUCT_DIR") +
                                  "\" --stub-dir \"" + EnvPath("VNX_STUB_DIR") + "\" -o \"" + made +
                                  "\\Setup.exe\" --product-version " + Env("VNX_PRODUCT_VERSION") +
                                  " --product-build " + Env("VNX_PRODUCT_BUILD") + " --jobs 2";
    gui::Process maker;
    ASSERT_TRUE(maker.Start(EnvPath("VNX_VNXPACK_EXE"), arguments));
    ASSERT_EQ(maker.WaitForExit(120000), 0);

    const std::string folder = "C:\\Made by vnxpack";
    standin::Options excel;
    ASSERT_EQ(standin::Install(excel), 1);
    ASSERT_EQ(InstallIntoNewFolder(made + "\\Setup.exe", "", folder), 0);
    EXPECT_TRUE(Installed(folder));
    EXPECT_EQ(Uninstall(folder, "/S \"" + folder + "\"", {}).exitCode, 0);
    EXPECT_TRUE(WaitGone(folder));
    EXPECT_EQ(ReadRegistryText(HKEY_LOCAL_MACHINE, kInfoKey, "Install"), "");
}

TEST(Uninstaller, WhatTheUserAddedStaysAndAFileInUseGoesAtTheRestart) {
    const std::string folder = "C:\\U2";
    Install(folder);
    ASSERT_TRUE(WriteFileText(folder + "\\Doc\\mine.txt", "the user's"));
    ASSERT_TRUE(WriteFileText(folder + "\\notes.txt", "the user's too"));
    // An installed file the user replaced by a folder of their own: it stays with its parents.
    const std::string replaced = folder + "\\Examples\\Sample Workbook.txt";
    ASSERT_TRUE(DeleteFileA(replaced.c_str()));
    ASSERT_TRUE(MakeFolder(replaced));
    ASSERT_TRUE(WriteFileText(replaced + "\\inside.txt", "the user's own"));
    // An installed file the user edited in place, its length kept: theirs now, it stays.
    const std::string edited = folder + "\\Doc\\index.htm";
    std::string page = ReadFileText(edited);
    ASSERT_FALSE(page.empty());
    page[page.size() / 2] = page[page.size() / 2] == 'x' ? 'y' : 'x';
    ASSERT_TRUE(WriteFileText(edited, page));
    HANDLE held = CreateFileA((folder + "\\Data\\VERSION.txt").c_str(), GENERIC_READ,
                              FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const Outcome run = Uninstall(folder, "\"" + folder + "\"", {IDYES, IDOK});
    CloseHandle(held);
    EXPECT_EQ(run.exitCode, 3) << "something stays";
    ASSERT_EQ(run.boxes.size(), 2u);
    const std::string &message = run.boxes[1].text;
    EXPECT_EQ(run.boxes[1].icon, gui::BoxIcon::Warning);
    for (const char *line :
         {"\n  C:\\U2\\Data\\VERSION.txt (will be removed when Windows restarts)",
          "\n  C:\\U2\\Examples\\Sample Workbook.txt (holds files that were not installed)",
          "\n  C:\\U2\\Examples (holds files that were not installed)",
          "\n  C:\\U2\\Doc\\index.htm was changed after the installation: kept",
          "\n  C:\\U2\\Doc (holds files that were not installed)",
          "\n  and 1 more", // the folder itself, in the log
          "\n\nYour own settings (tarvelo.prefs, tarvelo.con) were kept"})
        EXPECT_NE(message.find(line), std::string::npos) << line << " in\n" << message;
    EXPECT_TRUE(PathExists(folder + "\\Doc\\mine.txt"));
    EXPECT_TRUE(PathExists(folder + "\\notes.txt"));
    EXPECT_TRUE(PathExists(replaced + "\\inside.txt"));
    EXPECT_FALSE(PathExists(folder + "\\qubrix.xla"));
    EXPECT_EQ(ReadFileText(edited), page);
    const std::string log = ReadUninstallLog();
    EXPECT_NE(log.find(edited + " was changed after the installation: kept"), std::string::npos);
    EXPECT_NE(log.find("Kept folder C:\\U2: it holds files that were not installed"),
              std::string::npos);
    EXPECT_TRUE(WaitGone(folder + "\\Uninstall.exe"));
    EXPECT_EQ(ReadRegistryText(HKEY_LOCAL_MACHINE, kInfoKey, "Install"), "");
    // The file in use and its folder are handed to the next restart.
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_READ, &key), ERROR_SUCCESS);
    char pending[8192] = {};
    DWORD size = sizeof(pending) - 2;
    RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, nullptr,
                     reinterpret_cast<BYTE *>(pending), &size);
    RegCloseKey(key);
    const std::string names(pending, size);
    EXPECT_NE(names.find("C:\\U2\\Data\\VERSION.txt"), std::string::npos);
    EXPECT_NE(names.find("C:\\U2\\Data"), std::string::npos);
    // The user's folder and the folder that holds it are not.
    EXPECT_EQ(names.find("C:\\U2\\Examples"), std::string::npos) << names;
}

// ---- The system's libraries ----------------------------------------------------------------

// A PE file read into memory, with its little-endian fields (0 past its end).
struct PeFile {
    std::string data;
    uint32_t u16(size_t at) const {
        return at + 2 <= data.size() ? uint8_t(data[at]) | uint32_t(uint8_t(data[at + 1])) << 8 : 0;
    }
    uint32_t u32(size_t at) const { return u16(at) | u16(at + 2) << 16; }
    size_t Header() const { return u32(0x3C); }
    bool Valid() const {
        return data.compare(0, 2, "MZ") == 0 &&
               data.compare(Header(), 4, std::string("PE\0\0", 4)) == 0;
    }
    size_t Optional() const { return Header() + 24; }
    uint32_t EntryRva() const { return u32(Optional() + 16); }
    // Where the image address `rva` lies in the file; npos when no section holds it.
    size_t Offset(uint32_t rva) const {
        const size_t sections = Optional() + u16(Header() + 20);
        for (uint32_t i = 0; i < u16(Header() + 6); ++i) {
            const size_t section = sections + 40 * i;
            const uint32_t address = u32(section + 12);
            if (rva >= address && rva - address < std::max(u32(section + 8), u32(section + 16)))
                return u32(section + 20) + (rva - address);
        }
        return std::string::npos;
    }
};

// The libraries the PE file `path` imports, in lower case ("user32.dll"); empty when it is none.
std::vector<std::string> ImportedLibraries(const std::string &path) {
    const PeFile pe{ReadFileText(path)};
    if (!pe.Valid())
        return {};
    const std::string &data = pe.data;
    const auto u32 = [&pe](size_t at) { return pe.u32(at); };
    const auto offset = [&pe](uint32_t rva) { return pe.Offset(rva); };
    const size_t directories = pe.Optional() + (pe.u16(pe.Optional()) == 0x20B ? 112 : 96);
    std::vector<std::string> names;
    for (size_t at = offset(u32(directories + 8)); at + 20 <= data.size(); at += 20) {
        const size_t name = u32(at + 12) ? offset(u32(at + 12)) : std::string::npos;
        if (name >= data.size())
            break;
        std::string library = data.substr(name, data.find('\0', name) - name);
        std::transform(library.begin(), library.end(), library.begin(),
                       [](unsigned char c) { return char(std::tolower(c)); });
        names.push_back(library);
    }
    return names;
}

// The names of the files (not folders) in `folder` that match `pattern`, in order.
std::vector<std::string> FilesIn(const std::string &folder, const char *pattern) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\" + pattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

// The marker files that planted libraries loaded from `folder` left there.
std::vector<std::string> Markers(const std::string &folder) {
    return FilesIn(folder, "*.loaded");
}

// Copies the planted libraries `names` into `folder`.
void Plant(const std::vector<std::string> &names, const std::string &folder) {
    for (const std::string &name : names)
        ASSERT_TRUE(CopyFileA((EnvPath("VNX_PLANTED_DIR") + "\\" + name).c_str(),
                              (folder + "\\" + name).c_str(), FALSE))
            << name;
}

// Runs the program `exe` with the planted libraries beside it up to its entry point, as its
// debugger, and ends it there; returns the libraries loaded from its folder meanwhile, while
// its imports were resolved and initialised, before the program's first instruction. Their
// markers are removed. The breakpoint is written into the file, whose first instruction is an
// int3 for the run and is put back afterwards: a write into the running process need not reach
// an emulated one (qemu runs its own translation of the code, in an address space of its own).
std::vector<std::string> LoadedBeforeTheEntryPoint(const std::string &exe) {
    const std::string folder = exe.substr(0, exe.rfind('\\'));
    const PeFile pe{ReadFileText(exe)};
    const size_t entryAt = pe.Offset(pe.EntryRva());
    if (!pe.Valid() || entryAt >= pe.data.size()) {
        ADD_FAILURE() << exe << " has no entry point in its file";
        return {};
    }
    std::string trapped = pe.data;
    trapped[entryAt] = char(0xCC); // int3
    if (!WriteFileText(exe, trapped)) {
        ADD_FAILURE() << "cannot write " << exe;
        return {};
    }
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    std::string commandLine = "\"" + exe + "\"";
    EXPECT_TRUE(CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE,
                               DEBUG_ONLY_THIS_PROCESS, nullptr, folder.c_str(), &startup,
                               &process))
        << exe;
    uint8_t *entry = nullptr;
    bool reached = false;
    for (bool running = process.hProcess != nullptr; running;) {
        DEBUG_EVENT event = {};
        if (!WaitForDebugEvent(&event, 30000)) {
            ADD_FAILURE() << exe << " does not reach its entry point";
            TerminateProcess(process.hProcess, 1);
            continue;
        }
        DWORD status = DBG_CONTINUE;
        if (event.dwDebugEventCode == CREATE_PROCESS_DEBUG_EVENT) {
            entry = static_cast<uint8_t *>(event.u.CreateProcessInfo.lpBaseOfImage) + pe.EntryRva();
            CloseHandle(event.u.CreateProcessInfo.hFile);
        } else if (event.dwDebugEventCode == LOAD_DLL_DEBUG_EVENT) {
            CloseHandle(event.u.LoadDll.hFile);
        } else if (event.dwDebugEventCode == EXCEPTION_DEBUG_EVENT) {
            const EXCEPTION_RECORD &exception = event.u.Exception.ExceptionRecord;
            // Windows names the int3 itself; qemu, which runs the 32-bit programs where the
            // kernel runs no 32-bit code, the instruction after it.
            const auto *at = static_cast<const uint8_t *>(exception.ExceptionAddress);
            if (exception.ExceptionCode == EXCEPTION_BREAKPOINT && entry &&
                (at == entry || at == entry + 1)) {
                reached = true;
                TerminateProcess(process.hProcess, 0);
            } else if (exception.ExceptionCode != EXCEPTION_BREAKPOINT) {
                status = DBG_EXCEPTION_NOT_HANDLED;
            }
        } else if (event.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT) {
            running = false;
        }
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
    }
    if (process.hProcess) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    EXPECT_TRUE(WriteFileText(exe, pe.data)) << "cannot put " << exe << " back";
    EXPECT_TRUE(reached) << exe;
    std::vector<std::string> names;
    for (const std::string &marker : Markers(folder)) {
        names.push_back(marker.substr(0, marker.size() - std::strlen(".loaded")));
        DeleteFileA((folder + "\\" + marker).c_str());
    }
    return names;
}

// The planted libraries in `folder` work: looked for by name with `folder` on the search path,
// each one that this process has not loaded already is loaded and leaves its marker. Without
// the native-first overrides Wine would take its own library instead.
void ExpectPlantedLibrariesLoad(const std::vector<std::string> &names, const std::string &folder) {
    int tried = 0;
    for (const std::string &name : names) {
        if (GetModuleHandleA(name.c_str()))
            continue;
        ++tried;
        SetDllDirectoryA(folder.c_str());
        HMODULE library = LoadLibraryA(name.c_str());
        SetDllDirectoryA(nullptr);
        EXPECT_NE(library, nullptr) << name;
        const std::string marker = folder + "\\" + name + ".loaded";
        EXPECT_TRUE(PathExists(marker)) << "the planted " << name << " was not loaded";
        if (library)
            FreeLibrary(library);
        DeleteFileA(marker.c_str());
    }
    EXPECT_GT(tried, 0);
    EXPECT_EQ(Markers(folder), std::vector<std::string>());
}

// Libraries named like Windows' own that Windows does not protect, left beside the installer in
// a downloads folder and beside the uninstaller in the installation folder: neither program
// loads any of them, and both do their work. Run with those names native-first.
TEST(SystemLibraries, PlantedLibrariesBesideEitherProgramAreNotLoaded) {
    const std::string downloads = "C:\\Users\\Public\\Downloads";
    ASSERT_TRUE(MakeFolder(downloads));
    const std::string setup = downloads + "\\Setup.exe";
    ASSERT_TRUE(CopyFileA(EnvPath("VNX_SETUP_EXE").c_str(), setup.c_str(), FALSE));
    const std::vector<std::string> names = FilesIn(EnvPath("VNX_PLANTED_DIR"), "*.dll");
    Plant(names, downloads);
    ExpectPlantedLibrariesLoad(names, downloads);

    // What Wine's own libraries load from beside a program while its imports are resolved and
    // initialised, before the program's first instruction, Windows takes from the system folder
    // (a KnownDLL's imports) or does not load then: those names stay out. A library that the
    // program imports itself never does.
    const std::string uninstaller = downloads + "\\Uninstall.exe";
    ASSERT_TRUE(CopyFileA(EnvPath("VNX_UNINSTALL_EXE").c_str(), uninstaller.c_str(), FALSE));
    std::vector<std::string> leftOut;
    for (const std::string &exe : {setup, uninstaller}) {
        const std::vector<std::string> imported = ImportedLibraries(exe);
        for (const std::string &name : LoadedBeforeTheEntryPoint(exe)) {
            if (std::find(imported.begin(), imported.end(), name) != imported.end()) {
                ADD_FAILURE() << exe << " imports " << name;
            } else if (std::find(leftOut.begin(), leftOut.end(), name) == leftOut.end()) {
                std::printf("left out: %s, loaded by Wine's libraries before the entry point of "
                            "%s\n",
                            name.c_str(), exe.c_str());
                leftOut.push_back(name);
            }
        }
    }
    ASSERT_TRUE(DeleteFileA(uninstaller.c_str()));
    std::vector<std::string> planted;
    for (const std::string &name : names) {
        if (std::find(leftOut.begin(), leftOut.end(), name) == leftOut.end())
            planted.push_back(name);
        else
            ASSERT_TRUE(DeleteFileA((downloads + "\\" + name).c_str()));
    }
    // The libraries the programs load themselves are always checked.
    for (const char *name : {"bcrypt.dll", "msimg32.dll"})
        EXPECT_NE(std::find(planted.begin(), planted.end(), name), planted.end()) << name;

    const std::string folder = "C:\\P1";
    standin::Options excel;
    ASSERT_EQ(standin::Install(excel), 1);
    EXPECT_EQ(InstallIntoNewFolder(setup, "", folder), 0);
    EXPECT_EQ(Markers(downloads), std::vector<std::string>());
    ASSERT_TRUE(Installed(folder));

    // The uninstaller starts from the installation folder; the libraries stay there, as files
    // the user added.
    Plant(planted, folder);
    const Outcome run = Uninstall(folder, "\"" + folder + "\"", {IDYES, IDOK});
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_EQ(Markers(folder), std::vector<std::string>());
    EXPECT_FALSE(PathExists(folder + "\\qubrix.xla"));
    EXPECT_TRUE(WaitGone(folder + "\\Uninstall.exe"));
    EXPECT_EQ(FilesIn(folder, "*"), planted) << "only the planted libraries stay";
}

// Without Windows' CNG library (run with bcrypt.dll disabled) neither program can check what it
// carries: both refuse to go on rather than take it as good.
TEST(SystemLibraries, WithoutCngNeitherProgramGoesOn) {
    HMODULE cng = LoadLibraryA("bcrypt.dll");
    if (cng)
        FreeLibrary(cng);
    ASSERT_EQ(cng, nullptr) << "the DLL override did not disable bcrypt.dll";
    const std::string unavailable =
        "Windows' cryptography library (bcrypt.dll) is missing from the system folder or does not "
        "work";

    ASSERT_TRUE(MakeFolder(kDefaultFolder));
    gui::Process setup;
    ASSERT_TRUE(setup.Start(EnvPath("VNX_SETUP_EXE"), ""));
    gui::MessageBoxInfo box;
    ASSERT_TRUE(gui::WaitForMessageBox(setup.Id(), &box, 30000));
    EXPECT_EQ(box.text, "The installer cannot check the product it carries: " + unavailable +
                            ", so nothing was installed.");
    EXPECT_EQ(box.icon, gui::BoxIcon::Error);
    gui::AnswerMessageBox(box.window, IDOK);
    EXPECT_EQ(setup.WaitForExit(30000), 1);
    EXPECT_FALSE(PathExists(std::string(kDefaultFolder) + "\\install.log"));

    // An installation as the registry records it, with its uninstaller.
    const std::string folder = "C:\\U3";
    ASSERT_TRUE(MakeFolder(folder + "\\Doc"));
    ASSERT_TRUE(WriteFileText(folder + "\\qubrix.xla", "add-in"));
    ASSERT_TRUE(CopyFileA(EnvPath("VNX_UNINSTALL_EXE").c_str(),
                          (folder + "\\Uninstall.exe").c_str(), FALSE));
    installinfo_tag info = {};
    lstrcpynA(info.installDir, folder.c_str(), sizeof(info.installDir));
    char key[] = "SpreadsheetAddin";
    ASSERT_EQ(RegAddin_SetInstallInfo(key, &info), 1);
    const Outcome run = Uninstall(folder, "\"" + folder + "\"", {IDOK});
    EXPECT_EQ(run.exitCode, 1);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].text, "The uninstaller cannot check its list of installed files: " +
                                     unavailable + ", so nothing was removed.");
    EXPECT_TRUE(PathExists(folder + "\\qubrix.xla"));
    EXPECT_EQ(ReadRegistryText(HKEY_LOCAL_MACHINE, kInfoKey, "Install"), folder);
}

} // namespace
