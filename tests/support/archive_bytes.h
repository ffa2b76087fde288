// Builds payload archives record by record, for tests that need exact or deliberately broken
// layouts that the writer would never produce; and collects the walk's log.
#pragma once
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "archive/payload_archive.h"
#include "archive/payload_format.h"
#include "archive/payload_platform.h"

class ArchiveBytes {
public:
    explicit ArchiveBytes(const char *version = "1.0") : bytes_(payload::kPreambleSize) {
        payload::EncodePreamble(version, bytes_.data());
    }

    // Offset of the record that the next Add* call writes.
    uint32_t NextOffset() const { return uint32_t(bytes_.size()); }

    ArchiveBytes &Summary(int32_t cFiles, int32_t cDirs) {
        uint8_t counts[8];
        payload::WriteLe32(counts, uint32_t(cFiles));
        payload::WriteLe32(counts + 4, uint32_t(cDirs));
        return Record(payload::kSummaryRecord, nullptr, counts, 8, 0, {0, 0});
    }
    ArchiveBytes &Folder(const char *name) {
        return Record(payload::kFolderRecord, name, nullptr, 0, 0, {0, 0});
    }
    ArchiveBytes &Stored(const char *name, const std::string &data, payload::FileTime t) {
        return Record(payload::kFileRecord, name, data.data(), uint32_t(data.size()), 0, t);
    }
    // A file whose data area stands for a compressed stream of `uncompressed` bytes.
    ArchiveBytes &Packed(const char *name, uint32_t datalen, int32_t uncompressed,
                         payload::FileTime t) {
        std::string data(datalen, 'z');
        return Record(payload::kFileRecord, name, data.data(), datalen, uncompressed, t);
    }
    ArchiveBytes &Record(char rectype, const char *name, const void *data, uint32_t datalen,
                         int32_t uncompressed, payload::FileTime t) {
        const uint32_t nameArea = name != nullptr ? uint32_t(std::strlen(name) + 1) : 0;
        payload::RecordHeader h{int32_t(28 + nameArea + datalen),
                                int32_t(datalen),
                                uncompressed,
                                int32_t(nameArea),
                                rectype,
                                t};
        const size_t at = bytes_.size();
        bytes_.resize(at + 28 + nameArea + datalen);
        payload::EncodeRecordHeader(h, bytes_.data() + at);
        if (nameArea > 0)
            std::memcpy(bytes_.data() + at + 28, name, nameArea);
        if (datalen > 0)
            std::memcpy(bytes_.data() + at + 28 + nameArea, data, datalen);
        return *this;
    }
    // Overwrites a header field (byte offset inside the header) of the record at `record`.
    ArchiveBytes &Patch32(uint32_t record, uint32_t field, uint32_t value) {
        payload::WriteLe32(bytes_.data() + record + field, value);
        return *this;
    }

    std::vector<uint8_t> &bytes() { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
};

// The lines the walk logs through the platform it is given.
struct WalkLog : payload::Platform {
    std::vector<std::string> lines;
    void WriteLine(const char *line) override { lines.push_back(line); }
};
