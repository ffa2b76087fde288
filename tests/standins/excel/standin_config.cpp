#include "tests/standins/excel/standin_config.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tests/support/environment.h"
#include "tests/support/registry.h"
#include "tests/support/registry_keys.h"
#include "tests/support/text_files.h"
#include "tests/support/win_files.h"

namespace standin {

// {6F1C3A52-8E0B-4D7A-9C21-5B4E7D0A9F13}
const CLSID kStandinClsid = {
    0x6f1c3a52, 0x8e0b, 0x4d7a, {0x9c, 0x21, 0x5b, 0x4e, 0x7d, 0x0a, 0x9f, 0x13}};
const char kStandinClsidText[] = "{6F1C3A52-8E0B-4D7A-9C21-5B4E7D0A9F13}";
const char kConfigKey[] = "Software\\VarnexTests\\StandinExcel";

namespace {

const char kProgId[] = "Excel.Application";

// `view` (KEY_WOW64_32KEY or KEY_WOW64_64KEY, or 0 for the caller's own) picks the registry view
// on 64-bit Windows.
bool SetKeyText(HKEY root, const std::string &path, const char *name, const std::string &text,
                REGSAM view = 0) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE | view, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return false;
    LONG rc = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(text.c_str()),
                             static_cast<DWORD>(text.size() + 1));
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

bool SetDword(HKEY key, const char *name, DWORD value) {
    return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value),
                          sizeof value) == ERROR_SUCCESS;
}

std::string Field(const std::string &line, size_t *pos) {
    size_t end = line.find('\t', *pos);
    if (end == std::string::npos)
        end = line.size();
    std::string field = line.substr(*pos, end - *pos);
    *pos = end < line.size() ? end + 1 : end;
    return field;
}

bool TakePrefixed(const std::string &field, const char *prefix, std::string *rest) {
    size_t n = std::strlen(prefix);
    if (field.compare(0, n, prefix) != 0)
        return false;
    *rest = field.substr(n);
    return true;
}

} // namespace

// A server is registered where Windows keeps the classes of its own size, as a real Excel's
// set-up does: a 64-bit stand-in in the 64-bit view, a 32-bit one in the 32-bit view. Clients
// of either size then find it as they would find that Excel.
int Register(const char *exePath, bool perUser) {
    HKEY root = perUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
    const REGSAM view = RegistryViewOf(exePath);
    if (!view)
        return 0;
    const std::string classes = "Software\\Classes\\";
    const std::string clsidKey = classes + "CLSID\\" + kStandinClsidText;
    std::string server = std::string("\"") + exePath + "\"";
    bool ok = SetKeyText(root, classes + kProgId, nullptr, "Stand-in Excel Application", view) &&
              SetKeyText(root, classes + kProgId + "\\CLSID", nullptr, kStandinClsidText, view) &&
              SetKeyText(root, clsidKey, nullptr, "Stand-in Excel Application", view) &&
              SetKeyText(root, clsidKey + "\\ProgID", nullptr, kProgId, view) &&
              SetKeyText(root, clsidKey + "\\LocalServer32", nullptr, server, view);
    return ok ? 1 : 0;
}

// Removes the registration from both views.
int Unregister(bool perUser) {
    HKEY root = perUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
    const std::string clsidKey = std::string("CLSID\\") + kStandinClsidText;
    bool gone = true;
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
        HKEY classes = nullptr;
        if (RegOpenKeyExA(root, "Software\\Classes", 0, KEY_ALL_ACCESS | view, &classes) !=
            ERROR_SUCCESS)
            continue;
        RegDeleteTreeA(classes, kProgId);
        RegDeleteTreeA(classes, clsidKey.c_str());
        RegCloseKey(classes);
        gone = gone && !KeyExists(root, std::string("Software\\Classes\\") + kProgId, view) &&
               !KeyExists(root, "Software\\Classes\\" + clsidKey, view);
    }
    return gone ? 1 : 0;
}

int Configure(const Options &o) {
    RegDeleteTreeA(HKEY_CURRENT_USER, kConfigKey);
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kConfigKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return 0;
    bool ok =
        RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE *>(o.version.c_str()),
                       static_cast<DWORD>(o.version.size() + 1)) == ERROR_SUCCESS &&
        RegSetValueExA(key, "Journal", 0, REG_SZ, reinterpret_cast<const BYTE *>(o.journal.c_str()),
                       static_cast<DWORD>(o.journal.size() + 1)) == ERROR_SUCCESS &&
        SetDword(key, "VersionKind", static_cast<DWORD>(o.versionKind)) &&
        SetDword(key, "FailStart", o.failStart) && SetDword(key, "NoWorkbooks", o.noWorkbooks) &&
        SetDword(key, "FailWorkbookAdd", o.failWorkbookAdd) &&
        SetDword(key, "FailAddinAdd", o.failAddinAdd) &&
        SetDword(key, "MarkerDelayMs", o.markerDelayMs) &&
        SetDword(key, "MarkerNever", o.markerNever) &&
        SetDword(key, "QuitDelayMs", o.quitDelayMs) && SetDword(key, "QuitNever", o.quitNever);
    RegCloseKey(key);
    return ok ? 1 : 0;
}

