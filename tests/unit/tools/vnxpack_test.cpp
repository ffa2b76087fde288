// vnxpack with the walk: pack, list, verify and unpack through the program, on generated trees,
// the sample product and installers carrying its payload.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "archive/payload_archive.h"
#include "archive/payload_checksum.h"
#include "archive/payload_format.h"
#include "archive/payload_platform.h"
#include "builder/file_times.h"
#include "builder/payload_writer.h"
#include "builder/pe_resource.h"
#include "product/cp1252.h"
#include "tests/support/product_tree.h"
#include "tests/support/temp_dir.h"
#include "tests/support/text_files.h"

namespace fs = std::filesystem;

namespace {

struct RunResult {
    int exitCode;
    std::string output;
};

RunResult Vnxpack(const std::string &args) {
    const std::string command = std::string(VNXPACK_PATH) + " " + args + " 2>&1";
    RunResult r{-1, ""};
    FILE *pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return r;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        r.output.append(buffer, n);
    const int status = pclose(pipe);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

std::string Quote(const fs::path &p) {
    return "'" + p.string() + "'";
}

void WriteBytes(const fs::path &path, const std::vector<uint8_t> &bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
}

size_t CountLines(const std::string &text, const std::string &prefix) {
    size_t count = 0, at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        if (text.compare(at, prefix.size(), prefix) == 0)
            ++count;
        at = end + 1;
    }
    return count;
}

// The order the archive must have, worked out from the folder itself: each folder, its files,
// then its sub-folders, siblings in descending order of their names with case ignored.
void ExpectedOrder(const fs::path &folder, const std::string &relative,
                   std::vector<std::string> *out) {
    out->push_back("D:" + relative);
    std::vector<std::pair<std::string, bool>> entries;
    for (const auto &e : fs::directory_iterator(folder)) {
        std::string ansi;
        EXPECT_TRUE(cp1252::Utf8ToCp1252(e.path().filename().u8string(), &ansi));
        entries.push_back({ansi, e.is_directory()});
    }
    std::sort(entries.begin(), entries.end(), [](const auto &a, const auto &b) {
        return cp1252::CompareNoCase1252(a.first, b.first) > 0;
    });
    for (const auto &e : entries)
        if (!e.second)
            out->push_back("F:" + e.first);
    for (const auto &e : entries) {
        if (e.second) {
            std::string utf8;
            cp1252::Cp1252ToUtf8(e.first, &utf8);
            ExpectedOrder(folder / fs::u8path(utf8),
                          relative.empty() ? e.first : relative + "\\" + e.first, out);
        }
    }
}

TEST(Vnxpack, RoundTripOfAProductTreeThroughPackListVerifyUnpack) {
    TempDir tmp;
    const fs::path tree = tmp.Root() / "product";
    const ProductTree made = MakeProductTree(tree, 805, 4242);
    ASSERT_EQ(made.folders, 46u);

    const fs::path out = tmp.Root() / "payload.bin";
    RunResult pack =
        Vnxpack("pack " + Quote(tree) + " -o " + Quote(out) + " --product-version 2.4.1 --jobs 2");
    ASSERT_EQ(pack.exitCode, 0) << pack.output;
    EXPECT_NE(pack.output.find("805 files"), std::string::npos) << pack.output;

    // The walk over the written archive.
    const std::vector<uint8_t> bytes = ReadFileBytes(out.string());
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(bytes.data())), "2.4.1");
    struct Walk : payload::Platform {
        std::vector<std::string> lines;
        void WriteLine(const char *line) override { lines.push_back(line); }
        uint32_t ClusterSize(const char *) override { return 4096; }
    } walk;
    PayloadArchive archive(bytes.data(), uint32_t(bytes.size()), "C:\\P", &walk);
    ASSERT_TRUE(archive.IsUsable());
    EXPECT_EQ(archive.entryCount, 805 + 46);
    const std::vector<std::string> &log = walk.lines;
    EXPECT_EQ(log[1], "Summary=cFiles=805\t cDirs=46");

    std::vector<std::string> order;
    uint64_t sum = 0, clustered = 0;
    int compressed = 0, stored = 0;
    for (RESITEM *i = archive.head->next; i != nullptr; i = i->next) {
        order.push_back(std::string(1, i->rectype) + ":" + i->name);
        if (i->rectype != 'F')
            continue;
        sum += uint32_t(i->size);
        clustered += (uint64_t(i->size) + 4095) / 4096 * 4096;
        ASSERT_LE(uint64_t(i->offset) + uint64_t(i->datalen), bytes.size());
        archive.current = i;
        if (archive.IsCompressed()) {
            ++compressed;
            EXPECT_LT(i->datalen, i->size);
            EXPECT_EQ(std::string(reinterpret_cast<const char *>(&bytes[size_t(i->offset)]), 4),
                      "VKP1");
        } else {
            ++stored;
            EXPECT_EQ(i->datalen, i->size);
        }
    }
    std::vector<std::string> expected;
    ExpectedOrder(tree, "", &expected);
    EXPECT_EQ(order, expected);
    EXPECT_EQ(sum, made.bytes);
    EXPECT_EQ(archive.totalSize, made.bytes + 4096 + 80000);
    EXPECT_EQ(archive.diskSpaceRequired, clustered + 4096 + 80000);
    EXPECT_GT(compressed, 100);
    EXPECT_GT(stored, 100); // empty, tiny and random files

    // The same bytes whatever the number of threads.
    const fs::path one = tmp.Root() / "one.bin";
    ASSERT_EQ(
        Vnxpack("pack " + Quote(tree) + " -o " + Quote(one) + " --product-version 2.4.1 --jobs 1")
            .exitCode,
        0);
    EXPECT_TRUE(ReadFileBytes(one.string()) == bytes);

    RunResult list = Vnxpack("list " + Quote(out));
    ASSERT_EQ(list.exitCode, 0) << list.output;
    EXPECT_EQ(CountLines(list.output, "F "), 805u);
    EXPECT_EQ(CountLines(list.output, "D "), 46u);
    EXPECT_NE(list.output.find(" compressed "), std::string::npos);
    EXPECT_NE(list.output.find(" stored "), std::string::npos);

    RunResult verify = Vnxpack("verify " + Quote(out) + " " + Quote(tree));
    EXPECT_EQ(verify.exitCode, 0) << verify.output;
    // The same payload without its checksum beside it cannot be checked: a difference. So is a
    // signature asked of a payload file.
    const fs::path bare = tmp.Root() / "bare.bin";
    fs::copy_file(out, bare);
    RunResult unchecked = Vnxpack("verify " + Quote(bare) + " " + Quote(tree) + " --signed");
    EXPECT_EQ(unchecked.exitCode, 1) << unchecked.output;
    EXPECT_NE(unchecked.output.find("missing: " + bare.string() +
                                    ": no SHA-256 of the payload is stored with it"),
              std::string::npos)
        << unchecked.output;
    EXPECT_NE(unchecked.output.find("unsigned: " + bare.string()), std::string::npos)
        << unchecked.output;
    EXPECT_NE(unchecked.output.find("\n2 differences\n"), std::string::npos) << unchecked.output;

    const fs::path dest = tmp.Root() / "unpacked";
    RunResult unpack = Vnxpack("unpack " + Quote(out) + " " + Quote(dest));
    ASSERT_EQ(unpack.exitCode, 0) << unpack.output;
    size_t compared = 0;
    for (const auto &e : fs::recursive_directory_iterator(tree)) {
        const fs::path copy = dest / e.path().lexically_relative(tree);
        if (e.is_directory()) {
            EXPECT_TRUE(fs::is_directory(copy)) << copy;
            continue;
        }
        ASSERT_TRUE(fs::is_regular_file(copy)) << copy;
        EXPECT_TRUE(ReadFileBytes(copy.string()) == ReadFileBytes(e.path().string())) << copy;
        payload::FileTime a{}, b{};
        payload::GetModificationTime(e.path(), &a);
        payload::GetModificationTime(copy, &b);
        EXPECT_EQ(payload::FileTimeToU64(a), payload::FileTimeToU64(b)) << copy;
        ++compared;
    }
    EXPECT_EQ(compared, 805u);
    EXPECT_EQ(Vnxpack("verify " + Quote(out) + " " + Quote(dest)).exitCode, 0);

    // verify reports each kind of difference.
    std::vector<fs::path> files;
    for (const auto &e : fs::recursive_directory_iterator(dest))
        if (e.is_regular_file() && e.file_size() > 10)
            files.push_back(e.path());
    std::sort(files.begin(), files.end());
    ASSERT_GE(files.size(), 3u);
    {
        const char flipped = char(ReadFileBytes(files[0].string())[5] ^ 0x7f);
        std::fstream f(files[0], std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(5);
        f.put(flipped);
    }
    payload::FileTime t{};
    payload::GetModificationTime(files[0], &t);
    payload::GetModificationTime(files[1], &t);
    payload::SetModificationTime(files[1], payload::U64ToFileTime(payload::FileTimeToU64(t) + 1));
    fs::remove(files[2]);
    std::ofstream(dest / "Doc_extra.txt") << "not in the archive";
    RunResult diff = Vnxpack("verify " + Quote(out) + " " + Quote(dest));
    EXPECT_EQ(diff.exitCode, 1) << diff.output;
    auto rel = [&](const fs::path &p) { return p.lexically_relative(dest).generic_u8string(); };
    EXPECT_NE(diff.output.find("changed: " + rel(files[0]) + " (contents"), std::string::npos)
        << diff.output;
    EXPECT_NE(diff.output.find("changed: " + rel(files[1]) + " (time"), std::string::npos)
        << diff.output;
    EXPECT_NE(diff.output.find("missing: " + rel(files[2])), std::string::npos) << diff.output;
    EXPECT_NE(diff.output.find("extra: Doc_extra.txt"), std::string::npos) << diff.output;
    EXPECT_EQ(CountLines(diff.output, "changed: ") + CountLines(diff.output, "missing: ") +
                  CountLines(diff.output, "extra: "),
              4u)
        << diff.output;
}

