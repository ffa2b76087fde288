#include "app/install_run.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "app/message_boxes.h"
#include "app/text_rules.h"
#include "archive/extract_record.h"
#include "archive/install_log.h"
#include "archive/payload_archive.h"
#include "archive/payload_win32.h"
#include "archive/resource_checksum.h"
#include "product/names.h"
#include "regaddin/folder_security.h"
#include "resources/resource_ids.h"

namespace {

// The payload resource's bytes, located and locked; null when it is missing. Resources stay
// mapped for the life of the process, so the bytes need no release.
const uint8_t *FindPayload(HINSTANCE instance, HRSRC *resource, HGLOBAL *loaded, uint32_t *length) {
    *resource = FindResourceA(instance, MAKEINTRESOURCEA(IDR_PAYLOAD), "TESTDATA");
    *loaded = *resource ? LoadResource(instance, *resource) : nullptr;
    const auto *bytes = *loaded ? static_cast<const uint8_t *>(LockResource(*loaded)) : nullptr;
    *length = bytes ? SizeofResource(instance, *resource) : 0;
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
        if (cut - out <= 2) { // "C:\" stays
            cut[1] = '\0';
            return;
        }
        *cut = '\0';
    }
}

} // namespace

// The payload's system side completed with the run's log, progress bar and warnings.
class InstallRun::Platform final : public Win32Payload {
public:
    explicit Platform(InstallRun &run) : Win32Payload(run.state_.testMode != 0), run_(run) {}

    void WriteLine(const char *line) override { LogLine(line); }
    void SetProgress(unsigned percent) override {
        run_.SetProgress(static_cast<int>(percent), nullptr);
    }
    void Warn(const char *text) override { run_.Warn(text); }

private:
    InstallRun &run_;
};

InstallRun::InstallRun(InstallerState &state, FreeSpaceQuery freeSpace)
    : state_(state), freeSpace_(freeSpace ? freeSpace : GetDiskFreeSpaceExA) {}

InstallRun::~InstallRun() {
    ReleasePayload();
}

void InstallRun::WriteKeyValue(const char *key, const char *value) {
    state_.LogKeyValue(key, value);
}

void InstallRun::Warn(const char *text) {
    if (view_)
        view_->Warn(text);
    else if (state_.log) // nobody to show it to: the log still has it
        state_.log->WriteNote(text);
}

payload::StepResult InstallRun::FirstStep() {
    if (!LoadPayload())
        return payload::StepResult::Failure(payload::kStepNotWritten,
                                            payload::StepFailure::kNoPayload, nullptr);
    payload::StepResult result = payload::StepResult::Success(payload::kStepMore);
    if (!archive_->IsUsable()) {
        result =
            payload::StepResult::Failure(payload::kStepNotWritten,
                                         archive_->damaged ? payload::StepFailure::kDamagedPayload
                                                           : payload::StepFailure::kNoRecord,
                                         archive_->damageReason);
    }

    char number[32];
    std::snprintf(number, sizeof(number), "%ld", static_cast<long>(archive_->totalSize));
    WriteKeyValue("Total Size", number);
    std::snprintf(number, sizeof(number), "%ld", static_cast<long>(archive_->diskSpaceRequired));
    WriteKeyValue("Disk Space Required", number);

    // A rehearsal's folder may not exist yet: ask the volume it will be made on.
    char volumeFolder[MAX_PATH];
    NearestExistingFolder(state_.installDir, volumeFolder, sizeof(volumeFolder));
    ULARGE_INTEGER available = {}, total = {}, free = {};
    if (!freeSpace_(volumeFolder, &available, &total, &free))
        return result; // no disk check and no announcement
    std::snprintf(number, sizeof(number), "%lld", static_cast<long long>(total.QuadPart));
    WriteKeyValue("Disk Size", number);
    std::snprintf(number, sizeof(number), "%lld", static_cast<long long>(available.QuadPart));
    WriteKeyValue("Bytes Available", number);

    if (available.QuadPart < archive_->diskSpaceRequired) {
        char text[kStringCapacity];
        char message[kStringCapacity + 32];
        FormatRequiredBytes(message, sizeof(message),
                            state_.LoadResString(IDS_INSUFFICIENT_SPACE, text, sizeof(text)),
                            archive_->diskSpaceRequired);
        Warn(message);
        std::snprintf(number, sizeof(number), "%lu",
                      static_cast<unsigned long>(archive_->diskSpaceRequired));
        return payload::StepResult::Failure(payload::kStepFailed,
                                            payload::StepFailure::kNotEnoughSpace, number);
    }
    NextStep(state_.ProductString(IDS_STEP_INSTALLING));
    return result;
}

