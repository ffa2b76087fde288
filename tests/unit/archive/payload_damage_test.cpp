// Damaged archives: each kind of damage stops the walk with one line naming the offset and leaves
// an archive that must not be installed; cut and flipped archives never read outside the bytes.
#include <gtest/gtest.h>

#include <sys/mman.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "archive/payload_archive.h"
#include "tests/support/archive_bytes.h"

namespace {

const payload::FileTime kTime = payload::UnixToFileTime(1600000000, 0);

// Parses a private heap copy of exactly `length` bytes, so that ASan sees any read past them.
struct Parsed {
    std::vector<uint8_t> copy;
    WalkLog log;
    PayloadArchive *archive;
    Parsed(const std::vector<uint8_t> &bytes, size_t length)
        : copy(bytes.begin(), bytes.begin() + length),
          archive(new PayloadArchive(copy.empty() ? nullptr : copy.data(), uint32_t(length),
                                     "C:\\I", &log)) {}
    ~Parsed() { delete archive; }
};

// Every accepted file record lies inside the bytes; every name is terminated inside them.
void ExpectRecordsInside(const Parsed &p) {
    const size_t n = p.copy.size();
    for (RESITEM *i = p.archive->head; i != nullptr; i = i->next) {
        if (i->name != nullptr) {
            const auto *begin = reinterpret_cast<const char *>(p.copy.data());
            ASSERT_GE(i->name, begin);
            ASSERT_LT(i->name, begin + n);
            ASSERT_NE(std::memchr(i->name, 0, size_t(begin + n - i->name)), nullptr);
        }
        if (i->rectype == 'F') {
            ASSERT_GE(i->offset, 0);
            ASSERT_GE(i->datalen, 0);
            ASSERT_LE(uint64_t(i->offset) + uint64_t(i->datalen), n);
        }
    }
}

std::vector<uint8_t> SmallArchive() {
    ArchiveBytes a("2.4.1");
    a.Summary(4, 3).Folder("");
    a.Stored("readme.txt", "Sample text, stored as it is.", kTime);
    a.Packed("big.bin", 20, 5000, kTime);
    a.Folder("Doc").Stored("index.htm", "<html></html>", kTime);
    a.Folder("Doc\\Img").Stored("a.gif", std::string(40, 'g'), kTime);
    return a.bytes();
}

struct DamageCase {
    const char *what;
    std::vector<uint8_t> bytes;
    uint32_t offset;
    const char *reason;
};

std::vector<DamageCase> DamageCases() {
    std::vector<DamageCase> cases;
    auto add = [&](const char *what, ArchiveBytes &a, uint32_t offset, const char *reason) {
        cases.push_back({what, a.bytes(), offset, reason});
    };
    {
        ArchiveBytes a;
        a.Summary(1, 1).Folder("");
        uint32_t at = a.NextOffset();
        a.Stored("f", "data", kTime);
        a.bytes().resize(at + 27);
        add("header cut", a, at, "record header does not fit");
    }
    for (uint32_t disp : {0u, 27u, 0x80000000u}) {
        ArchiveBytes a;
        a.Summary(1, 1).Folder("");
        uint32_t at = a.NextOffset();
        a.Stored("f", "data", kTime).Patch32(at, 0, disp);
        add("disp2next below 28", a, at, "disp2next below 28");
    }
    {
        ArchiveBytes a;
        a.Summary(1, 1).Folder("");
        uint32_t at = a.NextOffset();
        a.Stored("f", "data", kTime).Patch32(at, 0, 28 + 2 + 4 + 1);
        add("record past end", a, at, "record runs past the end of the archive");
    }
    {
        ArchiveBytes a;
        a.Summary(1, 1).Folder("");
        uint32_t at = a.NextOffset();
        a.Record('F', nullptr, "abcd", 4, 0, kTime); // no name area: "abcd" and no NUL
        add("name without NUL", a, at, "name without its NUL inside the record");
    }
    {
        ArchiveBytes a;
        a.Summary(1, 1).Folder("");
        uint32_t at = a.NextOffset();
        a.Stored("f", "data", kTime).Patch32(at, 4, 5); // datalen one more than the record holds
        add("data past record", a, at, "data area runs past the end of the record");
    }
    {
        ArchiveBytes a;
        a.Summary(1, 1).Folder("");
        uint32_t at = a.NextOffset();
        a.Stored("f", "data", kTime).Patch32(at, 4, 0xFFFFFFFF);
        add("negative datalen", a, at, "data area runs past the end of the record");
    }
    const char *unsafe[][2] = {
        {"..", "\"..\""},        {"Doc\\..\\..\\Windows", "\"..\""},
        {"a/../b", "\"..\""},    {".. ", "\"..\""},
        {"...", "\"..\""},       {"C:\\Windows", "colon"},
        {"C:evil", "colon"},     {"\\Windows", "starts with"},
        {"/etc", "starts with"}, {"\\\\host\\s", "starts with"},
    };
    for (auto &u : unsafe) {
        ArchiveBytes a;
        a.Summary(1, 2).Folder("");
        uint32_t at = a.NextOffset();
        a.Folder(u[0]).Stored("f", "x", kTime);
        add("unsafe folder", a, at, u[1]);
        ArchiveBytes b;
        b.Summary(1, 1).Folder("");
        at = b.NextOffset();
        b.Stored(u[0], "x", kTime);
        add("unsafe file", b, at, u[1]);
    }
    {
        ArchiveBytes a;
        a.Folder("").Summary(0, 1);
        add("no summary first", a, 30, "first record is not a summary");
    }
    {
        ArchiveBytes a;
        a.Summary(0, 1).Folder("");
        uint32_t at = a.NextOffset();
        a.Summary(0, 1);
        add("second summary", a, at, "second summary record");
    }
    {
        ArchiveBytes a;
        a.Record('S', nullptr, "1234", 4, 0, {0, 0}).Folder("");
        add("summary without counts", a, 30, "summary record without its counts");
    }
    {
        ArchiveBytes a;
        a.Summary(1, 1).Folder("");
        uint32_t at = a.NextOffset();
        a.Stored("", "x", kTime);
        add("file without name", a, at, "file record without a name");
    }
    {
        ArchiveBytes a;
        a.Summary(2, 1).Folder("").Stored("one", "1", kTime);
        add("ends before the announced records", a, a.NextOffset(), "files 1 of 2");
    }
    {
        ArchiveBytes a;
        // Two files just under 2 GiB fill 4 GiB of clusters: no room left for the slack.
        a.Summary(2, 1).Folder("");
        a.Packed("huge1", 2, 0x7FFFFFFF, kTime);
        uint32_t at = a.NextOffset();
        a.Packed("huge2", 2, 0x7FFFFFFF, kTime);
        add("sizes past 4 GiB", a, at, "past 4 GiB");
    }
    return cases;
}

TEST(PayloadDamage, EachDamageStopsTheWalkWithOneLineAndAnUnusableArchive) {
    for (const DamageCase &c : DamageCases()) {
        SCOPED_TRACE(c.what);
        Parsed p(c.bytes, c.bytes.size());
        EXPECT_EQ(p.archive->damaged, 1);
        EXPECT_EQ(p.archive->damageOffset, c.offset);
        EXPECT_EQ(p.archive->entryCount, 0);
        EXPECT_FALSE(p.archive->IsUsable());
        int damageLines = 0;
        const std::string prefix = "Damaged archive at offset " + std::to_string(c.offset) + ": ";
        for (const std::string &l : p.log.lines) {
            if (l.rfind("Damaged archive", 0) == 0) {
                ++damageLines;
                EXPECT_EQ(l.rfind(prefix, 0), 0u) << l;
                EXPECT_NE(l.find(c.reason), std::string::npos) << l;
            }
        }
        EXPECT_EQ(damageLines, 1);
        EXPECT_EQ(p.log.lines.back(), "Parsing end");
        ExpectRecordsInside(p);
    }
}

// A file record whose data starts past 2 GiB: the record's offset would not fit the signed 32-bit
// offset that extraction adds to the resource pointer. The 2 GiB in between are never touched,
// so a reserved, unbacked mapping stands in for them.
TEST(PayloadDamage, DataStartingPast2GiBIsDamage) {
    const uint64_t length = (uint64_t(1) << 31) + 8192;
    void *map = mmap(nullptr, length, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    ASSERT_NE(map, MAP_FAILED);
    auto *bytes = static_cast<uint8_t *>(map);
    ArchiveBytes head;
    head.Summary(1, 1);
    std::memcpy(bytes, head.bytes().data(), head.bytes().size());
    // The root folder's record carries a data area that reaches just below 2 GiB.
    const uint32_t folderAt = uint32_t(head.bytes().size());
    const uint32_t fileAt = (uint32_t(1) << 31) - 16;
    payload::EncodeRecordHeader({int32_t(fileAt - folderAt),
                                 int32_t(fileAt - folderAt - 29),
                                 0,
                                 1,
                                 payload::kFolderRecord,
                                 {0, 0}},
                                bytes + folderAt);
    bytes[folderAt + 28] = '\0';
    payload::EncodeRecordHeader({28 + 6 + 4, 4, 0, 6, payload::kFileRecord, kTime}, bytes + fileAt);
    std::memcpy(bytes + fileAt + 28, "a.txt", 6);
    {
        WalkLog log;
        PayloadArchive archive(bytes, uint32_t(fileAt + 28 + 6 + 4), "C:\\I", &log);
        EXPECT_EQ(archive.damaged, 1);
        EXPECT_EQ(archive.damageOffset, fileAt);
        EXPECT_FALSE(archive.IsUsable());
        EXPECT_EQ(log.lines.end(),
                  std::find(log.lines.begin(), log.lines.end(), "    File='a.txt'"));
    }
    munmap(map, length);
}

TEST(PayloadDamage, SafeNamesPass) {
    for (const char *name : {"", "Doc", "Doc\\Img", "a.b", "..a", "a..", ".hidden", "x\\.\\y"})
        EXPECT_EQ(UnsafeNameReason(name), nullptr) << name;
}

TEST(PayloadDamage, EveryCutOfASmallArchiveIsRefusedWithoutReadingOutside) {
    const std::vector<uint8_t> full = SmallArchive();
    {
        Parsed whole(full, full.size());
        ASSERT_TRUE(whole.archive->IsUsable());
    }
    for (size_t length = 0; length < full.size(); ++length) {
        Parsed p(full, length);
        EXPECT_FALSE(p.archive->IsUsable()) << length;
        ExpectRecordsInside(p);
    }
}

TEST(PayloadDamage, RandomByteFlipsNeverReadOutside) {
    const std::vector<uint8_t> full = SmallArchive();
    std::mt19937 rng(20240607);
    int usable = 0;
    for (int round = 0; round < 3000; ++round) {
        std::vector<uint8_t> bytes = full;
        int flips = 1 + int(rng() % 4);
        for (int f = 0; f < flips; ++f)
            bytes[rng() % bytes.size()] ^= uint8_t(1 + rng() % 255);
        Parsed p(bytes, bytes.size());
        ExpectRecordsInside(p);
        if (p.archive->IsUsable())
            ++usable;
        // Stepping a damaged or sound archive to its end stays inside as well.
        while (p.archive->current != nullptr) {
            p.archive->BuildPath();
            p.archive->IsCompressed();
            p.archive->Next();
        }
    }
    // Flips of file contents, times or filler leave a usable archive; many flips must not.
    EXPECT_GT(usable, 0);
    EXPECT_LT(usable, 3000);
}

} // namespace