TEST(Vnxpack, ListFindsThePayloadInsideAnInstaller) {
#ifdef VNX_TEST_EXE
    TempDir tmp;
    const fs::path out = tmp.Root() / "payload.bin";
    ASSERT_EQ(Vnxpack("pack " + std::string(VNX_SAMPLE_PRODUCT) + " -o " + Quote(out)).exitCode, 0);
    RunResult fromPayload = Vnxpack("list " + Quote(out));
    RunResult fromExe = Vnxpack(std::string("list ") + VNX_TEST_EXE);
    ASSERT_EQ(fromExe.exitCode, 0) << fromExe.output;
    // The exe was built from the same folder at build time: same records, maybe other times.
    EXPECT_EQ(CountLines(fromExe.output, "F "), CountLines(fromPayload.output, "F "));
    EXPECT_NE(fromExe.output.find("Doc/index.htm"), std::string::npos) << fromExe.output;
    EXPECT_NE(fromExe.output.find("\nSHA-256 "), std::string::npos) << fromExe.output;
    EXPECT_NE(fromExe.output.find(": matches\n"), std::string::npos) << fromExe.output;
    // One byte of the payload changed inside the installer: list and verify call it damaged.
    std::vector<uint8_t> exe = ReadFileBytes(VNX_TEST_EXE);
    const std::vector<uint8_t> packed = ReadFileBytes(VNX_TEST_PAYLOAD);
    const auto at = std::search(exe.begin(), exe.end(), packed.begin(), packed.end());
    ASSERT_NE(at, exe.end());
    at[long(packed.size() / 2)] ^= 0x20;
    const fs::path damaged = tmp.Root() / "damaged.exe";
    std::ofstream(damaged, std::ios::binary)
        .write(reinterpret_cast<const char *>(exe.data()), std::streamsize(exe.size()));
    RunResult listed = Vnxpack("list " + Quote(damaged));
    EXPECT_NE(listed.output.find("does NOT match its stored checksum"), std::string::npos)
        << listed.output;
    RunResult verified =
        Vnxpack("verify " + Quote(damaged) + " " + std::string(VNX_SAMPLE_PRODUCT));
    EXPECT_EQ(verified.exitCode, 1);
    EXPECT_NE(verified.output.find("damaged: "), std::string::npos) << verified.output;
    // A plain executable without the resource is refused with a reason.
    RunResult noResource = Vnxpack(std::string("list ") + VNX_PLAIN_EXE);
    EXPECT_EQ(noResource.exitCode, 1);
    EXPECT_NE(noResource.output.find("TESTDATA"), std::string::npos) << noResource.output;
#else
    GTEST_SKIP() << "no mingw-w64 compiler to build a test executable";
#endif
}

