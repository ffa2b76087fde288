#include "app/install_run.h"

#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <new>

#include "app/installer_state.h"
#include "app/message_boxes.h"
#include "app/text_rules.h"
#include "app/wizard.h"
#include "archive/install_log.h"
#include "archive/payload_archive.h"
#include "archive/payload_win32.h"
#include "resources/resource_ids.h"

namespace {

struct RunState {
    HRSRC resource = nullptr;
    HGLOBAL loaded = nullptr;
    const uint8_t *bytes = nullptr;
    PayloadArchive *archive = nullptr;
    HWND bar = nullptr;
    HWND status = nullptr;
    HWND caption = nullptr;
    HWND stepText = nullptr;
    int steps = 0;
    FreeSpaceQuery freeSpace = GetDiskFreeSpaceExA;
} g_run;

void WriteKeyValue(const char *key, const char *value) {
    if (g_state.log)
        g_state.log->WriteKeyValue(key, value);
}

void WalkProgress(unsigned percent) {
    SetProgress(static_cast<int>(percent), nullptr);
}

// Repaints a control at once: the step that follows (a large file, Excel) may block the thread
// for a long time, and the dialog must show what it is doing meanwhile.
void RepaintNow(HWND control) {
    InvalidateRect(control, nullptr, FALSE);
    UpdateWindow(control);
}

void SetControlText(HWND control, const char *text) {
    if (control && IsWindow(control)) {
        SetWindowTextA(control, text);
        RepaintNow(control);
    }
}

// The payload resource's bytes, located and locked; null when it is missing. Resources stay
// mapped for the life of the process, so the bytes need no release.
const uint8_t *FindPayload(HRSRC *resource, HGLOBAL *loaded, uint32_t *length) {
    *resource = FindResourceA(g_state.instance, MAKEINTRESOURCEA(IDR_PAYLOAD), "TESTDATA");
    *loaded = *resource ? LoadResource(g_state.instance, *resource) : nullptr;
    const auto *bytes = *loaded ? static_cast<const uint8_t *>(LockResource(*loaded)) : nullptr;
    *length = bytes ? SizeofResource(g_state.instance, *resource) : 0;
    return bytes;
}

// The folder itself when it exists, else its nearest existing parent (at most the drive root):
// the volume whose free space a run into that folder will use.
void NearestExistingFolder(const char *folder, char *out, size_t size) {
    lstrcpynA(out, folder, static_cast<int>(size));
    for (;;) {
        const DWORD attributes = GetFileAttributesA(out);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            return;
        char *cut = std::strrchr(out, '\\');
        if (!cut)
            return;
        if (cut - out <= 2) { // "C:\": keep the root
            cut[1] = '\0';
            return;
        }
        *cut = '\0';
    }
}

int FirstStep() {
    int result = -2;
    if (!LoadPayload())
        return -2;
    if (g_run.archive->IsUsable())
        result = 1;

    char number[32];
    std::snprintf(number, sizeof(number), "%ld", static_cast<long>(g_run.archive->totalSize));
    WriteKeyValue("Total Size", number);
    std::snprintf(number, sizeof(number), "%ld",
                  static_cast<long>(g_run.archive->diskSpaceRequired));
    WriteKeyValue("Disk Space Required", number);

    // A rehearsal's folder may not exist yet: ask the volume it will be made on.
    char volumeFolder[MAX_PATH];
    NearestExistingFolder(g_state.installDir, volumeFolder, sizeof(volumeFolder));
    ULARGE_INTEGER available = {}, total = {}, free = {};
    if (!g_run.freeSpace(volumeFolder, &available, &total, &free))
        return result; // no disk check and no announcement
    std::snprintf(number, sizeof(number), "%lld", static_cast<long long>(total.QuadPart));
    WriteKeyValue("Disk Size", number);
    std::snprintf(number, sizeof(number), "%lld", static_cast<long long>(available.QuadPart));
    WriteKeyValue("Bytes Available", number);

    if (available.QuadPart < g_run.archive->diskSpaceRequired) {
        char text[kStringCapacity];
        char message[kStringCapacity + 32];
        FormatRequiredBytes(message, sizeof(message),
                            LoadResString(IDS_INSUFFICIENT_SPACE, text, sizeof(text)),
                            g_run.archive->diskSpaceRequired);
        Warn(message);
        return -1;
    }
    NextStep(ProductString(IDS_STEP_INSTALLING));
    return result;
}

int LaterStep() {
    PayloadArchive *archive = g_run.archive;
    const int position = archive->Next();
    if (position == 1)
        WriteKeyValue("Installing Files", "Begin");
    int value = -2; // nothing to extract
    if (position > 0) {
        const char *path = archive->BuildPath();
        const int percent = archive->entryCount > 0
                                ? static_cast<int>(static_cast<long long>(archive->currentIndex) *
                                                   100 / archive->entryCount)
                                : 100;
        char line[1024];
        std::snprintf(line, sizeof(line), "%d - %s%s", percent, path ? path : "",
                      archive->IsCompressed() ? " (decompressing)" : "");
        LogLine(line);
        SetProgress(percent, path ? path : "");
        value = archive->ExtractCurrent();
    }
    if (value == 0) {
        WriteKeyValue("Installing Files", "End");
        ReleasePayload();
        return 0;
    }
    return value;
}

} // namespace

