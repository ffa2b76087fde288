// ExtractRecord over a fake file system: results, messages, the read-only line, test mode.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "archive/extract_record.h"
#include "archive/payload_platform.h"
#include "tests/support/archive_bytes.h"

namespace {

const payload::FileTime kTime{0x12345678, 0x01D9ABCD};

// A file system in memory, with the log and the warnings the platform receives.
struct FakeDisk : payload::Platform {
    explicit FakeDisk(bool testMode = false) : payload::Platform(testMode) {}

    std::map<std::string, std::string> files;
    std::map<std::string, bool> readOnly;
    std::vector<std::string> folders;
    std::vector<std::string> warnings;
    std::vector<std::string> log;
    std::vector<std::string> calls;
    std::map<std::string, payload::FileTime> times;
    int decodeResult = 0;
    bool folderFails = false;
    bool openFails = false;
    uint32_t shortBy = 0;

    struct Handle {
        std::string path;
    };

    void WriteLine(const char *line) override { log.push_back(line); }
    void Warn(const char *text) override { warnings.push_back(text); }
    bool MakeFolder(const char *path) override {
        calls.push_back(std::string("mkdir ") + path);
        if (folderFails)
            return false;
        folders.push_back(path);
        return true;
    }
    bool ClearReadOnly(const char *path) override {
        if (!readOnly[path])
            return false;
        readOnly[path] = false;
        return true;
    }
    int Decompress(const uint8_t *stream, uint32_t length, const char *path) override {
        calls.push_back(std::string("decode ") + path);
        if (decodeResult == 0)
            files[path] = "decoded:" + std::string(reinterpret_cast<const char *>(stream), length);
        return decodeResult;
    }
    void *OpenFile(const char *path, bool create, unsigned long *error) override {
        calls.push_back(std::string(create ? "create " : "open ") + path);
        if (openFails || (!create && files.count(path) == 0)) {
            *error = 32;
            return nullptr;
        }
        if (create)
            files[path].clear();
        return new Handle{path};
    }
    uint32_t WriteFile(void *file, const uint8_t *data, uint32_t length) override {
        const uint32_t n = length - shortBy;
        files[static_cast<Handle *>(file)->path].append(reinterpret_cast<const char *>(data), n);
        return n;
    }
    void SetFileTimes(void *file, payload::FileTime t) override {
        const std::string &path = static_cast<Handle *>(file)->path;
        times[path] = t;
        calls.push_back("time " + path);
    }
    void CloseFile(void *file) override { delete static_cast<Handle *>(file); }
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
    PayloadArchive archive(bytes.data(), uint32_t(bytes.size()), "C:\\I", &disk);
    ASSERT_TRUE(archive.IsUsable());
    std::vector<int> results;
    while (archive.Next() > 0 && archive.current != nullptr)
        results.push_back(ExtractRecord(&archive).code);
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
    EXPECT_EQ(ExtractRecord(&archive).code, -2);
}

TEST(ExtractRecord, TestModeWritesNothingAndStillReportsProgressResults) {
    const std::vector<uint8_t> bytes = Sample();
    FakeDisk disk(true);
    PayloadArchive archive(bytes.data(), uint32_t(bytes.size()), "C:\\I", &disk);
    std::vector<int> results;
    while (archive.Next() > 0 && archive.current != nullptr)
        results.push_back(ExtractRecord(&archive).code);
    EXPECT_EQ(results, (std::vector<int>{1, 1, 1, 0}));
    EXPECT_TRUE(disk.calls.empty());
    EXPECT_TRUE(disk.files.empty());
}

// Steps to the n-th record after the summary and extracts it.
payload::StepResult ExtractNth(FakeDisk &disk, int n, std::vector<uint8_t> &bytes) {
    PayloadArchive archive(bytes.data(), uint32_t(bytes.size()), "C:\\I", &disk);
    for (int i = 0; i < n; ++i)
        archive.Next();
    return ExtractRecord(&archive);
}

// The code, the reason and its detail of a step, as one text to compare.
std::string Outcome(const payload::StepResult &r) {
    return std::to_string(r.code) + " " + std::to_string(int(r.failure)) + " " + r.detail +
           (r.systemError != 0 ? " error " + std::to_string(r.systemError) : "");
}
std::string Expected(int code, payload::StepFailure failure, const std::string &detail,
                     unsigned long error = 0) {
    return std::to_string(code) + " " + std::to_string(int(failure)) + " " + detail +
           (error != 0 ? " error " + std::to_string(error) : "");
}

TEST(ExtractRecord, FailuresGiveTheirResultsAndMessages) {
    std::vector<uint8_t> bytes = Sample();
    {
        FakeDisk disk;
        disk.readOnly["C:\\I\\.\\stored.txt"] = true;
        EXPECT_EQ(ExtractNth(disk, 2, bytes).code, 1);
        EXPECT_EQ(disk.log.back(), "# modifying file attributes");
        EXPECT_FALSE(disk.readOnly["C:\\I\\.\\stored.txt"]);
    }
    {
        FakeDisk disk;
        disk.decodeResult = 2;
        EXPECT_EQ(Outcome(ExtractNth(disk, 3, bytes)),
                  Expected(-1, payload::StepFailure::kDecoderCannotOpen, "C:\\I\\.\\packed.bin"));
        EXPECT_EQ(disk.warnings,
                  (std::vector<std::string>{
                      "Failed to install file C:\\I\\.\\packed.bin!  Is this file open?"}));
        EXPECT_TRUE(disk.times.empty()); // the time is not set
    }
    for (int bad : {1, 3}) {
        FakeDisk disk;
        disk.decodeResult = bad;
        EXPECT_EQ(Outcome(ExtractNth(disk, 3, bytes)),
                  Expected(-1, payload::StepFailure::kBadStream, "C:\\I\\.\\packed.bin"));
        EXPECT_EQ(disk.warnings, (std::vector<std::string>{"Decompress error!"}));
    }
    {
        FakeDisk disk;
        disk.openFails = true;
        EXPECT_EQ(Outcome(ExtractNth(disk, 2, bytes)),
                  Expected(-2, payload::StepFailure::kCannotOpen, "C:\\I\\.\\stored.txt", 32));
        EXPECT_EQ(disk.warnings, (std::vector<std::string>{"CreateFile Error = '32'"}));
    }
    {
        FakeDisk disk;
        disk.shortBy = 1;
        EXPECT_EQ(Outcome(ExtractNth(disk, 2, bytes)),
                  Expected(-1, payload::StepFailure::kShortWrite, "C:\\I\\.\\stored.txt"));
        EXPECT_TRUE(disk.warnings.empty());
        EXPECT_EQ(disk.times.size(), 1u); // the time is still set before closing
    }
    {
        FakeDisk disk;
        disk.folderFails = true;
        EXPECT_EQ(Outcome(ExtractNth(disk, 4, bytes)),
                  Expected(-2, payload::StepFailure::kFolderNotMade, "C:\\I\\Doc"));
        EXPECT_TRUE(disk.warnings.empty());
    }
    {
        FakeDisk disk;
        EXPECT_EQ(Outcome(ExtractNth(disk, 0, bytes)),
                  Expected(1, payload::StepFailure::kNone, "")); // the summary: nothing to write
        EXPECT_TRUE(disk.calls.empty());
    }
}

TEST(ExtractRecord, AnOverlongPathIsRefusedNotCut) {
    ArchiveBytes a;
    a.Summary(1, 1).Folder("").Stored("n.txt", "x", kTime);
    const std::string folder(505, 'f');
    FakeDisk disk;
    PayloadArchive archive(a.bytes().data(), uint32_t(a.bytes().size()), folder.c_str(), &disk);
    archive.Next();
    EXPECT_EQ(ExtractRecord(&archive).code, 1); // the folder itself fits
    archive.Next();
    EXPECT_EQ(Outcome(ExtractRecord(&archive)),
              Expected(-2, payload::StepFailure::kPathTooLong, "n.txt"));
    EXPECT_EQ(disk.files.size(), 0u);
    EXPECT_NE(disk.log.back().find("refused"), std::string::npos);
}

TEST(ExtractRecord, NothingToExtractWithoutRecords) {
    std::vector<uint8_t> tiny(30, 0);
    FakeDisk disk;
    PayloadArchive archive(tiny.data(), 30, "C:\\I", &disk);
    EXPECT_EQ(Outcome(ExtractRecord(&archive)), Expected(-2, payload::StepFailure::kNoRecord, ""));
    EXPECT_EQ(ExtractRecord(nullptr).code, -2);
    // Without a platform nothing can be written, even where a record stands.
    std::vector<uint8_t> bytes = Sample();
    PayloadArchive quiet(bytes.data(), uint32_t(bytes.size()), "C:\\I", nullptr);
    quiet.Next();
    EXPECT_EQ(quiet.ExtractCurrent(), -2);
}

} // namespace