// verify checks an installer's image besides its payload: a file that cannot run, or that is not
// the one that was signed, fails, one line for each thing found.
TEST(Vnxpack, VerifyChecksTheInstallersImageAndItsSignature) {
#ifdef VNX_TEST_EXE
    TempDir tmp;
    const std::vector<uint8_t> exe = ReadFileBytes(VNX_TEST_EXE);
    const std::string product = VNX_SAMPLE_PRODUCT;
    auto verify = [&](const std::string &name, const std::vector<uint8_t> &bytes,
                      const std::string &more = "") {
        WriteBytes(tmp.Root() / name, bytes);
        return Vnxpack("verify " + Quote(tmp.Root() / name) + " " + product + more);
    };
    RunResult whole = verify("whole.exe", exe);
    EXPECT_EQ(whole.exitCode, 0) << whole.output;
    EXPECT_NE(whole.output.find("image: whole: headers, "), std::string::npos) << whole.output;
    EXPECT_NE(whole.output.find("the header checksum matches"), std::string::npos);
    RunResult unsignedExe = verify("whole.exe", exe, " --signed");
    EXPECT_EQ(unsignedExe.exitCode, 1) << unsignedExe.output;
    EXPECT_NE(unsignedExe.output.find("unsigned: " + (tmp.Root() / "whole.exe").string() +
                                      ": the image carries no signature"),
              std::string::npos)
        << unsignedExe.output;
    // The checksum's resource taken away (its entry renumbered, the header checksum made to fit
    // again): the image is whole and the members match, but the payload goes unchecked.
    std::vector<uint8_t> noChecksum = exe;
    const uint8_t entries[] = {payload::kResourceId, 0, 0, 0};
    bool renumbered = false;
    for (size_t at = 0; at + 16 <= noChecksum.size() && !renumbered; at += 4) {
        if (std::equal(entries, entries + 4, &noChecksum[at]) &&
            payload::ReadLe32(&noChecksum[at + 8]) == payload::kChecksumResourceId) {
            noChecksum[at + 8] = uint8_t(payload::kChecksumResourceId + 1);
            renumbered = true;
        }
    }
    ASSERT_TRUE(renumbered);
    size_t sumAt = 0;
    ASSERT_TRUE(payload::PeChecksumOffset(noChecksum.data(), noChecksum.size(), &sumAt));
    payload::WriteLe32(&noChecksum[sumAt],
                       payload::PeChecksum(noChecksum.data(), noChecksum.size(), sumAt));
    RunResult stripped = verify("no-checksum.exe", noChecksum);
    EXPECT_EQ(stripped.exitCode, 1) << stripped.output;
    EXPECT_NE(stripped.output.find("the header checksum matches"), std::string::npos)
        << stripped.output;
    EXPECT_NE(stripped.output.find("missing: " + (tmp.Root() / "no-checksum.exe").string() +
                                   ": no SHA-256 of the payload is stored with it"),
              std::string::npos)
        << stripped.output;

    const std::vector<uint8_t> packed = ReadFileBytes(VNX_TEST_PAYLOAD);
    const size_t payloadAt =
        size_t(std::search(exe.begin(), exe.end(), packed.begin(), packed.end()) - exe.begin());
    ASSERT_LT(payloadAt, exe.size());
    // Damage the payload's checksum does not see: the headers, the bytes before the payload,
    // a file cut after the payload, bytes added at the end.
    std::vector<uint8_t> header = exe, before = exe, added = exe, oneAdded = exe;
    header[0x3C + 8] ^= 0x01;
    before[payloadAt - 1000] ^= 0x40;
    const std::vector<uint8_t> cut(exe.begin(), exe.begin() + long(payloadAt + packed.size() + 64));
    added.insert(added.end(), {'x', 'y', 'z'});
    oneAdded.push_back('x');
    const struct {
        const char *name;
        const std::vector<uint8_t> &bytes;
        const char *line;
    } damaged[] = {
        {"header.exe", header, "the header checksum"},
        {"before.exe", before, "the header checksum"},
        {"cut.exe", cut, "lies past the end of the file"},
        {"added.exe", added, "3 bytes follow the end of the image"},
        {"one-added.exe", oneAdded, "1 byte follows the end of the image"},
    };
    for (const auto &d : damaged) {
        RunResult r = verify(d.name, d.bytes);
        EXPECT_EQ(r.exitCode, 1) << d.name << "\n" << r.output;
        EXPECT_NE(r.output.find("damaged: " + (tmp.Root() / d.name).string() + ": "),
                  std::string::npos)
            << r.output;
        EXPECT_NE(r.output.find(d.line), std::string::npos) << d.name << "\n" << r.output;
    }

    // Signed with a throw-away certificate: the signature must cover the image. A changed byte
    // with the header checksum made to fit again is caught by the signature alone.
    const fs::path key = tmp.Root() / "key.pem", cert = tmp.Root() / "cert.pem";
    ASSERT_EQ(
        std::system(("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=vnx -keyout " +
                     Quote(key) + " -out " + Quote(cert) + " >/dev/null 2>&1")
                        .c_str()),
        0);
    const fs::path signedExe = tmp.Root() / "signed.exe";
    ASSERT_EQ(std::system(("osslsigncode sign -certs " + Quote(cert) + " -key " + Quote(key) +
                           " -h sha256 -in " + Quote(tmp.Root() / "whole.exe") + " -out " +
                           Quote(signedExe) + " >/dev/null")
                              .c_str()),
              0);
    const std::vector<uint8_t> signedBytes = ReadFileBytes(signedExe.string());
    RunResult good = verify("signed.exe", signedBytes, " --ca " + Quote(cert) + " --signed");
    EXPECT_EQ(good.exitCode, 0) << good.output;
    EXPECT_NE(good.output.find("certificate table; the header checksum matches"), std::string::npos)
        << good.output;
    EXPECT_NE(good.output.find("the signature covers the image and its certificate chain holds"),
              std::string::npos)
        << good.output;
    // Without --ca the chain is checked against the system's certificates, which know nothing
    // of this one: osslsigncode's verdict fails, and so does verify.
    RunResult unknownSigner = verify("signed.exe", signedBytes);
    EXPECT_EQ(unknownSigner.exitCode, 1) << unknownSigner.output;
    EXPECT_NE(unknownSigner.output.find("does not hold against the system's certificates"),
              std::string::npos)
        << unknownSigner.output;
    std::vector<uint8_t> tampered = signedBytes;
    tampered[payloadAt - 1000] ^= 0x40;
    size_t checksumAt = 0;
    ASSERT_TRUE(payload::PeChecksumOffset(tampered.data(), tampered.size(), &checksumAt));
    const uint32_t sum = payload::PeChecksum(tampered.data(), tampered.size(), checksumAt);
    for (int i = 0; i < 4; ++i)
        tampered[checksumAt + size_t(i)] = uint8_t(sum >> (8 * i));
    RunResult bad = verify("tampered.exe", tampered);
    EXPECT_EQ(bad.exitCode, 1) << bad.output;
    EXPECT_NE(bad.output.find("the header checksum matches"), std::string::npos) << bad.output;
    EXPECT_NE(bad.output.find(": the signature does not cover the image"), std::string::npos)
        << bad.output;
    // Bytes slipped in between the image and its signature (the table moved on to the next
    // 8-byte boundary, its offset in the header moved with it).
    std::vector<uint8_t> gap = signedBytes;
    const size_t optional = checksumAt - 64;
    const size_t securityAt =
        optional + (gap[optional] == 0x0B && gap[optional + 1] == 0x02 ? 112 : 96) + 4 * 8;
    const uint32_t certificates = payload::ReadLe32(&gap[securityAt]);
    ASSERT_GT(certificates, 0u);
    gap.insert(gap.begin() + long(certificates), 8, uint8_t(0));
    payload::WriteLe32(&gap[securityAt], certificates + 8);
    RunResult gapped = verify("gap.exe", gap);
    EXPECT_EQ(gapped.exitCode, 1) << gapped.output;
    EXPECT_NE(gapped.output.find("does not follow the image"), std::string::npos) << gapped.output;
#else
    GTEST_SKIP() << "no mingw-w64 compiler to build a test executable";
#endif
}

