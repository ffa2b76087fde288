#include "archive/extract_record.h"

#include <cstdio>

namespace {

constexpr size_t kMessageSize = 1024; // what the installer's wsprintfA formats into

void Warn(const ExtractPlatform *p, const char *format, const char *text, unsigned long code) {
    char message[kMessageSize];
    if (text != nullptr)
        std::snprintf(message, sizeof message, format, text);
    else
        std::snprintf(message, sizeof message, format, static_cast<int>(code));
    if (p->warn != nullptr)
        p->warn(p->context, message);
}

ExtractResult WriteFile(PayloadArchive *archive, const ExtractPlatform *p, const RESITEM *item,
                        const char *path) {
    if (p->clearReadOnly(p->context, path))
        archive->WriteLine("# modifying file attributes");
    const uint8_t *data = archive->resourceData + item->offset;
    const bool compressed = archive->IsCompressed();
    if (compressed) {
        const int decoded = p->decompress(p->context, data, uint32_t(item->datalen), path);
        if (decoded == 2) {
            Warn(p, "Failed to install file %s!  Is this file open?", path, 0);
            return kExtractFileFailed;
        }
        if (decoded != 0) {
            Warn(p, "Decompress error!", nullptr, 0);
            return kExtractFileFailed;
        }
    }
    unsigned long error = 0;
    void *file = p->openFile(p->context, path, compressed ? 0 : 1, &error);
    if (file == nullptr) {
        Warn(p, "CreateFile Error = '%d'", nullptr, error);
        return kExtractNotWritten;
    }
    // The record is done; whether more follow is the caller's to say.
    ExtractResult result = kExtractLast;
    if (!compressed &&
        p->writeFile(p->context, file, data, uint32_t(item->datalen)) != uint32_t(item->size))
        result = kExtractFileFailed;
    p->setFileTimes(p->context, file, item->fileTime);
    p->closeFile(p->context, file);
    return result;
}

} // namespace

ExtractResult ExtractRecord(PayloadArchive *archive, const ExtractPlatform *p) {
    if (archive == nullptr || p == nullptr || archive->head == nullptr ||
        archive->current == nullptr || archive->resourceData == nullptr)
        return kExtractNotWritten;
    const RESITEM *item = archive->current;
    const bool testMode = p->testMode != nullptr && *p->testMode != 0;
    if (item->rectype == payload::kFolderRecord || item->rectype == payload::kFileRecord) {
        // A path that does not fit is refused (BuildPath logs it), never cut.
        const char *path = archive->BuildPath();
        if (path == nullptr)
            return kExtractNotWritten;
        if (!testMode && item->rectype == payload::kFolderRecord &&
            p->makeFolder(p->context, path) != 0)
            return kExtractNotWritten;
        if (!testMode && item->rectype == payload::kFileRecord) {
            const ExtractResult result = WriteFile(archive, p, item, path);
            if (result < 0)
                return result;
        }
    }
    return item->next != nullptr ? kExtractMore : kExtractLast;
}

int PayloadArchive::ExtractCurrent() {
    return ExtractRecord(this, hooks_.extraction);
}