payload::StepResult InstallRun::LaterStep() {
    PayloadArchive *archive = archive_;
    const int position = archive->Next();
    if (position == 1) {
        if (!state_.testMode && !ProtectInstallationFolder()) {
            ReleasePayload();
            return payload::StepResult::Failure(
                payload::kStepFailed, payload::StepFailure::kFolderRefused, state_.installDir);
        }
        WriteKeyValue("Installing Files", "Begin");
    }
    if (position <= 0)
        return payload::StepResult::Failure(payload::kStepNotWritten,
                                            payload::StepFailure::kNoRecord, nullptr);
    const char *path = archive->BuildPath();
    const int percent = archive->entryCount > 0
                            ? static_cast<int>(static_cast<long long>(archive->currentIndex) * 100 /
                                               archive->entryCount)
                            : 100;
    char line[1024];
    std::snprintf(line, sizeof(line), "%d - %s%s", percent, path ? path : "",
                  archive->IsCompressed() ? " (decompressing)" : "");
    LogLine(line);
    SetProgress(percent, path ? path : "");
    const payload::StepResult result = ExtractRecord(archive);
    if (result.code == payload::kStepDone) {
        WriteKeyValue("Installing Files", "End");
        ReleasePayload();
    }
    return result;
}

// The installation folder, made or found, may be changed by administrators alone from now on
// (what it holds already keeps its own access). One that has become a link since it was chosen
// is not installed into.
bool InstallRun::ProtectInstallationFolder() {
    unsigned long error = 0;
    if (folders::ProtectFolder(state_.installDir, folders::FolderAccess::Installation, &error))
        return true;
    if (error == ERROR_REPARSE_ATTRIBUTE_CONFLICT) {
        char format[kStringCapacity], text[kStringCapacity + MAX_PATH];
        std::snprintf(text, sizeof(text),
                      state_.LoadResString(IDS_FOLDER_LINK, format, sizeof(format)),
                      state_.installDir);
        Warn(text);
        return false;
    }
    // A volume that keeps no access lists (FAT) can only be used as it is.
    char line[128];
    std::snprintf(line, sizeof(line),
                  "Access to the installation folder could not be restricted (error %lu)", error);
    LogLine(line);
    return true;
}

bool InstallRun::LoadPayload() {
    uint32_t length = 0;
    bytes_ = FindPayload(state_.instance, &resource_, &loaded_, &length);
    if (bytes_) {
        platform_.reset(new (std::nothrow) Platform(*this));
        if (platform_)
            archive_ = new (std::nothrow)
                PayloadArchive(bytes_, length, state_.installDir, platform_.get());
    }
    if (!archive_) {
        Warn(state_.ProductString(IDS_RESOURCE_NOT_FOUND));
        return false;
    }
    return true;
}

void InstallRun::ReleasePayload() {
    if (loaded_)
        FreeResource(loaded_);
    resource_ = nullptr;
    loaded_ = nullptr;
    bytes_ = nullptr;
    if (archive_) {
        archive_->Release();
        delete archive_;
        archive_ = nullptr;
    }
    platform_.reset();
}

void InstallRun::SetProgress(int percent, const char *text) {
    if (view_)
        view_->ShowProgress(percent, text);
}

void InstallRun::NextStep(const char *text) {
    ++steps_;
    char caption[100];
    std::snprintf(caption, sizeof(caption), state_.ProductString(IDS_STEP_CAPTION), steps_,
                  kAnnouncedSteps);
    if (view_)
        view_->ShowStep(caption, text);
}

payload::StepResult InstallRun::InstallStep() {
    return archive_ ? LaterStep() : FirstStep();
}

int InstallRun::RegisterProduct(bool *gaveUp) {
    *gaveUp = false;
    if (state_.testMode) {
        LogLine("Test Mode: Skip registering the Add-In");
        return kInstallSucceeded;
    }
    SetProgress(100, "");
    NextStep(state_.ProductString(IDS_STEP_UNINSTALL));
    LogLine("Registering the Add-In Uninstall...");
    char displayName[kStringCapacity], keyName[kStringCapacity];
    lstrcpynA(displayName, state_.ProductString(IDS_UNINSTALL_NAME), sizeof(displayName));
    lstrcpynA(keyName, state_.ProductString(IDS_UNINSTALL_KEY), sizeof(keyName));
    const int uninstall =
        RegAddin_RegisterUninstall(displayName, keyName, state_.installDir, LogLine);
    char line[128];
    if (uninstall != kRegAddinOk) {
        std::snprintf(line, sizeof(line), "Registering the Uninstall Failed (%d)", uninstall);
        LogLine(line);
    }

    SetProgress(0, "");
    NextStep(state_.ProductString(IDS_STEP_REGISTER_EXCEL));
    LogLine("Checking for Excel Running...");
    if (view_ && view_->UserGivesUpOnExcel()) {
        LogLine("Excel Running - User Cancelled.");
        *gaveUp = true;
        return kInstallSucceeded;
    }
    LogLine("Registering the Add-In...");
    const int result = RegAddin_Install(0, state_.installDir, nullptr, LogLine);
    if (result != kRegAddinOk) {
        std::snprintf(line, sizeof(line), "Registering with Excel Failed (%d)", result);
        LogLine(line);
    } else {
        SetProgress(100, "");
    }
    return result;
}

