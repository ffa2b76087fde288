// Extraction of payload archives with the real Win32 calls: folders, stored and compressed files
// with their times, read-only files in the way, files held open, test mode, results at the end,
// the drive and cluster-size queries, the walk's local times and damaged archives.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/payload_archive.h"
#include "archive/payload_win32.h"
#include "builder/payload_writer.h"
#include "compress/compress.h"
#include "tests/support/archive_bytes.h"
#include "tests/support/environment.h"
#include "tests/support/log_capture.h"
#include "tests/support/product_tree.h"
#include "tests/support/text_files.h"
#include "tests/support/win_files.h"

namespace {

std::vector<std::string> g_warnings;

// The installer's platform with the log and the warnings captured here.
struct Capturing : Win32Payload {
    explicit Capturing(bool testMode = false) : Win32Payload(testMode) {}
    void WriteLine(const char *line) override { CaptureLine(line); }
    void Warn(const char *text) override { g_warnings.push_back(text); }
};

int CountLines(const std::string &text) {
    return int(std::count(CapturedLines().begin(), CapturedLines().end(), text));
}

// A missing file reads as "<missing>", which tells it from an empty one.
std::string ReadAll(const std::string &path) {
    return ReadFileIfAny(path).value_or("<missing>");
}

struct Times {
    uint64_t creation = 0, access = 0, write = 0;
};

uint64_t ToU64(const FILETIME &t) {
    return uint64_t(t.dwHighDateTime) << 32 | t.dwLowDateTime;
}

bool GetTimes(const std::string &path, Times *times) {
    HANDLE file = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    FILETIME c, a, w;
    const BOOL ok = GetFileTime(file, &c, &a, &w);
    CloseHandle(file);
    *times = {ToU64(c), ToU64(a), ToU64(w)};
    return ok != 0;
}

bool SetTimes(const std::string &path, uint64_t value) {
    HANDLE file =
        CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    FILETIME t{DWORD(value), DWORD(value >> 32)};
    const BOOL ok = SetFileTime(file, &t, &t, &t);
    CloseHandle(file);
    return ok != 0;
}

// Record times: a summer and a winter date, with parts of a second in 100 ns steps.
const payload::FileTime kSummer = payload::UnixToFileTime(1563200000, 123456700); // 2019-07-15
const payload::FileTime kWinter = payload::UnixToFileTime(1576800001, 999999900); // 2019-12-20
const payload::FileTime kOld = payload::UnixToFileTime(1262304000, 0);            // 2010-01-01

// Bytes that a text-mode write would alter, repeated so that they compress well.
std::string SampleData(size_t size, char seed) {
    std::string data;
    for (size_t i = 0; data.size() < size; ++i)
        data += i % 9 == 0 ? std::string("\r\n\x1a\0", 4) : std::string(1, char(seed + i % 23));
    data.resize(size);
    return data;
}

// A file record holding the VKP1 stream of `data`.
ArchiveBytes &Compressed(ArchiveBytes &archive, const char *name, const std::string &data,
                         payload::FileTime time) {
    std::vector<uint8_t> stream;
    std::string error;
    EXPECT_TRUE(vkp::CompressBuffer(reinterpret_cast<const uint8_t *>(data.data()), data.size(),
                                    &stream, vkp::kDefaultLevel, &error))
        << error;
    EXPECT_LT(stream.size(), data.size()) << name << " must come out compressed";
    return archive.Record(payload::kFileRecord, name, stream.data(), uint32_t(stream.size()),
                          int32_t(data.size()), time);
}

class ExtractOnWine : public ::testing::Test {
protected:
    void SetUp() override {
        ClearCaptured();
        g_warnings.clear();
        const ::testing::TestInfo *info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder_ = WorkDir() + "\\" + info->test_suite_name() + "_" + info->name();
    }