void SetFreeSpaceQuery(FreeSpaceQuery query) {
    g_run.freeSpace = query ? query : GetDiskFreeSpaceExA;
}

void SetProgressControls(HWND bar, HWND status, HWND caption, HWND stepText) {
    g_run.bar = bar;
    g_run.status = status;
    g_run.caption = caption;
    g_run.stepText = stepText;
}

PayloadArchive *CurrentArchive() {
    return g_run.archive;
}

uint32_t MaxInstallFolderLength() {
    HRSRC resource = nullptr;
    HGLOBAL loaded = nullptr;
    uint32_t length = 0;
    const uint8_t *bytes = FindPayload(&resource, &loaded, &length);
    // A quiet walk: the log gets the payload's lines when the run loads it.
    PayloadArchive archive(bytes, length, "", nullptr);
    // A payload that cannot be installed fails the run later with its own message.
    return archive.IsUsable() ? archive.MaxTargetFolderLength() : payload::kMaxFolderPathLength;
}

bool LoadPayload() {
    uint32_t length = 0;
    g_run.bytes = FindPayload(&g_run.resource, &g_run.loaded, &length);
    if (g_run.bytes) {
        static const int noTestMode = 0;
        ConfigureExtraction({g_state.testMode ? &g_state.testMode : &noTestMode, Warn});
        const PayloadHooks hooks = MakeWin32PayloadHooks(LogLine, WalkProgress);
        g_run.archive =
            new (std::nothrow) PayloadArchive(g_run.bytes, length, g_state.installDir, &hooks);
    }
    if (!g_run.archive) {
        Warn(ProductString(IDS_RESOURCE_NOT_FOUND));
        return false;
    }
    return true;
}

void ReleasePayload() {
    if (g_run.loaded)
        FreeResource(g_run.loaded);
    g_run.resource = nullptr;
    g_run.loaded = nullptr;
    g_run.bytes = nullptr;
    if (g_run.archive) {
        g_run.archive->Release();
        delete g_run.archive;
        g_run.archive = nullptr;
    }
}

