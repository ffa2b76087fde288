// The walk, the totals and the stepping of PayloadArchive over hand-built archives.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "archive/payload_archive.h"
#include "archive/payload_platform.h"
#include "tests/support/archive_bytes.h"

namespace {

// Collects what the walk hands to its surroundings.
struct Recorder : payload::Platform {
    std::vector<std::string> lines;
    std::vector<unsigned> progress;
    uint32_t cluster = 4096;
    int localShiftHours = 2; // "local time" of the tests: UTC+2
    bool knowsLocalTime = true;
    std::string askedFolder;

    void WriteLine(const char *line) override { lines.push_back(line); }
    uint32_t ClusterSize(const char *folder) override {
        askedFolder = folder != nullptr ? folder : "(null)";
        return cluster;
    }
    bool ToLocalTime(payload::FileTime utc, payload::CalendarTime *local) override {
        if (!knowsLocalTime)
            return false;
        const uint64_t ticks = payload::FileTimeToU64(utc) +
                               uint64_t(localShiftHours) * 3600 * payload::kFileTimeTicksPerSecond;
        return payload::FileTimeToCalendar(payload::U64ToFileTime(ticks), local);
    }
    void SetProgress(unsigned percent) override { progress.push_back(percent); }
    bool Logged(const std::string &needle) const {
        for (const auto &l : lines)
            if (l.find(needle) != std::string::npos)
                return true;
        return false;
    }
};

const payload::FileTime kTime = payload::UnixToFileTime(1704164645, 0); // 2024-01-02 03:04:05 UTC

// root: a.txt (one cluster, stored), b.bin (compressed, one byte over a cluster)
// Doc: index.htm (27 bytes stored)   Doc\Sub: (empty)   Bin: same.dat (uncompressed == datalen)
struct Sample {
    ArchiveBytes a;
    uint32_t rootOffset, aOffset, bOffset, docOffset, indexOffset;
    Sample() {
        a.Summary(4, 4);
        rootOffset = a.NextOffset();
        a.Folder("");
        aOffset = a.NextOffset();
        a.Stored("a.txt", std::string(4096, 'a'), kTime);
        bOffset = a.NextOffset();
        a.Packed("b.bin", 10, 4097, kTime);
        docOffset = a.NextOffset();
        a.Folder("Doc");
        indexOffset = a.NextOffset();
        a.Stored("index.htm", std::string(27, 'i'), kTime);
        a.Folder("Doc\\Sub");
        a.Folder("Bin");
        a.Packed("same.dat", 12, 12, kTime);
    }
};

TEST(PayloadWalk, SoundArchiveGivesRecordsInOrderWithOffsetsAndTotals) {
    Sample s;
    Recorder r;
    char folder[260] = "C:\\Inst";
    auto &bytes = s.a.bytes();
    PayloadArchive archive(bytes.data(), uint32_t(bytes.size()), folder, &r);

    EXPECT_TRUE(archive.IsUsable());
    EXPECT_EQ(archive.damaged, 0);
    EXPECT_EQ(archive.entryCount, 8);
    EXPECT_EQ(archive.currentIndex, 0);
    EXPECT_EQ(r.askedFolder, "C:\\Inst");
    EXPECT_EQ(archive.clusterSize, 4096u);
    // 4096 + 4097 + 27 + 12 bytes of files; in clusters 1 + 2 + 1 + 1; both plus cluster + slack.
    EXPECT_EQ(archive.totalSize, 4096u + 4097 + 27 + 12 + 4096 + 80000);
    EXPECT_EQ(archive.diskSpaceRequired, 5u * 4096 + 4096 + 80000);

    std::vector<char> kinds;
    for (RESITEM *i = archive.head; i != nullptr; i = i->next)
        kinds.push_back(i->rectype);
    EXPECT_EQ(std::string(kinds.begin(), kinds.end()), "SDFFDFDDF");

    RESITEM *summary = archive.head;
    ASSERT_NE(summary, nullptr);
    EXPECT_EQ(summary->name, nullptr);
    EXPECT_EQ(archive.current, summary);
    RESITEM *root = summary->next;
    EXPECT_STREQ(root->name, "");
    EXPECT_EQ(root->name, reinterpret_cast<const char *>(bytes.data() + s.rootOffset + 28));
    RESITEM *a = root->next;
    EXPECT_EQ(a->offset, int32_t(s.aOffset + 28 + 6));
    EXPECT_EQ(a->datalen, 4096);
    EXPECT_EQ(a->size, 4096);
    EXPECT_EQ(a->fileTime.dwLowDateTime, kTime.dwLowDateTime);
    EXPECT_EQ(a->fileTime.dwHighDateTime, kTime.dwHighDateTime);
    RESITEM *b = a->next;
    EXPECT_EQ(b->offset, int32_t(s.bOffset + 28 + 6));
    EXPECT_EQ(b->datalen, 10);
    EXPECT_EQ(b->size, 4097);
    EXPECT_EQ(b->next->rectype, 'D');
    EXPECT_EQ(b->next->next->offset, int32_t(s.indexOffset + 28 + 10));
}

TEST(PayloadWalk, LogsEachRecordWithLocalTimeAndReportsProgress) {
    Sample s;
    Recorder r;
    auto &bytes = s.a.bytes();
    PayloadArchive archive(bytes.data(), uint32_t(bytes.size()), "C:\\Inst", &r);

    const std::vector<std::string> expected = {
        "Parsing start",
        "Summary=cFiles=4\t cDirs=4",
        "  Folder=''",
        "    File='a.txt' (4096)  01/02/2024 - 05:04:05",
        "    File='b.bin' (4097)  01/02/2024 - 05:04:05",
        "  Folder='Doc'",
        "    File='index.htm' (27)  01/02/2024 - 05:04:05",
        "  Folder='Doc\\Sub'",
        "  Folder='Bin'",
        "    File='same.dat' (12)  01/02/2024 - 05:04:05",
        "Parsing end",
    };
    EXPECT_EQ(r.lines, expected);
    // 0 first, then records walked x 100 / (cFiles + cDirs), the summary included.
    const std::vector<unsigned> progress = {0, 12, 25, 37, 50, 62, 75, 87, 100, 100};
    EXPECT_EQ(r.progress, progress);
}

TEST(PayloadWalk, WithoutLocalTimeHookShowsUtcAndUsesDefaultCluster) {
    ArchiveBytes a;
    a.Summary(1, 1).Folder("").Stored("x", "abc", kTime);
    PayloadArchive archive(a.bytes().data(), uint32_t(a.bytes().size()), "\\\\server\\share",
                           nullptr);
    EXPECT_EQ(archive.clusterSize, payload::kDefaultClusterSize);
    EXPECT_EQ(archive.diskSpaceRequired, 4096u + 4096 + 80000);

    Recorder r;
    r.cluster = 0; // the query found nothing
    r.knowsLocalTime = false;
    PayloadArchive logged(a.bytes().data(), uint32_t(a.bytes().size()), "x", &r);
    EXPECT_EQ(logged.clusterSize, payload::kDefaultClusterSize);
    EXPECT_TRUE(r.Logged("    File='x' (3)  01/02/2024 - 03:04:05"));
}

TEST(PayloadWalk, ClusterRoundingAtExactlyOneClusterAndOneByteMore) {
    for (uint32_t cluster : {512u, 4096u, 65536u}) {
        ArchiveBytes a;
        a.Summary(3, 1).Folder("");
        a.Stored("exact", std::string(cluster, 'e'), kTime);
        a.Stored("more", std::string(cluster + 1, 'm'), kTime);
        a.Stored("empty", "", kTime);
        Recorder r;
        r.cluster = cluster;
        PayloadArchive archive(a.bytes().data(), uint32_t(a.bytes().size()), "C:\\", &r);
        ASSERT_TRUE(archive.IsUsable());
        EXPECT_EQ(archive.totalSize, 2 * cluster + 1 + cluster + 80000) << cluster;
        EXPECT_EQ(archive.diskSpaceRequired, 3 * cluster + cluster + 80000) << cluster;
    }
}

TEST(PayloadWalk, UnknownKindIsSteppedOverAndCounted) {
    ArchiveBytes a;
    a.Summary(1, 1).Folder("");
    const char blob[5] = {1, 2, 3, 4, 5};
    a.Record('Q', "odd", blob, sizeof blob, 0, {0, 0});
    a.Stored("after.txt", "hello", kTime);
    Recorder r;
    PayloadArchive archive(a.bytes().data(), uint32_t(a.bytes().size()), "C:\\I", &r);
    EXPECT_TRUE(archive.IsUsable());
    EXPECT_EQ(archive.entryCount, 3);
    std::string kinds;
    for (RESITEM *i = archive.head; i != nullptr; i = i->next)
        kinds += i->rectype;
    EXPECT_EQ(kinds, "SDF");
    EXPECT_STREQ(archive.head->next->next->name, "after.txt");
    EXPECT_FALSE(r.Logged("odd"));
}

TEST(PayloadWalk, ResourceOfThirtyBytesOrLessHasNoRecords) {
    std::vector<uint8_t> bytes(30, 0);
    for (uint32_t length : {0u, 1u, 29u, 30u}) {
        Recorder r;
        PayloadArchive archive(bytes.data(), length, "C:\\I", &r);
        EXPECT_EQ(archive.head, nullptr);
        EXPECT_EQ(archive.entryCount, -1);
        EXPECT_FALSE(archive.IsUsable());
        EXPECT_EQ(archive.totalSize, 4096u + 80000);
        EXPECT_EQ(archive.diskSpaceRequired, 4096u + 80000);
        EXPECT_EQ(archive.Next(), 0);
        EXPECT_EQ(archive.current, nullptr);
        EXPECT_EQ(archive.BuildPath(), nullptr);
        EXPECT_EQ(archive.IsCompressed(), 0);
        EXPECT_EQ(r.lines, (std::vector<std::string>{"Parsing start", "Parsing end"}));
    }
}

TEST(PayloadStepping, NextBuildPathAndIsCompressedAlongTheArchive) {
    Sample s;
    char folder[260] = "C:\\Inst";
    PayloadArchive archive(s.a.bytes().data(), uint32_t(s.a.bytes().size()), folder, nullptr);
    ASSERT_TRUE(archive.IsUsable());

    // On the summary, before the first Next.
    EXPECT_STREQ(archive.BuildPath(), "C:\\Inst\\");
    EXPECT_EQ(archive.IsCompressed(), 0);
    EXPECT_STREQ(archive.subFolder, "");

    struct Step {
        const char *path;
        int compressed;
        const char *subFolder;
    };
    const Step steps[] = {
        {"C:\\Inst\\", 0, "."},
        {"C:\\Inst\\.\\a.txt", 0, "."},
        {"C:\\Inst\\.\\b.bin", 1, "."},
        {"C:\\Inst\\Doc", 0, "Doc"},
        {"C:\\Inst\\Doc\\index.htm", 0, "Doc"},
        {"C:\\Inst\\Doc\\Sub", 0, "Doc\\Sub"},
        {"C:\\Inst\\Bin", 0, "Bin"},
        {"C:\\Inst\\Bin\\same.dat", 0, "Bin"}, // uncompressed == datalen counts as stored
    };
    int index = 0;
    for (const Step &step : steps) {
        EXPECT_EQ(archive.Next(), ++index);
        EXPECT_STREQ(archive.BuildPath(), step.path);
        EXPECT_EQ(archive.IsCompressed(), step.compressed) << step.path;
        EXPECT_STREQ(archive.subFolder, step.subFolder);
    }
    EXPECT_EQ(index, archive.entryCount);

    // Past the end: the index stays, current is gone.
    EXPECT_EQ(archive.Next(), archive.entryCount);
    EXPECT_EQ(archive.current, nullptr);
    EXPECT_EQ(archive.BuildPath(), nullptr);
    EXPECT_EQ(archive.IsCompressed(), 0);
    EXPECT_EQ(archive.Next(), archive.entryCount);
}

// The longest target folder the walk allows is exactly the one under which the longest path
// reaches its system limit: a file's 259 characters or a folder's 247. The longest file is in
// the root folder (its path is the folder, "\.\" and the name), or one or more levels down.
TEST(PayloadStepping, MaxTargetFolderLengthLetsTheLongestPathReachItsLimit) {
    const std::string longName(60, 'n');
    for (const char *longFolder :
         {"", "Doc", "Doc\\Lib\\A folder name of some length\\and another"}) {
        const bool inRoot = longFolder[0] == '\0';
        const char *otherFolder = inRoot ? "Doc" : longFolder;
        ArchiveBytes a;
        a.Summary(2, 2).Folder("").Stored(inRoot ? longName.c_str() : "short.txt", "x", kTime);
        a.Folder(otherFolder).Stored(inRoot ? "short.txt" : longName.c_str(), "y", kTime);
        const uint32_t fileTail =
            uint32_t(1 + (inRoot ? 1 : std::strlen(longFolder)) + 1 + longName.size());
        const uint32_t folderTail = uint32_t(1 + std::strlen(otherFolder));
        char folder[600] = "";
        PayloadArchive archive(a.bytes().data(), uint32_t(a.bytes().size()), folder, nullptr);
        ASSERT_TRUE(archive.IsUsable());
        EXPECT_EQ(archive.longestFileTail, fileTail);
        EXPECT_EQ(archive.longestFolderTail, folderTail);
        const uint32_t max = archive.MaxTargetFolderLength();
        EXPECT_EQ(max, std::min(259 - fileTail, 247 - folderTail));
        std::strcpy(folder, ("C:\\" + std::string(max - 3, 'f')).c_str());
        size_t longestFile = 0, longestFolder = 0;
        for (int i = 0; i < archive.entryCount; ++i) {
            archive.Next();
            const size_t length = std::strlen(archive.BuildPath());
            size_t &longest = archive.current->rectype == 'F' ? longestFile : longestFolder;
            longest = std::max(longest, length);
        }
        EXPECT_LE(longestFile, 259u);
        EXPECT_LE(longestFolder, 247u);
        EXPECT_TRUE(longestFile == 259u || longestFolder == 247u)
            << longestFile << " " << longestFolder;
    }
}

TEST(PayloadStepping, BuildPathFollowsTheFolderBufferAndRefusesOverlongPaths) {
    ArchiveBytes a;
    a.Summary(1, 1).Folder("").Stored("n.txt", "x", kTime);
    char folder[600] = "C:\\Old";
    Recorder r;
    PayloadArchive archive(a.bytes().data(), uint32_t(a.bytes().size()), folder, &r);
    archive.Next();
    archive.Next();
    std::strcpy(folder, "D:\\New");
    EXPECT_STREQ(archive.BuildPath(), "D:\\New\\.\\n.txt");

    // "\.\n.txt" adds 8 characters: 503 + 8 = 511 fits exactly, one more does not.
    std::string longFolder(503, 'f');
    std::strcpy(folder, longFolder.c_str());
    ASSERT_NE(archive.BuildPath(), nullptr);
    EXPECT_EQ(std::strlen(archive.pathBuffer), 511u);
    std::strcpy(folder, (longFolder + "g").c_str());
    r.lines.clear();
    EXPECT_EQ(archive.BuildPath(), nullptr);
    ASSERT_EQ(r.lines.size(), 1u);
    EXPECT_NE(r.lines[0].find("Path of more than 511 characters refused"), std::string::npos);

    archive.Release();
    EXPECT_EQ(archive.pathBuffer, nullptr);
    EXPECT_EQ(archive.resourceData, nullptr);
    EXPECT_EQ(archive.BuildPath(), nullptr);
}

} // namespace