static_assert(IDR_PAYLOAD_CHECKSUM == payload::kChecksumResourceId, "checksum resource id");

std::string PayloadRefusal(HINSTANCE instance) {
    // A missing payload is the run's to report ("Resource Not Found"), not a damaged one.
    switch (
        payload::CheckResourceChecksum(instance, "TESTDATA", IDR_PAYLOAD, IDR_PAYLOAD_CHECKSUM)) {
    case payload::ChecksumResult::Mismatch:
        return "The installer is damaged: the product it carries does not match the checksum it "
               "was built with, so nothing was installed.\n\nPlease download the installer "
               "again.";
    case payload::ChecksumResult::Unavailable:
        return std::string("The installer cannot check the product it carries: ") +
               payload::kChecksumUnavailableReason + ", so nothing was installed.";
    case payload::ChecksumResult::NotStored: {
        // The build always stores the checksum beside the payload: one without it was taken
        // away, perhaps along with a signature, and the product cannot be trusted either.
        HRSRC resource = nullptr;
        HGLOBAL loaded = nullptr;
        uint32_t length = 0;
        if (FindPayload(instance, &resource, &loaded, &length))
            return "The installer is damaged: the checksum of the product it carries is missing, "
                   "so nothing was installed.\n\nPlease download the installer again.";
        break;
    }
    case payload::ChecksumResult::Matches:
        break;
    }
    return {};
}

uint32_t MaxInstallFolderLength(HINSTANCE instance) {
    HRSRC resource = nullptr;
    HGLOBAL loaded = nullptr;
    uint32_t length = 0;
    const uint8_t *bytes = FindPayload(instance, &resource, &loaded, &length);
    // A quiet walk: the log gets the payload's lines when the run loads it.
    PayloadArchive archive(bytes, length, "", nullptr);
    // A payload that cannot be installed fails the run later with its own message.
    return archive.IsUsable() ? archive.MaxTargetFolderLength() : payload::kMaxFolderPathLength;
}

void RecordInstallInfo(const InstallerState &state) {
    installinfo_tag info = {};
    lstrcpynA(info.installDir, state.installDir, sizeof(info.installDir));
    lstrcpynA(info.version, state.ProductString(IDS_PRODUCT_VERSION), sizeof(info.version));
    lstrcpynA(info.build, state.ProductString(IDS_PRODUCT_BUILD), sizeof(info.build));
    LogLine("Updating Registry...");
    char keyName[kStringCapacity];
    lstrcpynA(keyName, state.ProductString(IDS_INSTALLINFO_NAME), sizeof(keyName));
    if (!RegAddin_SetInstallInfo(keyName, &info))
        LogLine("Registry Update Failed");
}

namespace {

// Moves one configuration file; false when the move failed (the failure line is logged).
bool MoveConfigFile(const InstallerState &state, const char *targetFolder, const char *name,
                    const char *failureLine) {
    char source[MAX_PATH * 2], destination[MAX_PATH * 2], text[kStringCapacity * 3];
    std::snprintf(source, sizeof(source), "%s\\%s", state.installDir, name);
    std::snprintf(destination, sizeof(destination), "%s\\%s", targetFolder, name);
    std::snprintf(text, sizeof(text), state.ProductString(IDS_MOVING_FILE), source, destination);
    LogLine(text);
    if (!MoveFileA(source, destination)) {
        LogLine(failureLine);
        return false;
    }
    return true;
}

} // namespace

bool MigrateUserConfig(const InstallerState &state) {
    char appData[MAX_PATH] = {};
    if (!RegAddin_GetAppDataFolder(appData)) {
        LogLine("Failed to find Application Data");
        return false;
    }
    state.LogKeyValue("App Data Folder", appData);
    char target[MAX_PATH * 2];
    std::snprintf(target, sizeof(target), "%s\\%s", appData, product::kSettingsFolder);
    if (std::strlen(target) >= MAX_PATH || !RegAddin_MakeDir(target)) {
        char text[MAX_PATH * 2 + 32];
        std::snprintf(text, sizeof(text), "Failed to create folder \"%s\"", target);
        LogLine(text);
        return false;
    }
    if (!MoveConfigFile(state, target, product::kPreferencesFile,
                        "Failed to copy file \"tarvelo.pref\" or it already exists"))
        return false;
    MoveConfigFile(state, target, product::kConnectionsFile,
                   "Failed to copy file \"tarvelo.con\" or it already exists");
    return true; // the first file was moved
}