void SetProgress(int percent, const char *text) {
    if (g_run.bar && IsWindow(g_run.bar)) {
        SendMessageA(g_run.bar, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
        RepaintNow(g_run.bar);
    }
    if (text)
        SetControlText(g_run.status, text);
}

void NextStep(const char *text) {
    ++g_run.steps;
    char caption[100];
    std::snprintf(caption, sizeof(caption), ProductString(IDS_STEP_CAPTION), g_run.steps,
                  kAnnouncedSteps);
    SetControlText(g_run.caption, caption);
    SetControlText(g_run.stepText, text);
}

int InstallStep() {
    return g_run.archive ? LaterStep() : FirstStep();
}

int RegisterProduct(HWND owner, bool *gaveUp) {
    *gaveUp = false;
    if (g_state.testMode) {
        LogLine("Test Mode: Skip registering the Add-In");
        return 0;
    }
    SetProgress(100, "");
    NextStep(ProductString(IDS_STEP_UNINSTALL));
    LogLine("Registering the Add-In Uninstall...");
    char displayName[kStringCapacity], keyName[kStringCapacity];
    lstrcpynA(displayName, ProductString(IDS_UNINSTALL_NAME), sizeof(displayName));
    lstrcpynA(keyName, ProductString(IDS_UNINSTALL_KEY), sizeof(keyName));
    const int uninstall =
        RegAddin_RegisterUninstall(displayName, keyName, g_state.installDir, LogLine);
    char line[128];
    if (uninstall != 0) {
        std::snprintf(line, sizeof(line), "Registering the Uninstall Failed (%d)", uninstall);
        LogLine(line);
    }

    SetProgress(0, "");
    NextStep(ProductString(IDS_STEP_REGISTER_EXCEL));
    LogLine("Checking for Excel Running...");
    if (CheckExcelRunning(owner)) {
        LogLine("Excel Running - User Cancelled.");
        *gaveUp = true;
        return 0;
    }
    LogLine("Registering the Add-In...");
    const int result = RegAddin_Install(0, g_state.installDir, nullptr, LogLine);
    if (result != 0) {
        std::snprintf(line, sizeof(line), "Registering with Excel Failed (%d)", result);
        LogLine(line);
    } else {
        SetProgress(100, "");
    }
    return result;
}

void RecordInstallInfo() {
    installinfo_tag info = {};
    lstrcpynA(info.installDir, g_state.installDir, sizeof(info.installDir));
    lstrcpynA(info.version, ProductString(IDS_PRODUCT_VERSION), sizeof(info.version));
    lstrcpynA(info.build, ProductString(IDS_PRODUCT_BUILD), sizeof(info.build));
    LogLine("Updating Registry...");
    char keyName[kStringCapacity];
    lstrcpynA(keyName, ProductString(IDS_INSTALLINFO_NAME), sizeof(keyName));
    if (!RegAddin_SetInstallInfo(keyName, &info))
        LogLine("Registry Update Failed");
}

namespace {

// Moves one configuration file; false when the move failed (the failure line is logged).
bool MoveConfigFile(const char *targetFolder, const char *name, const char *failureLine) {
    char source[MAX_PATH * 2], destination[MAX_PATH * 2], text[kStringCapacity * 3];
    std::snprintf(source, sizeof(source), "%s\\%s", g_state.installDir, name);
    std::snprintf(destination, sizeof(destination), "%s\\%s", targetFolder, name);
    std::snprintf(text, sizeof(text), ProductString(IDS_COPYING_FILE), source);
    SetProgress(30, text);
    std::snprintf(text, sizeof(text), ProductString(IDS_MOVING_FILE), source, destination);
    LogLine(text);
    if (!MoveFileA(source, destination)) {
        LogLine(failureLine);
        return false;
    }
    SetProgress(100, text);
    return true;
}

} // namespace

bool MigrateUserConfig() {
    char appData[MAX_PATH] = {};
    if (!RegAddin_GetAppDataFolder(appData)) {
        LogLine("Failed to find Application Data");
        return false;
    }
    WriteKeyValue("App Data Folder", appData);
    char target[MAX_PATH * 2];
    std::snprintf(target, sizeof(target), "%s\\Varnok\\VarnexSpreadsheetAddin", appData);
    char text[kStringCapacity * 3];
    std::snprintf(text, sizeof(text), ProductString(IDS_MAKING_FOLDER), target);
    SetProgress(10, text);
    if (std::strlen(target) >= MAX_PATH || !RegAddin_MakeDir(target)) {
        std::snprintf(text, sizeof(text), "Failed to create folder \"%s\"", target);
        LogLine(text);
        return false;
    }
    if (!MoveConfigFile(target, "tarvelo.prefs",
                        "Failed to copy file \"tarvelo.pref\" or it already exists"))
        return false;
    MoveConfigFile(target, "tarvelo.con",
                   "Failed to copy file \"tarvelo.con\" or it already exists");
    return true; // the first file was moved
}