// --- refusals ---------------------------------------------------------------------------------

void Touch(const fs::path &p, const std::string &text = "x") {
    std::ofstream(p) << text;
}

TEST(Vnxpack, LinksInsideTheTreeArePackedAsTheirTargets) {
    TempDir tmp;
    const fs::path root = tmp.Root() / "product";
    fs::create_directories(root / "Doc");
    Touch(root / "Doc" / "index.htm", "<html>notes</html>");
    fs::create_symlink("Doc/index.htm", root / "notes.htm");
    fs::create_directory_symlink("Doc", root / "Manual");
    const fs::path out = tmp.Root() / "out.bin";
    std::string error;
    payload::PackStats stats;
    ASSERT_TRUE(payload::PackDirectory(root.string(), out.string(), {}, &stats, &error)) << error;
    ASSERT_TRUE(payload::WriteChecksumFile(out.string(), &error)) << error;
    EXPECT_EQ(stats.files, 3u);
    EXPECT_EQ(stats.folders, 3u);
    EXPECT_EQ(Vnxpack("verify " + Quote(out) + " " + Quote(root)).exitCode, 0);
}

// unpack checks the payload's SHA-256 before it writes anything, and no link planted where
// vnxpack writes (at a member, or at a name a temporary file could have) redirects a write.
TEST(Vnxpack, UnpackChecksTheSha256FirstAndNoLinkRedirectsAWrite) {
    TempDir tmp;
    const fs::path product = VNX_SAMPLE_PRODUCT;
    const fs::path victim = tmp.Root() / "victim.txt";
    Touch(victim, "outside");
    const fs::path out = tmp.Root() / "p.bin", list = tmp.Root() / "list";
    for (const char *name : {"p.bin.partial", "p.bin.sha256", "p.bin.sha256.partial",
                             "list.partial", "list.sha256.partial"})
        fs::create_symlink(victim, tmp.Root() / name);
    ASSERT_EQ(Vnxpack("pack " + Quote(product) + " -o " + Quote(out)).exitCode, 0);
    ASSERT_EQ(Vnxpack("file-list " + Quote(product) + " -o " + Quote(list)).exitCode, 0);
    // The list gives each product file its size and SHA-256, for the uninstaller to compare.
    const std::string version = ReadFileText((product / "Data" / "VERSION.txt").string());
    uint8_t digest[payload::kChecksumSize];
    ASSERT_TRUE(
        payload::Sha256(reinterpret_cast<const uint8_t *>(version.data()), version.size(), digest));
    EXPECT_NE(ReadFileText(list.string())
                  .find("\nF\t" + std::to_string(version.size()) + "\t" +
                        payload::ChecksumText(digest) + "\tData\\VERSION.txt\n"),
              std::string::npos)
        << ReadFileText(list.string());
    const fs::path dest = tmp.Root() / "dest";
    fs::create_directories(dest / "Data");
    fs::create_symlink(victim, dest / "Data" / "VERSION.txt");
    fs::create_symlink(victim, dest / "Data" / "VERSION.txt.vnxpack-part");
    RunResult unpacked = Vnxpack("unpack " + Quote(out) + " " + Quote(dest));
    EXPECT_EQ(unpacked.exitCode, 0) << unpacked.output;
    EXPECT_EQ(ReadFileText(victim.string()), "outside");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(out.string() + ".sha256")));
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dest / "Data" / "VERSION.txt")));
    EXPECT_EQ(ReadFileText((dest / "Data" / "VERSION.txt").string()),
              ReadFileText((product / "Data" / "VERSION.txt").string()));
    // A folder of the tree that is a link is refused, and nothing goes where it leads.
    const fs::path linked = tmp.Root() / "linked", elsewhere = tmp.Root() / "elsewhere";
    fs::create_directories(linked);
    fs::create_directories(elsewhere);
    fs::create_directory_symlink(elsewhere, linked / "Doc");
    RunResult refused = Vnxpack("unpack " + Quote(out) + " " + Quote(linked));
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.output.find("Doc: is a link, not a folder"), std::string::npos)
        << refused.output;
    EXPECT_TRUE(fs::is_empty(elsewhere));

    // One byte of a member changed beside its checksum: refused before anything is written;
    // --rescue unpacks it all the same, says so, and still ends with 1.
    std::vector<uint8_t> bytes = ReadFileBytes(out.string());
    const auto at = std::search(bytes.begin(), bytes.end(), version.begin(), version.end());
    ASSERT_NE(at, bytes.end());
    *at ^= 0x20;
    const fs::path damaged = tmp.Root() / "damaged.bin";
    WriteBytes(damaged, bytes);
    fs::copy_file(out.string() + ".sha256", damaged.string() + ".sha256");
    RunResult refusedDamaged = Vnxpack("unpack " + Quote(damaged) + " " + Quote(tmp.Root() / "d1"));
    EXPECT_EQ(refusedDamaged.exitCode, 1);
    EXPECT_NE(refusedDamaged.output.find("does NOT match its stored SHA-256: it is damaged; "
                                         "nothing was written"),
              std::string::npos)
        << refusedDamaged.output;
    EXPECT_FALSE(fs::exists(tmp.Root() / "d1"));
    RunResult rescued =
        Vnxpack("unpack " + Quote(damaged) + " " + Quote(tmp.Root() / "d2") + " --rescue");
    EXPECT_EQ(rescued.exitCode, 1);
    EXPECT_NE(rescued.output.find("from a DAMAGED payload"), std::string::npos) << rescued.output;
    EXPECT_NE(ReadFileText((tmp.Root() / "d2" / "Data" / "VERSION.txt").string()), version);
    // Without a checksum there is nothing to check, and unpack says so.
    fs::remove(damaged.string() + ".sha256");
    RunResult unchecked = Vnxpack("unpack " + Quote(damaged) + " " + Quote(tmp.Root() / "d3"));
    EXPECT_EQ(unchecked.exitCode, 0);
    EXPECT_NE(unchecked.output.find("carries no SHA-256"), std::string::npos) << unchecked.output;
}

