// ExtractRecord over a fake file system: results, messages, the read-only line, test mode.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "archive/extract_record.h"
#include "tests/support/archive_bytes.h"

namespace {

const payload::FileTime kTime{0x12345678, 0x01D9ABCD};

struct FakeDisk {
    std::map<std::string, std::string> files;
    std::map<std::string, bool> readOnly;
    std::vector<std::string> folders;
    std::vector<std::string> warnings;
    std::vector<std::string> log;
    std::vector<std::string> calls;
    std::map<std::string, payload::FileTime> times;
    int testMode = 0;
    int decodeResult = 0;
    bool folderFails = false;
    bool openFails = false;
    uint32_t shortBy = 0;
    int calledDecompress = 0;

    struct Handle {
        FakeDisk *disk;
        std::string path;
    };

    ExtractPlatform Platform() {
        ExtractPlatform p{};
        p.context = this;
        p.testMode = &testMode;
        p.makeFolder = [](void *c, const char *path) {
            auto *d = static_cast<FakeDisk *>(c);
            d->calls.push_back(std::string("mkdir ") + path);
            if (d->folderFails)
                return 1;
            d->folders.push_back(path);
            return 0;
        };
        p.clearReadOnly = [](void *c, const char *path) {
            auto *d = static_cast<FakeDisk *>(c);
            if (!d->readOnly[path])
                return 0;
            d->readOnly[path] = false;
            return 1;
        };
        p.decompress = [](void *c, const uint8_t *stream, uint32_t length, const char *path) {
            auto *d = static_cast<FakeDisk *>(c);
            ++d->calledDecompress;
            d->calls.push_back(std::string("decode ") + path);
            if (d->decodeResult == 0)
                d->files[path] =
                    "decoded:" + std::string(reinterpret_cast<const char *>(stream), length);
            return d->decodeResult;
        };
        p.openFile = [](void *c, const char *path, int create, unsigned long *error) -> void * {
            auto *d = static_cast<FakeDisk *>(c);
            d->calls.push_back(std::string(create ? "create " : "open ") + path);
            if (d->openFails || (!create && d->files.count(path) == 0)) {
                *error = 32;
                return nullptr;
            }
            if (create)
                d->files[path].clear();
            return new Handle{d, path};
        };
        p.writeFile = [](void *, void *file, const uint8_t *data, uint32_t length) {
            auto *h = static_cast<Handle *>(file);
            const uint32_t n = length - h->disk->shortBy;
            h->disk->files[h->path].append(reinterpret_cast<const char *>(data), n);
            return n;
        };
        p.setFileTimes = [](void *, void *file, payload::FileTime t) {
            auto *h = static_cast<Handle *>(file);
            h->disk->times[h->path] = t;
            h->disk->calls.push_back("time " + h->path);
        };
        p.closeFile = [](void *, void *file) { delete static_cast<Handle *>(file); };
        p.warn = [](void *c, const char *text) {
            static_cast<FakeDisk *>(c)->warnings.push_back(text);
        };
        return p;
    }
    PayloadHooks Hooks() {
        PayloadHooks h{};
        h.context = this;
        h.writeLine = [](void *c, const char *l) { static_cast<FakeDisk *>(c)->log.push_back(l); };
        return h;
    }
};

// root: stored.txt (27 bytes), packed.bin (compressed); Doc: folder, as the last record.
std::vector<uint8_t> Sample() {
    ArchiveBytes a;
    a.Summary(2, 2).Folder("");
    a.Stored("stored.txt", "twenty-seven bytes of text.", kTime);
    a.Packed("packed.bin", 6, 100, kTime);
    a.Folder("Doc");
    return a.bytes();
}

TEST(ExtractRecord, WritesFoldersStoredAndCompressedFilesWithTheirTimes) {
    const std::vector<uint8_t> bytes = Sample();
    FakeDisk disk;
    PayloadHooks hooks = disk.Hooks();
    const ExtractPlatform platform = disk.Platform();
    PayloadArchive archive(bytes.data(), uint32_t(bytes.size()), "C:\\I", &hooks);
    ASSERT_TRUE(archive.IsUsable());
    std::vector<int> results;
    while (archive.Next() > 0 && archive.current != nullptr)
        results.push_back(ExtractRecord(&archive, &platform));
    // The last record returns 0 although it is a folder.
    EXPECT_EQ(results, (std::vector<int>{1, 1, 1, 0}));
    EXPECT_EQ(disk.folders, (std::vector<std::string>{"C:\\I\\", "C:\\I\\Doc"}));
    EXPECT_EQ(disk.files["C:\\I\\.\\stored.txt"], "twenty-seven bytes of text.");
    EXPECT_EQ(disk.files["C:\\I\\.\\packed.bin"], "decoded:zzzzzz");
    // The compressed file is decoded, then opened as it is, and its time set afterwards.
    const std::vector<std::string> calls = {"mkdir C:\\I\\",
                                            "create C:\\I\\.\\stored.txt",
                                            "time C:\\I\\.\\stored.txt",
                                            "decode C:\\I\\.\\packed.bin",
                                            "open C:\\I\\.\\packed.bin",
                                            "time C:\\I\\.\\packed.bin",
                                            "mkdir C:\\I\\Doc"};
    EXPECT_EQ(disk.calls, calls);
    EXPECT_EQ(disk.times["C:\\I\\.\\packed.bin"].dwHighDateTime, kTime.dwHighDateTime);
    EXPECT_EQ(disk.times["C:\\I\\.\\stored.txt"].dwLowDateTime, kTime.dwLowDateTime);
    EXPECT_TRUE(disk.warnings.empty());
    // Past the end nothing is left to extract.
    EXPECT_EQ(ExtractRecord(&archive, &platform), -2);
}

TEST(ExtractRecord, TestModeWritesNothingAndStillReportsProgressResults) {
    const std::vector<uint8_t> bytes = Sample();
    FakeDisk disk;
    disk.testMode = 1;
    const ExtractPlatform platform = disk.Platform();
    PayloadArchive archive(bytes.data(), uint32_t(bytes.size()), "C:\\I", nullptr);
    std::vector<int> results;
    while (archive.Next() > 0 && archive.current != nullptr)
        results.push_back(ExtractRecord(&archive, &platform));
    EXPECT_EQ(results, (std::vector<int>{1, 1, 1, 0}));
    EXPECT_TRUE(disk.calls.empty());
    EXPECT_TRUE(disk.files.empty());
}

// Steps to the n-th record after the summary and extracts it.
int ExtractNth(FakeDisk &disk, int n, std::vector<uint8_t> &bytes) {
    PayloadHooks hooks = disk.Hooks();
    const ExtractPlatform platform = disk.Platform();
    PayloadArchive archive(bytes.data(), uint32_t(bytes.size()), "C:\\I", &hooks);
    for (int i = 0; i < n; ++i)
        archive.Next();
    return ExtractRecord(&archive, &platform);
}

TEST(ExtractRecord, FailuresGiveTheirResultsAndMessages) {
    std::vector<uint8_t> bytes = Sample();
    {
        FakeDisk disk;
        disk.readOnly["C:\\I\\.\\stored.txt"] = true;
        EXPECT_EQ(ExtractNth(disk, 2, bytes), 1);
        EXPECT_EQ(disk.log.back(), "# modifying file attributes");
        EXPECT_FALSE(disk.readOnly["C:\\I\\.\\stored.txt"]);
    }
    {
        FakeDisk disk;
        disk.decodeResult = 2;
        EXPECT_EQ(ExtractNth(disk, 3, bytes), -1);
        EXPECT_EQ(disk.warnings,
                  (std::vector<std::string>{
                      "Failed to install file C:\\I\\.\\packed.bin!  Is this file open?"}));
        EXPECT_TRUE(disk.times.empty()); // the time is not set
    }
    for (int bad : {1, 3}) {
        FakeDisk disk;
        disk.decodeResult = bad;
        EXPECT_EQ(ExtractNth(disk, 3, bytes), -1);
        EXPECT_EQ(disk.warnings, (std::vector<std::string>{"Decompress error!"}));
    }
    {
        FakeDisk disk;
        disk.openFails = true;
        EXPECT_EQ(ExtractNth(disk, 2, bytes), -2);
        EXPECT_EQ(disk.warnings, (std::vector<std::string>{"CreateFile Error = '32'"}));
    }
    {
        FakeDisk disk;
        disk.shortBy = 1;
        EXPECT_EQ(ExtractNth(disk, 2, bytes), -1);
        EXPECT_TRUE(disk.warnings.empty());
        EXPECT_EQ(disk.times.size(), 1u); // the time is still set before closing
    }
    {
        FakeDisk disk;
        disk.folderFails = true;
        EXPECT_EQ(ExtractNth(disk, 4, bytes), -2);
        EXPECT_TRUE(disk.warnings.empty());
    }
    {
        FakeDisk disk;
        EXPECT_EQ(ExtractNth(disk, 0, bytes), 1); // the summary: nothing to write
        EXPECT_TRUE(disk.calls.empty());
    }
}

TEST(ExtractRecord, AnOverlongPathIsRefusedNotCut) {
    ArchiveBytes a;
    a.Summary(1, 1).Folder("").Stored("n.txt", "x", kTime);
    const std::string folder(505, 'f');
    FakeDisk disk;
    PayloadHooks hooks = disk.Hooks();
    const ExtractPlatform platform = disk.Platform();
    PayloadArchive archive(a.bytes().data(), uint32_t(a.bytes().size()), folder.c_str(), &hooks);
    archive.Next();
    EXPECT_EQ(ExtractRecord(&archive, &platform), 1); // the folder itself fits
    archive.Next();
    EXPECT_EQ(ExtractRecord(&archive, &platform), -2);
    EXPECT_EQ(disk.files.size(), 0u);
    EXPECT_NE(disk.log.back().find("refused"), std::string::npos);
}

TEST(ExtractRecord, NothingToExtractWithoutRecords) {
    std::vector<uint8_t> tiny(30, 0);
    FakeDisk disk;
    const ExtractPlatform platform = disk.Platform();
    PayloadArchive archive(tiny.data(), 30, "C:\\I", nullptr);
    EXPECT_EQ(ExtractRecord(&archive, &platform), -2);
    EXPECT_EQ(ExtractRecord(nullptr, &platform), -2);
}

} // namespace
