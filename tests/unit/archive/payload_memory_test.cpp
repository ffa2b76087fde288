// The walk when a record cannot be allocated, and log lines of names longer than the limit.
#include <gtest/gtest.h>

#include <new>
#include <string>
#include <vector>

#include "archive/payload_archive.h"
#include "tests/support/archive_bytes.h"

namespace {
// Number of nothrow allocations that succeed before one fails; negative: none fails.
int g_allocationsLeft = -1;
} // namespace

// The walk allocates its records with the nothrow form; this replacement lets a test make the
// n-th of them fail. Memory comes from the ordinary operator new so that delete matches it.
void *operator new(std::size_t size, const std::nothrow_t &) noexcept {
    if (g_allocationsLeft == 0)
        return nullptr;
    if (g_allocationsLeft > 0)
        --g_allocationsLeft;
    try {
        return ::operator new(size);
    } catch (...) {
        return nullptr;
    }
}

namespace {

TEST(PayloadMemory, AllocationFailureStopsTheWalkAndTheArchiveIsNotInstalled) {
    ArchiveBytes a;
    a.Summary(1, 2).Folder("").Folder("Doc").Stored("a.txt", "text", {1, 2});
    struct Case {
        int allocationsLeft;
        const char *line;
        int recordsKept;
    };
    const Case cases[] = {
        {0, "Error allocating Summary RESITEM memory - abort.", 0},
        {2, "Error allocating Directory RESITEM memory for Doc - abort.", 2},
        {3, "Error allocating File RESITEM memory for a.txt - abort.", 3},
    };
    for (const Case &c : cases) {
        WalkLog log;
        g_allocationsLeft = c.allocationsLeft;
        PayloadArchive archive(a.bytes().data(), uint32_t(a.bytes().size()), "C:\\I", &log);
        g_allocationsLeft = -1;
        int kept = 0;
        for (RESITEM *i = archive.head; i != nullptr; i = i->next)
            ++kept;
        EXPECT_EQ(kept, c.recordsKept);
        // A list that misses records must not pass for the whole product.
        EXPECT_FALSE(archive.IsUsable());
        EXPECT_LE(archive.entryCount, 0);
        ASSERT_GE(log.lines.size(), 2u);
        EXPECT_EQ(log.lines[log.lines.size() - 2], c.line);
        EXPECT_EQ(log.lines.back(), "Parsing end");
    }
}

TEST(PayloadMemory, SummaryWithoutEntriesReportsProgressWithoutDividingByZero) {
    ArchiveBytes a;
    a.Summary(0, 0);
    struct Progress : payload::Platform {
        std::vector<unsigned> seen;
        void SetProgress(unsigned percent) override { seen.push_back(percent); }
    } progress;
    PayloadArchive archive(a.bytes().data(), uint32_t(a.bytes().size()), "C:\\I", &progress);
    EXPECT_EQ(archive.entryCount, 0);
    EXPECT_EQ(archive.damaged, 0);
    EXPECT_FALSE(archive.IsUsable());
    EXPECT_EQ(progress.seen, (std::vector<unsigned>{0, 100}));
}

TEST(PayloadMemory, OverlongNamesAreLoggedWithoutOverrunningTheLine) {
    const std::string longName(300, 'n');
    ArchiveBytes a;
    a.Summary(1, 2).Folder("").Folder(longName.c_str()).Stored(longName.c_str(), "x", {0, 0});
    WalkLog log;
    PayloadArchive archive(a.bytes().data(), uint32_t(a.bytes().size()), "C:\\I", &log);
    EXPECT_TRUE(archive.IsUsable());
    EXPECT_EQ(log.lines[3], "  Folder='" + longName + "'");
    EXPECT_EQ(log.lines[4].rfind("    File='" + longName + "' (1)  ", 0), 0u);
}

} // namespace