    // Walks `bytes` into folder_ the way the installation run does: Next, then ExtractCurrent,
    // until a result of 0 or below. Returns every result.
    std::vector<int> ExtractAll(const std::vector<uint8_t> &bytes, bool rehearsal = false) {
        PayloadArchive archive(bytes.data(), uint32_t(bytes.size()), folder_.c_str(),
                               rehearsal ? &rehearsal_ : &platform_);
        EXPECT_TRUE(archive.IsUsable());
        std::vector<int> results;
        for (int guard = 0; guard < 100000; ++guard) {
            archive.Next();
            results.push_back(archive.ExtractCurrent());
            if (results.back() <= 0)
                break;
        }
        archive.Release();
        return results;
    }

    std::string Path(const char *relative) const { return folder_ + "\\" + relative; }

    void ExpectTimes(const char *relative, payload::FileTime expected) {
        Times times;
        ASSERT_TRUE(GetTimes(Path(relative), &times)) << relative;
        const uint64_t value = payload::FileTimeToU64(expected);
        EXPECT_EQ(times.write, value) << relative << ": last write time";
        EXPECT_EQ(times.access, value) << relative << ": last access time";
        EXPECT_EQ(times.creation, value) << relative << ": creation time";
    }

    Capturing platform_;
    Capturing rehearsal_{true}; // test mode: nothing is written
    std::string folder_;
};

// Root files, a sub-folder and a nested folder; stored files (27 bytes and empty) and compressed.
std::vector<uint8_t> MixedArchive() {
    ArchiveBytes a;
    a.Summary(4, 3).Folder("").Stored("stored27.txt", SampleData(27, 'a'), kSummer);
    Compressed(a, "packed.bin", SampleData(50000, 'b'), kWinter);
    a.Folder("Sub").Stored("empty.dat", "", kWinter).Folder("Sub\\Deep");
    Compressed(a, "deep.txt", SampleData(9000, 'c'), kSummer);
    return a.bytes();
}

TEST_F(ExtractOnWine, WritesFoldersAndFilesByteForByteWithTheirTimes) {
    EXPECT_EQ(ExtractAll(MixedArchive()), std::vector<int>({1, 1, 1, 1, 1, 1, 0}));
    EXPECT_TRUE(IsFolder(folder_));
    EXPECT_TRUE(IsFolder(Path("Sub\\Deep")));
    // Times first: reading the contents would move the last access time.
    ExpectTimes("stored27.txt", kSummer);
    ExpectTimes("packed.bin", kWinter);
    ExpectTimes("Sub\\empty.dat", kWinter);
    ExpectTimes("Sub\\Deep\\deep.txt", kSummer);
    EXPECT_EQ(ReadAll(Path("stored27.txt")), SampleData(27, 'a'));
    EXPECT_EQ(ReadAll(Path("packed.bin")), SampleData(50000, 'b'));
    EXPECT_EQ(ReadAll(Path("Sub\\empty.dat")), "");
    EXPECT_EQ(ReadAll(Path("Sub\\Deep\\deep.txt")), SampleData(9000, 'c'));
    EXPECT_TRUE(g_warnings.empty());
    EXPECT_EQ(CountLines("# modifying file attributes"), 0);
}

TEST_F(ExtractOnWine, ExtractsAPackedProductTreeIdentically) {
    namespace fs = std::filesystem;
    const fs::path source = fs::u8path(folder_ + "_source");
    const ProductTree tree = MakeProductTree(source, 120, 7);
    const std::string packed = folder_ + ".bin";
    payload::PackOptions options;
    options.jobs = 2;
    payload::PackStats stats;
    std::string error;
    ASSERT_TRUE(payload::PackDirectory(source.u8string(), packed, options, &stats, &error))
        << error;
    ASSERT_GT(stats.compressed, 0u);
    ASSERT_LT(stats.compressed, stats.files);
    const std::string bytes = ReadAll(packed);
    const std::vector<int> results = ExtractAll(std::vector<uint8_t>(bytes.begin(), bytes.end()));
    ASSERT_EQ(results.size(), size_t(tree.files + tree.folders));
    EXPECT_EQ(results.back(), 0);
    EXPECT_TRUE(g_warnings.empty());

    const fs::path target = fs::u8path(folder_);
    uint32_t files = 0;
    for (const auto &entry : fs::recursive_directory_iterator(source)) {
        const fs::path copy = target / fs::relative(entry.path(), source);
        if (entry.is_directory()) {
            EXPECT_TRUE(fs::is_directory(copy)) << copy.u8string();
            continue;
        }
        ++files;
        std::ifstream a(entry.path(), std::ios::binary), b(copy, std::ios::binary);
        ASSERT_TRUE(b.good()) << copy.u8string() << " missing";
        EXPECT_TRUE(std::equal(std::istreambuf_iterator<char>(a), {},
                               std::istreambuf_iterator<char>(b), {}))
            << copy.u8string();
        payload::FileTime want{}, got{};
        ASSERT_TRUE(payload::GetModificationTime(entry.path(), &want));
        ASSERT_TRUE(payload::GetModificationTime(copy, &got));
        EXPECT_EQ(payload::FileTimeToU64(got), payload::FileTimeToU64(want)) << copy.u8string();
    }
    EXPECT_EQ(files, tree.files);
}

TEST_F(ExtractOnWine, ReadOnlyFilesAreReplacedWithALogLineOthersSilently) {
    ASSERT_TRUE(CreateDirectoryA(folder_.c_str(), nullptr));
    ASSERT_TRUE(WriteFileText(Path("ro.txt"), "old read-only text, longer than the new one"));
    ASSERT_TRUE(WriteFileText(Path("ro.bin"), "old"));
    ASSERT_TRUE(WriteFileText(Path("plain.txt"), "old plain text, longer than the new one"));
    ASSERT_TRUE(SetFileAttributesA(Path("ro.txt").c_str(),
                                   FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
    ASSERT_TRUE(SetFileAttributesA(Path("ro.bin").c_str(), FILE_ATTRIBUTE_READONLY));

    ArchiveBytes a;
    a.Summary(3, 1).Folder("").Stored("plain.txt", "new plain", kSummer);
    a.Stored("ro.txt", "new text", kWinter);
    Compressed(a, "ro.bin", SampleData(4000, 'r'), kSummer);
    EXPECT_EQ(ExtractAll(a.bytes()), std::vector<int>({1, 1, 1, 0}));

    ExpectTimes("ro.txt", kWinter);
    ExpectTimes("ro.bin", kSummer);
    EXPECT_EQ(ReadAll(Path("plain.txt")), "new plain");
    EXPECT_EQ(ReadAll(Path("ro.txt")), "new text");
    EXPECT_EQ(ReadAll(Path("ro.bin")), SampleData(4000, 'r'));
    for (const char *name : {"ro.txt", "ro.bin"}) {
        const DWORD attributes = GetFileAttributesA(Path(name).c_str());
        EXPECT_EQ(attributes & FILE_ATTRIBUTE_READONLY, 0u) << name;
    }
    // One line for each of the two read-only files, none for the plain one.
    EXPECT_EQ(CountLines("# modifying file attributes"), 2);
    EXPECT_TRUE(g_warnings.empty());
}

// Holds the given files open for reading without write sharing, from another process.
class FileHolder {
public:
    FileHolder(const std::vector<std::string> &paths) {
        ready_ = CreateEventA(nullptr, TRUE, FALSE, "vnx_extract_test_ready");
        release_ = CreateEventA(nullptr, TRUE, FALSE, "vnx_extract_test_release");
        char self[MAX_PATH];
        GetModuleFileNameA(nullptr, self, MAX_PATH);
        std::string exe = self;
        exe = exe.substr(0, exe.find_last_of('\\') + 1) + "hold_files.exe";
        std::string line = "\"" + exe + "\" vnx_extract_test_ready vnx_extract_test_release";
        for (const std::string &path : paths)
            line += " \"" + path + "\"";
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        std::vector<char> buffer(line.begin(), line.end());
        buffer.push_back('\0');
        if (CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                           &startup, &process_)) {
            HANDLE waits[2] = {ready_, process_.hProcess};
            holding_ = WaitForMultipleObjects(2, waits, FALSE, 20000) == WAIT_OBJECT_0;
        }
    }
    ~FileHolder() {
        SetEvent(release_);
        if (process_.hProcess != nullptr) {
            WaitForSingleObject(process_.hProcess, 20000);
            CloseHandle(process_.hThread);
            CloseHandle(process_.hProcess);
        }
        CloseHandle(ready_);
        CloseHandle(release_);
    }
    bool holding() const { return holding_; }

private:
    HANDLE ready_ = nullptr, release_ = nullptr;
    PROCESS_INFORMATION process_{};
    bool holding_ = false;
};

// The two held files, one compressed and one stored, extracted record by record (the installation
// run would stop at the first failure).
void ExpectHeldFilesFail(PayloadArchive &archive, const std::string &folder) {
    ASSERT_EQ(archive.Next(), 1);
    EXPECT_EQ(archive.ExtractCurrent(), 1); // the existing root folder
    ASSERT_EQ(archive.Next(), 2);
    EXPECT_EQ(archive.ExtractCurrent(), -1);
    ASSERT_EQ(archive.Next(), 3);
    EXPECT_EQ(archive.ExtractCurrent(), -2);
    ASSERT_EQ(g_warnings.size(), 2u);
    EXPECT_EQ(g_warnings[0],
              "Failed to install file " + folder + "\\.\\held.bin!  Is this file open?");
    EXPECT_EQ(g_warnings[1], "CreateFile Error = '32'"); // ERROR_SHARING_VIOLATION
    EXPECT_EQ(ReadAll(folder + "\\held.bin"), "old compressed");
    EXPECT_EQ(ReadAll(folder + "\\held.txt"), "old stored");
    // The failed files keep their old times.
    for (const char *name : {"\\held.bin", "\\held.txt"}) {
        Times times;
        ASSERT_TRUE(GetTimes(folder + name, &times));
        EXPECT_EQ(times.write, payload::FileTimeToU64(kOld)) << name;
    }
}

class HeldFile : public ExtractOnWine {
protected:
    void SetUp() override {
        ExtractOnWine::SetUp();
        ASSERT_TRUE(CreateDirectoryA(folder_.c_str(), nullptr));
        ASSERT_TRUE(WriteFileText(Path("held.bin"), "old compressed"));
        ASSERT_TRUE(WriteFileText(Path("held.txt"), "old stored"));
        ASSERT_TRUE(SetTimes(Path("held.bin"), payload::FileTimeToU64(kOld)));
        ASSERT_TRUE(SetTimes(Path("held.txt"), payload::FileTimeToU64(kOld)));
        ArchiveBytes a;
        a.Summary(2, 1).Folder("");
        Compressed(a, "held.bin", SampleData(3000, 'h'), kSummer);
        a.Stored("held.txt", "new stored", kSummer);
        bytes_ = a.bytes();
    }
    std::vector<uint8_t> bytes_;
};

TEST_F(HeldFile, OpenInAnotherProcessGivesTheWarnings) {
    FileHolder holder({Path("held.bin"), Path("held.txt")});
    ASSERT_TRUE(holder.holding());
    PayloadArchive archive(bytes_.data(), uint32_t(bytes_.size()), folder_.c_str(), &platform_);
    ExpectHeldFilesFail(archive, folder_);
}

TEST_F(HeldFile, OpenThroughAnotherHandleOfThisProcessGivesTheWarnings) {
    std::vector<HANDLE> handles;
    for (const char *name : {"held.bin", "held.txt"})
        handles.push_back(CreateFileA(Path(name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
    for (HANDLE h : handles)
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
    PayloadArchive archive(bytes_.data(), uint32_t(bytes_.size()), folder_.c_str(), &platform_);
    ExpectHeldFilesFail(archive, folder_);
    for (HANDLE h : handles)
        CloseHandle(h);
}

TEST_F(HeldFile, AfterTheHolderIsGoneTheFilesInstall) {
    { FileHolder holder({Path("held.bin"), Path("held.txt")}); }
    EXPECT_EQ(ExtractAll(bytes_), std::vector<int>({1, 1, 0}));
    EXPECT_EQ(ReadAll(Path("held.bin")), SampleData(3000, 'h'));
    EXPECT_EQ(ReadAll(Path("held.txt")), "new stored");
    EXPECT_TRUE(g_warnings.empty());
}

TEST_F(ExtractOnWine, TestModeWritesNothing) {
    EXPECT_EQ(ExtractAll(MixedArchive(), true), std::vector<int>({1, 1, 1, 1, 1, 1, 0}));
    EXPECT_FALSE(PathExists(folder_));

    // Over an existing installation: a read-only file stays as it is.
    ASSERT_TRUE(CreateDirectoryA(folder_.c_str(), nullptr));
    ASSERT_TRUE(WriteFileText(Path("stored27.txt"), "old"));
    ASSERT_TRUE(SetFileAttributesA(Path("stored27.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(ExtractAll(MixedArchive(), true), std::vector<int>({1, 1, 1, 1, 1, 1, 0}));
    EXPECT_EQ(ReadAll(Path("stored27.txt")), "old");
    EXPECT_TRUE(GetFileAttributesA(Path("stored27.txt").c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(PathExists(Path("packed.bin")));
    EXPECT_FALSE(PathExists(Path("Sub")));
    EXPECT_EQ(CountLines("# modifying file attributes"), 0);
    EXPECT_TRUE(g_warnings.empty());
    SetFileAttributesA(Path("stored27.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(ExtractOnWine, LastRecordGivesZeroEvenAsAFolderAndAnExistingRootIsFine) {
    ASSERT_TRUE(CreateDirectoryA(folder_.c_str(), nullptr));
    ArchiveBytes a;
    a.Summary(1, 2).Folder("").Stored("a.txt", "a", kSummer).Folder("Empty");
    const std::vector<uint8_t> &bytes = a.bytes();
    PayloadArchive archive(bytes.data(), uint32_t(bytes.size()), folder_.c_str(), &platform_);
    EXPECT_EQ(archive.ExtractCurrent(), 1); // the summary: nothing to write
    archive.Next();
    EXPECT_EQ(archive.ExtractCurrent(), 1); // the root, which exists already
    archive.Next();
    EXPECT_EQ(archive.ExtractCurrent(), 1);
    archive.Next();
    EXPECT_EQ(archive.ExtractCurrent(), 0);
    EXPECT_TRUE(IsFolder(Path("Empty")));
    // Past the end there is nothing to extract.
    archive.Next();
    EXPECT_EQ(archive.ExtractCurrent(), -2);
    EXPECT_TRUE(g_warnings.empty());
}

TEST_F(ExtractOnWine, NestedFolderWithoutItsParentFails) {
    ArchiveBytes a;
    a.Summary(0, 2).Folder("").Folder("Missing\\Child");
    EXPECT_EQ(ExtractAll(a.bytes()), std::vector<int>({1, -2}));
    EXPECT_TRUE(IsFolder(folder_));
    EXPECT_FALSE(PathExists(Path("Missing")));
    EXPECT_TRUE(g_warnings.empty());
}

TEST_F(ExtractOnWine, AFileInThePlaceOfAFolderFails) {
    ASSERT_TRUE(CreateDirectoryA(folder_.c_str(), nullptr));
    ASSERT_TRUE(WriteFileText(Path("Empty"), "a file, not a folder"));
    ArchiveBytes a;
    a.Summary(0, 2).Folder("").Folder("Empty");
    EXPECT_EQ(ExtractAll(a.bytes()), std::vector<int>({1, -2}));
    EXPECT_EQ(ReadAll(Path("Empty")), "a file, not a folder");
    EXPECT_TRUE(g_warnings.empty());
}

TEST_F(ExtractOnWine, WithoutATargetFolderParentTheRootFails) {
    folder_ = WorkDir() + "\\no such parent\\Product";
    ArchiveBytes a;
    a.Summary(1, 1).Folder("").Stored("a.txt", "a", kSummer);
    EXPECT_EQ(ExtractAll(a.bytes()), std::vector<int>({-2}));
    EXPECT_FALSE(PathExists(folder_));
}

TEST(DriveQueries, DriveExistsTakesEitherCase) {
    EXPECT_NE(DriveExists('c'), 0);
    EXPECT_NE(DriveExists('C'), 0);
    char missing = 0;
    for (char letter = 'Y'; letter > 'C' && missing == 0; --letter) {
        const char root[] = {letter, ':', '\\', '\0'};
        if (GetDriveTypeA(root) == DRIVE_NO_ROOT_DIR)
            missing = letter;
    }
    ASSERT_NE(missing, 0) << "every drive letter is in use";
    EXPECT_EQ(DriveExists(missing), 0) << missing;
    EXPECT_EQ(DriveExists(char(missing - 'A' + 'a')), 0) << missing;
}

TEST(DriveQueries, ClusterSizeOfADriveAndOfAFolderWithoutOne) {
    DWORD sectors = 0, bytes = 0, freeClusters = 0, clusters = 0;
    ASSERT_TRUE(GetDiskFreeSpaceA("C:\\", &sectors, &bytes, &freeClusters, &clusters));
    const uint32_t cluster = QueryClusterSize("C:\\Program Files\\Qubrix");
    EXPECT_GT(cluster, 0u);
    EXPECT_EQ(cluster, sectors * bytes);
    EXPECT_EQ(QueryClusterSize("c:\\Program Files"), cluster);

    EXPECT_EQ(QueryClusterSize("\\\\server\\share\\Qubrix"), 0u);
    EXPECT_EQ(QueryClusterSize(""), 0u);

    // The walk falls back to a positive cluster size for such a folder.
    Win32Payload platform;
    ArchiveBytes a;
    a.Summary(1, 1).Folder("").Stored("one.txt", std::string(5000, 'x'), kSummer);
    const std::vector<uint8_t> &data = a.bytes();
    PayloadArchive archive(data.data(), uint32_t(data.size()), "\\\\server\\share\\Qubrix",
                           &platform);
    EXPECT_EQ(archive.clusterSize, payload::kDefaultClusterSize);
    EXPECT_EQ(archive.diskSpaceRequired, 2 * 4096u + 4096u + payload::kSlackBytes);
}

// The walk's file lines show the record's UTC time in the local time zone (the test runs with
// TZ set to a zone with daylight saving time).
TEST_F(ExtractOnWine, WalkLogsFileTimesInLocalTime) {
    ArchiveBytes a;
    a.Summary(2, 1).Folder("").Stored("summer.txt", "12345", kSummer);
    a.Stored("winter.txt", "1234567", kWinter);
    const std::vector<uint8_t> &bytes = a.bytes();
    PayloadArchive archive(bytes.data(), uint32_t(bytes.size()), "C:\\Qubrix", &platform_);

    bool differsFromUtc = false;
    const struct {
        const char *name;
        int size;
        payload::FileTime time;
    } files[] = {{"summer.txt", 5, kSummer}, {"winter.txt", 7, kWinter}};
    for (const auto &f : files) {
        FILETIME fileTime{f.time.dwLowDateTime, f.time.dwHighDateTime};
        SYSTEMTIME utc, local;
        ASSERT_TRUE(FileTimeToSystemTime(&fileTime, &utc));
        ASSERT_TRUE(SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local));
        differsFromUtc = differsFromUtc || utc.wHour != local.wHour;
        char line[200];
        std::snprintf(line, sizeof line, "    File='%s' (%d)  %02d/%02d/%d - %02d:%02d:%02d",
                      f.name, f.size, local.wMonth, local.wDay, local.wYear, local.wHour,
                      local.wMinute, local.wSecond);
        EXPECT_EQ(CountLines(line), 1) << line;
    }
    EXPECT_TRUE(differsFromUtc) << "the time zone under test should not be UTC";
    EXPECT_EQ(CountLines("Parsing start"), 1);
    EXPECT_EQ(CountLines("Parsing end"), 1);
}

TEST_F(ExtractOnWine, DamagedArchivesAreRefused) {
    struct Case {
        const char *what;
        std::vector<uint8_t> bytes;
    };
    std::vector<Case> cases;
    {
        std::vector<uint8_t> cut = MixedArchive();
        cut.resize(cut.size() - 5);
        cases.push_back({"cut inside the last record", cut});
    }
    for (uint32_t disp : {10u, 0u, 0x7FFFFFF0u}) {
        ArchiveBytes a;
        a.Summary(1, 1).Folder("");
        const uint32_t at = a.NextOffset();
        a.Stored("a.txt", "abc", kSummer).Patch32(at, 0, disp);
        cases.push_back({"bad disp2next", a.bytes()});
    }
    for (const char *name : {"..\\evil.txt", "Sub\\..\\..\\evil.txt", "C:evil.txt", "\\evil.txt"}) {
        ArchiveBytes a;
        a.Summary(1, 1).Folder("").Stored(name, "evil", kSummer);
        cases.push_back({name, a.bytes()});
    }
    {
        ArchiveBytes a;
        a.Summary(0, 2).Folder("").Folder("..");
        cases.push_back({"folder ..", a.bytes()});
    }
    for (const Case &c : cases) {
        ClearCaptured();
        PayloadArchive archive(c.bytes.data(), uint32_t(c.bytes.size()), folder_.c_str(),
                               &platform_);
        EXPECT_EQ(archive.entryCount, 0) << c.what;
        EXPECT_FALSE(archive.IsUsable()) << c.what;
        EXPECT_TRUE(std::any_of(CapturedLines().begin(), CapturedLines().end(),
                                [](const std::string &line) {
                                    return line.rfind("Damaged archive at offset ", 0) == 0;
                                }))
            << c.what;
    }
    EXPECT_FALSE(PathExists(folder_));
    EXPECT_FALSE(PathExists(WorkDir() + "\\evil.txt"));
}

// Run only by the ctest entry that puts a link to /dev/full at $VNX_TEST_WORKDIR/full.bin: every
// write to that file fails as on a full disk.
TEST(FullDisk, WriteErrorsFailTheFile) {
    if (std::getenv("VNX_FULL_DISK") == nullptr)
        GTEST_SKIP() << "needs the link to /dev/full that the full-disk ctest entry makes";
    ClearCaptured();
    g_warnings.clear();
    Capturing platform;
    const std::string folder = WorkDir();
    HANDLE probe = CreateFileA((folder + "\\full.bin").c_str(), GENERIC_WRITE, 0, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(probe, INVALID_HANDLE_VALUE) << "error " << GetLastError();
    DWORD count = 0;
    EXPECT_FALSE(WriteFile(probe, "x", 1, &count, nullptr)) << "a write to /dev/full succeeded";
    CloseHandle(probe);

    ArchiveBytes packed;
    packed.Summary(1, 1).Folder("");
    Compressed(packed, "full.bin", SampleData(200000, 'f'), kSummer);
    PayloadArchive decoded(packed.bytes().data(), uint32_t(packed.bytes().size()), folder.c_str(),
                           &platform);
    decoded.Next();
    EXPECT_EQ(decoded.ExtractCurrent(), 1);
    decoded.Next();
    EXPECT_EQ(decoded.ExtractCurrent(), -1);
    EXPECT_EQ(g_warnings, std::vector<std::string>({"Decompress error!"}));

    g_warnings.clear();
    ArchiveBytes stored;
    stored.Summary(1, 1).Folder("").Stored("full.bin", SampleData(200000, 's'), kSummer);
    PayloadArchive written(stored.bytes().data(), uint32_t(stored.bytes().size()), folder.c_str(),
                           &platform);
    written.Next();
    written.Next();
    EXPECT_EQ(written.ExtractCurrent(), -1); // written short, without a message
    EXPECT_TRUE(g_warnings.empty());
}

} // namespace
