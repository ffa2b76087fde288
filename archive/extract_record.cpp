#include "archive/extract_record.h"

#include <cstdio>

#include "archive/payload_platform.h"

using payload::StepFailure;
using payload::StepResult;

namespace {

constexpr size_t kMessageSize = 1024; // what the installer's wsprintfA formats into

void WarnPath(payload::Platform *p, const char *format, const char *path) {
    char message[kMessageSize];
    std::snprintf(message, sizeof message, format, path);
    p->Warn(message);
}

StepResult WriteFile(PayloadArchive *archive, payload::Platform *p, const RESITEM *item,
                     const char *path) {
    if (p->ClearReadOnly(path))
        archive->WriteLine("# modifying file attributes");
    const uint8_t *data = archive->resourceData + item->offset;
    const bool compressed = archive->IsCompressed();
    if (compressed) {
        const int decoded = p->Decompress(data, uint32_t(item->datalen), path);
        if (decoded == 2) {
            WarnPath(p, "Failed to install file %s!  Is this file open?", path);
            return StepResult::Failure(payload::kStepFailed, StepFailure::kDecoderCannotOpen, path);
        }
        if (decoded != 0) {
            p->Warn("Decompress error!");
            return StepResult::Failure(payload::kStepFailed, StepFailure::kBadStream, path);
        }
    }
    unsigned long error = 0;
    void *file = p->OpenFile(path, !compressed, &error);
    if (file == nullptr) {
        char message[kMessageSize];
        std::snprintf(message, sizeof message, "CreateFile Error = '%d'", static_cast<int>(error));
        p->Warn(message);
        return StepResult::Failure(payload::kStepNotWritten, StepFailure::kCannotOpen, path, error);
    }
    // The record is done; whether more follow is the caller's to say.
    StepResult result = StepResult::Success(payload::kStepDone);
    if (!compressed && p->WriteFile(file, data, uint32_t(item->datalen)) != uint32_t(item->size))
        result = StepResult::Failure(payload::kStepFailed, StepFailure::kShortWrite, path);
    p->SetFileTimes(file, item->fileTime);
    p->CloseFile(file);
    return result;
}

} // namespace

StepResult ExtractRecord(PayloadArchive *archive) {
    payload::Platform *p = archive != nullptr ? archive->platform : nullptr;
    if (p == nullptr || archive->head == nullptr || archive->current == nullptr ||
        archive->resourceData == nullptr)
        return StepResult::Failure(payload::kStepNotWritten, StepFailure::kNoRecord, nullptr);
    const RESITEM *item = archive->current;
    if (item->rectype == payload::kFolderRecord || item->rectype == payload::kFileRecord) {
        // A path that does not fit is refused (BuildPath logs it), never cut.
        const char *path = archive->BuildPath();
        if (path == nullptr)
            return StepResult::Failure(payload::kStepNotWritten, StepFailure::kPathTooLong,
                                       item->name);
        if (!p->TestMode() && item->rectype == payload::kFolderRecord && !p->MakeFolder(path))
            return StepResult::Failure(payload::kStepNotWritten, StepFailure::kFolderNotMade, path);
        if (!p->TestMode() && item->rectype == payload::kFileRecord) {
            const StepResult result = WriteFile(archive, p, item, path);
            if (result.Failed())
                return result;
        }
    }
    return StepResult::Success(item->next != nullptr ? payload::kStepMore : payload::kStepDone);
}

int PayloadArchive::ExtractCurrent() {
    return ExtractRecord(this).code;
}