std::string ExePathFromEnvironment() {
    return Env("VNX_STANDIN_EXCEL");
}

int Install(const Options &options) {
    std::string exe = ExePathFromEnvironment();
    if (exe.empty())
        return 0;
    if (!RegistryViewOf(exe)) {
        std::fprintf(stderr,
                     "standin: %s is missing or no Windows program (for the 64-bit "
                     "stand-in of the 32-bit tests: build the win64 preset first)\n",
                     exe.c_str());
        return 0;
    }
    return Register(exe.c_str(), false) && Configure(options) ? 1 : 0;
}

bool ParseJournalLine(const std::string &line, JournalEntry *e) {
    *e = JournalEntry();
    e->line = line;
    size_t pos = 0;
    e->type = Field(line, &pos);
    e->object = Field(line, &pos);
    e->member = Field(line, &pos);
    if (e->type == "EVENT")
        return true;
    if (e->type != "NAMES" && e->type != "INVOKE")
        return false;
    while (pos < line.size()) {
        std::string field = Field(line, &pos), rest;
        if (TakePrefixed(field, "flags=", &rest)) {
            e->flags = std::atoi(rest.c_str());
        } else if (TakePrefixed(field, "lcid=", &rest)) {
            e->lcid = static_cast<unsigned>(std::strtoul(rest.c_str(), nullptr, 16));
        } else if (TakePrefixed(field, "hr=", &rest)) {
            e->hr = static_cast<long>(std::strtoul(rest.c_str(), nullptr, 16));
        } else if (TakePrefixed(field, "named=", &rest)) {
            const char *p = rest.c_str();
            while (*p) {
                char *end = nullptr;
                e->named.push_back(std::strtol(p, &end, 10));
                if (end == p)
                    return false;
                p = *end == ',' ? end + 1 : end;
            }
        } else if (field.compare(0, 3, "arg") == 0) {
            size_t eq = field.find('=');
            if (eq == std::string::npos)
                return false;
            e->args.push_back(field.substr(eq + 1));
        } else {
            return false;
        }
    }
    return true;
}

std::vector<JournalEntry> ReadJournal(const std::string &path) {
    std::vector<JournalEntry> entries;
    // The stand-in ends each line with CRLF.
    for (const std::string &line : SplitCrLf(ReadFileText(path))) {
        JournalEntry e;
        if (ParseJournalLine(line, &e))
            entries.push_back(e);
    }
    return entries;
}

std::vector<JournalEntry> FindInvokes(const std::vector<JournalEntry> &journal,
                                      const std::string &object, const std::string &member) {
    std::vector<JournalEntry> found;
    for (const JournalEntry &e : journal)
        if (e.type == "INVOKE" && e.object == object && e.member == member)
            found.push_back(e);
    return found;
}

int CountEvents(const std::vector<JournalEntry> &journal, const std::string &what) {
    int n = 0;
    for (const JournalEntry &e : journal)
        if (e.type == "EVENT" && e.object == what)
            ++n;
    return n;
}

int CountFreed(const std::vector<JournalEntry> &journal, const std::string &object) {
    int n = 0;
    for (const JournalEntry &e : journal)
        n += e.type == "EVENT" && e.object == "freed" && e.member == object;
    return n;
}

std::string OptionsKeyPath(const std::string &version) {
    return ExcelOptionsKey(version);
}

std::string ReadOptionsValue(const std::string &version, const char *name) {
    char data[1024] = "";
    DWORD size = sizeof data - 1;
    if (RegGetValueA(HKEY_CURRENT_USER, OptionsKeyPath(version).c_str(), name, RRF_RT_REG_SZ,
                     nullptr, data, &size) != ERROR_SUCCESS)
        return std::string();
    return data;
}

int WriteOptionsValue(const std::string &version, const char *name, const std::string &text) {
    return SetKeyText(HKEY_CURRENT_USER, OptionsKeyPath(version), name, text) ? 1 : 0;
}

int ClearOptions(const std::string &version) {
    RegDeleteTreeA(HKEY_CURRENT_USER, OptionsKeyPath(version).c_str());
    return KeyExists(HKEY_CURRENT_USER, OptionsKeyPath(version)) ? 0 : 1;
}

bool ExcelWindowExists() {
    return FindWindowA("XLMain", nullptr) != nullptr;
}

bool WaitForExcelWindowGone(DWORD timeoutMs) {
    DWORD start = GetTickCount();
    while (ExcelWindowExists()) {
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(50);
    }
    return true;
}

int EndAllInstances() {
    for (int round = 0; round < 20 && ExcelWindowExists(); ++round) {
        HWND window = FindWindowA("XLMain", nullptr);
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        HANDLE process = pid ? OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid) : nullptr;
        if (process) {
            TerminateProcess(process, 9);
            WaitForSingleObject(process, 5000);
            CloseHandle(process);
        }
        WaitForExcelWindowGone(500);
    }
    return ExcelWindowExists() ? 0 : 1;
}

} // namespace standin