TEST(Vnxpack, BadOptionsAreRefusedWithUsage) {
    EXPECT_EQ(Vnxpack("pack").exitCode, 2);
    EXPECT_EQ(Vnxpack("pack /tmp -o /tmp/x --level 0").exitCode, 2);
    EXPECT_EQ(Vnxpack("pack /tmp -o /tmp/x --jobs zero").exitCode, 2);
    EXPECT_EQ(Vnxpack("list").exitCode, 2);
    RunResult notPayload = Vnxpack("list /etc/hostname");
    EXPECT_EQ(notPayload.exitCode, 1);
    EXPECT_NE(notPayload.output.find("not a usable payload"), std::string::npos);
    {
        // A damaged payload is named with the place and the reason the walk found.
        TempDir cutDir;
        Touch(cutDir.Root() / "cut.bin", std::string(40, '\0'));
        RunResult cut = Vnxpack("list " + Quote(cutDir.Root() / "cut.bin"));
        EXPECT_EQ(cut.exitCode, 1);
        EXPECT_NE(cut.output.find("not a usable payload archive\n  Damaged archive at offset 30: "
                                  "record header does not fit - abort."),
                  std::string::npos)
            << cut.output;
    }
    TempDir tmp;
    payload::PackOptions options;
    options.productVersion = std::string(30, '1');
    std::string error;
    EXPECT_FALSE(payload::PackDirectory(tmp.Root().string(), (tmp.Root() / "o").string(), options,
                                        nullptr, &error));
    EXPECT_NE(error.find("29"), std::string::npos);
}

// The maker checks what it is given before it reads a stub, and writes nothing when it refuses.
// (The stubs' refusals are checked against real stubs by the release tests.)
TEST(Vnxpack, TheMakerRefusesABadIdentityAndMissingStubs) {
    TempDir tmp;
    const std::string made = Quote(tmp.Root() / "Setup.exe");
    const std::string start = std::string("installer ") + VNX_SAMPLE_PRODUCT + " --stub-dir " +
                              Quote(tmp.Root()) + " -o " + made;
    EXPECT_EQ(Vnxpack(start + " --product-version 2.4.1").exitCode, 2) << "no build";
    EXPECT_EQ(Vnxpack(start + " --product-version 2.4.1 --product-build 1 --level 10").exitCode, 2);
    const std::pair<const char *, const char *> refused[] = {
        {"--product-version 2.4.x --product-build 1", "product version \"2.4.x\""},
        {"--product-version 1.2.3.4.5 --product-build 1", "product version"},
        {"--product-version 2.4.1 --product-build 2.4.1.65536", "product build \"2.4.1.65536\""},
        {"--product-version 2.4.1 --product-build 1 --build-date ''", "build date"},
        {"--product-version 2.4.1 --product-build 1 --sign-password-file /etc/hostname",
         "go with --sign-pkcs12"},
        {"--product-version 2.4.1 --product-build 1 --sign-pkcs12 /nonexistent "
         "--sign-password-file /etc/hostname",
         "no certificate file"},
        {"--product-version 2.4.1 --product-build 1", "cannot read"}, // the stub is missing
    };
    for (const auto &run : refused) {
        const RunResult result = Vnxpack(start + " " + run.first);
        EXPECT_EQ(result.exitCode, 1) << run.first << "\n" << result.output;
        EXPECT_NE(result.output.find(run.second), std::string::npos) << result.output;
        EXPECT_NE(result.output.find("nothing was written"), std::string::npos) << result.output;
    }
    EXPECT_FALSE(fs::exists(tmp.Root() / "Setup.exe"));
}

} // namespace
