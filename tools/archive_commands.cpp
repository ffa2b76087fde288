// pack, list, verify and unpack: the payload archive on the command line.
#include "tools/archive_commands.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "archive/payload_archive.h"
#include "archive/payload_checksum.h"
#include "archive/payload_format.h"
#include "builder/file_times.h"
#include "builder/output_file.h"
#include "builder/payload_writer.h"
#include "builder/pe_resource.h"
#include "decompress/decompress.h"
#include "decompress/stream_decoder.h"
#include "product/cp1252.h"
#include "tools/commands.h"
#include "tools/signature_check.h"

namespace fs = std::filesystem;
using payload::ReadWholeFile;

namespace vnxpack {

namespace {

bool ParseInt(const char *text, int low, int high, int *value) {
    char *end = nullptr;
    long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || v < low || v > high)
        return false;
    *value = int(v);
    return true;
}

// One record of the archive with its path inside the product (UTF-8, '/' separated).
struct Member {
    const RESITEM *item;
    std::string relative; // empty for the root folder
};

// A payload file (or the payload inside an installer) loaded and walked.
struct Payload {
    std::vector<uint8_t> file;
    const uint8_t *data = nullptr;
    uint32_t length = 0;
    std::unique_ptr<PayloadArchive> archive;
    std::vector<Member> members;
    // The stored SHA-256 (an installer's second resource, or FILE.sha256 beside a payload file)
    // and what checking it against the payload gave.
    std::vector<uint8_t> storedChecksum;
    payload::ChecksumResult checksum = payload::ChecksumResult::NotStored;

    bool IsExecutable() const { return payload::LooksLikeExecutable(file.data(), file.size()); }

    // Loads and walks; on failure describes it in `*error`.
    bool Load(const char *path, const char *targetFolder, std::string *error) {
        return ReadWholeFile(fs::u8path(path), &file, error) && Walk(path, targetFolder, error);
    }

    // Walks the file already read.
    bool Walk(const char *path, const char *targetFolder, std::string *error) {
        data = file.data();
        length = uint32_t(file.size());
        if (IsExecutable()) {
            size_t offset;
            if (!payload::FindPeResource(data, file.size(), payload::kResourceType,
                                         payload::kResourceId, &offset, &length, error)) {
                *error = std::string(path) + ": " + *error;
                return false;
            }
            size_t checksumOffset = 0;
            uint32_t checksumLength = 0;
            std::string ignored;
            if (payload::FindPeResource(file.data(), file.size(), payload::kResourceType,
                                        payload::kChecksumResourceId, &checksumOffset,
                                        &checksumLength, &ignored))
                storedChecksum.assign(file.data() + checksumOffset,
                                      file.data() + checksumOffset + checksumLength);
            data += offset;
        } else {
            std::string ignored;
            ReadWholeFile(fs::u8path(std::string(path) + ".sha256"), &storedChecksum, &ignored);
        }
        checksum =
            payload::CheckChecksum(data, length, storedChecksum.data(), storedChecksum.size());
        // A quiet walk: what is wrong with a damaged archive is read from the archive itself.
        archive.reset(new PayloadArchive(data, length, targetFolder, nullptr));
        if (!archive->IsUsable()) {
            *error = std::string(path) + ": not a usable payload archive";
            char damage[payload::kPathBufferSize];
            archive->DamageLine(damage, sizeof damage);
            if (damage[0] != '\0')
                *error += std::string("\n  ") + damage;
            return false;
        }
        return Describe(path, error);
    }

    bool Describe(const char *path, std::string *error) {
        std::string folder;
        for (const RESITEM *i = archive->head; i != nullptr; i = i->next) {
            if (i->rectype != payload::kFolderRecord && i->rectype != payload::kFileRecord)
                continue;
            std::string name;
            if (!cp1252::Cp1252ToUtf8(i->name, &name)) {
                *error = std::string(path) + ": name with a byte code page 1252 leaves undefined";
                return false;
            }
            for (char &c : name)
                if (c == '\\')
                    c = '/';
            if (i->rectype == payload::kFolderRecord) {
                folder = name;
                members.push_back({i, name});
            } else {
                members.push_back({i, folder.empty() ? name : folder + "/" + name});
            }
        }
        return true;
    }

    const uint8_t *DataOf(const RESITEM *item) const { return data + item->offset; }
};

std::string TimeText(payload::FileTime t) {
    payload::CalendarTime c{};
    if (!payload::FileTimeToCalendar(t, &c))
        return "(invalid time)";
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", c.year, c.month, c.day,
                  c.hour, c.minute, c.second);
    return text;
}

// With the 100 ns ticks, for differences below a second.
std::string PreciseTimeText(payload::FileTime t) {
    char ticks[16];
    std::snprintf(ticks, sizeof ticks, ".%07u",
                  unsigned(payload::FileTimeToU64(t) % payload::kFileTimeTicksPerSecond));
    return TimeText(t) + ticks;
}

// Receives a member's decoded bytes in memory, refusing more than the record says it holds.
class BufferSink : public vkp::ByteSink {
public:
    BufferSink(std::vector<uint8_t> *bytes, uint64_t limit) : bytes_(bytes), limit_(limit) {}
    bool Write(const uint8_t *data, size_t size) override {
        if (bytes_->size() + size > limit_)
            return false;
        bytes_->insert(bytes_->end(), data, data + size);
        return true;
    }

private:
    std::vector<uint8_t> *bytes_;
    uint64_t limit_;
};

// Receives a member's decoded bytes into the file being unpacked, refusing more than the record
// says it holds.
class FileSink : public vkp::ByteSink {
public:
    FileSink(payload::OutputFile *file, uint64_t limit) : file_(file), limit_(limit) {}
    bool Write(const uint8_t *data, size_t size) override {
        written += size;
        return written <= limit_ && file_->Write(data, size);
    }
    uint64_t written = 0;

private:
    payload::OutputFile *file_;
    uint64_t limit_;
};

// A member's contents, decoded or as stored.
bool MemberBytes(const Payload &p, const RESITEM *item, std::vector<uint8_t> *bytes,
                 std::string *error) {
    bytes->clear();
    if (!IsCompressedRecord(item)) {
        bytes->assign(p.DataOf(item), p.DataOf(item) + item->datalen);
        return true;
    }
    BufferSink sink(bytes, uint64_t(item->size));
    const int result = vkp::DecodeStream(p.DataOf(item), uint32_t(item->datalen), &sink,
                                         vkp::DecodeMethod::kTable);
    if (result != kDecompressOk || bytes->size() != uint64_t(item->size)) {
        *error = "cannot decode to the record's " + std::to_string(item->size) + " bytes (result " +
                 std::to_string(result) + ")";
        return false;
    }
    return true;
}

// Decodes or copies one member's contents into `out`.
bool WriteMember(const Payload &p, const RESITEM *item, payload::OutputFile *out,
                 std::string *error) {
    if (!IsCompressedRecord(item)) {
        if (item->datalen > 0 && !out->Write(p.DataOf(item), size_t(item->datalen))) {
            *error = "cannot write";
            return false;
        }
        return true;
    }
    FileSink sink(out, uint64_t(item->size));
    const int result = vkp::DecodeStream(p.DataOf(item), uint32_t(item->datalen), &sink,
                                         vkp::DecodeMethod::kTable);
    if (sink.written > uint64_t(item->size) ||
        (result == kDecompressOk && sink.written != uint64_t(item->size))) {
        *error = "decoded size differs from the record";
        return false;
    }
    if (result != kDecompressOk) {
        *error = "cannot decode (result " + std::to_string(result) + ")";
        return false;
    }
    return true;
}

const char *kPackUsage =
    "usage: vnxpack pack DIR -o FILE [--product-version TEXT] [--level N] [--jobs N]\n"
    "                    [--add NAME=FILE]... [--check-list LIST]\n"
    "  --level: 1 (fastest) to 9, default 6; 9 is for release builds (packed once, downloaded\n"
    "  many times): the smallest payload, several times slower than 8\n";
const char *kFileListUsage = "usage: vnxpack file-list DIR -o LIST [--add NAME]...\n";

// "--add NAME=FILE" (packing) or "--add NAME" (listing): a file the build adds at the root.
bool ParseAdded(const char *text, bool needFile, payload::RootFile *file) {
    const char *equals = std::strchr(text, '=');
    file->name = equals ? std::string(text, equals) : std::string(text);
    file->source = equals ? std::string(equals + 1) : std::string();
    return !file->name.empty() && (!needFile || !file->source.empty());
}

} // namespace

int RunPack(int argc, char **argv) {
    const char *dir = nullptr;
    const char *out = nullptr;
    payload::PackOptions options;
    options.showProgress = true;
    for (int i = 0; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "-o") == 0 && hasValue) {
            out = argv[++i];
        } else if (std::strcmp(argv[i], "--product-version") == 0 && hasValue) {
            options.productVersion = argv[++i];
        } else if (std::strcmp(argv[i], "--level") == 0 && hasValue) {
            if (!ParseInt(argv[++i], 1, 9, &options.level)) {
                std::fprintf(stderr, "vnxpack pack: --level takes 1 to 9\n");
                return kExitUsage;
            }
        } else if (std::strcmp(argv[i], "--jobs") == 0 && hasValue) {
            if (!ParseInt(argv[++i], 1, 256, &options.jobs)) {
                std::fprintf(stderr, "vnxpack pack: --jobs takes 1 to 256\n");
                return kExitUsage;
            }
        } else if (std::strcmp(argv[i], "--add") == 0 && hasValue) {
            payload::RootFile added;
            if (!ParseAdded(argv[++i], true, &added)) {
                std::fprintf(stderr, "vnxpack pack: --add takes NAME=FILE\n");
                return kExitUsage;
            }
            options.rootFiles.push_back(added);
        } else if (std::strcmp(argv[i], "--check-list") == 0 && hasValue) {
            options.expectedListFile = argv[++i];
        } else if (argv[i][0] != '-' && dir == nullptr) {
            dir = argv[i];
        } else {
            std::fputs(kPackUsage, stderr);
            return kExitUsage;
        }
    }
    if (dir == nullptr || out == nullptr) {
        std::fputs(kPackUsage, stderr);
        return kExitUsage;
    }
    payload::PackStats stats;
    std::string error;
    if (!payload::PackDirectory(dir, out, options, &stats, &error)) {
        std::fprintf(stderr, "vnxpack pack: %s\n", error.c_str());
        return kExitFailure;
    }
    std::printf("%s: %u files (%u compressed, %u stored) in %u folders, %llu bytes packed into "
                "%llu\n",
                out, stats.files, stats.compressed, stats.files - stats.compressed, stats.folders,
                static_cast<unsigned long long>(stats.inputBytes),
                static_cast<unsigned long long>(stats.archiveBytes));
    return kExitOk;
}

int RunFileList(int argc, char **argv) {
    const char *dir = nullptr;
    const char *out = nullptr;
    payload::PackOptions options;
    for (int i = 0; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "-o") == 0 && hasValue) {
            out = argv[++i];
        } else if (std::strcmp(argv[i], "--add") == 0 && hasValue) {
            payload::RootFile added;
            if (!ParseAdded(argv[++i], false, &added)) {
                std::fputs(kFileListUsage, stderr);
                return kExitUsage;
            }
            options.rootFiles.push_back(added);
        } else if (argv[i][0] != '-' && dir == nullptr) {
            dir = argv[i];
        } else {
            std::fputs(kFileListUsage, stderr);
            return kExitUsage;
        }
    }
    if (dir == nullptr || out == nullptr) {
        std::fputs(kFileListUsage, stderr);
        return kExitUsage;
    }
    payload::InstallList list;
    std::string error;
    if (!payload::ListDirectory(dir, options, &list, &error)) {
        std::fprintf(stderr, "vnxpack file-list: %s\n", error.c_str());
        return kExitFailure;
    }
    // Written whole or not at all, and left alone when unchanged: the build then does not make
    // the uninstaller again. Its SHA-256 goes beside it, for the uninstaller to check.
    const std::string text = payload::FormatInstallList(list);
    std::vector<uint8_t> old;
    std::string ignored;
    if (ReadWholeFile(fs::u8path(out), &old, &ignored) &&
        std::string(old.begin(), old.end()) == text &&
        fs::exists(fs::u8path(std::string(out) + ".sha256")))
        return kExitOk;
    if (!payload::WriteFileSafely(fs::u8path(out), text.data(), text.size(), &error)) {
        std::fprintf(stderr, "vnxpack file-list: %s\n", error.c_str());
        return kExitFailure;
    }
    if (!payload::WriteChecksumFile(out, &error)) {
        std::fprintf(stderr, "vnxpack file-list: %s\n", error.c_str());
        return kExitFailure;
    }
    return kExitOk;
}

// What the stored checksum says of the payload.
std::string ChecksumLine(const Payload &p) {
    switch (p.checksum) {
    case payload::ChecksumResult::Matches:
        return "SHA-256 " + payload::ChecksumText(p.storedChecksum.data()) + ": matches";
    case payload::ChecksumResult::Mismatch:
        return "SHA-256: the payload does NOT match its stored checksum: it is damaged";
    case payload::ChecksumResult::Unavailable:
        return "SHA-256: cannot be computed here";
    case payload::ChecksumResult::NotStored:
        break;
    }
    return "SHA-256: none stored";
}

int RunList(int argc, char **argv) {
    if (argc != 1) {
        std::fputs("usage: vnxpack list FILE   (a payload, or an installer .exe)\n", stderr);
        return kExitUsage;
    }
    Payload p;
    std::string error;
    if (!p.Load(argv[0], ".", &error)) {
        std::fprintf(stderr, "vnxpack list: %s\n", error.c_str());
        return kExitFailure;
    }
    char version[payload::kPreambleSize + 1] = {};
    std::memcpy(version, p.data, payload::kPreambleSize);
    std::printf("version \"%s\", %u bytes, %d records after the summary\n", version, p.length,
                p.archive->entryCount);
    std::printf("%s\n", ChecksumLine(p).c_str());
    std::printf("kind %10s %-10s %-19s %s\n", "size", "storage", "time (UTC)", "path");
    uint32_t files = 0, folders = 0, compressed = 0;
    for (const Member &m : p.members) {
        if (m.item->rectype == payload::kFolderRecord) {
            ++folders;
            std::printf("D    %10s %-10s %-19s %s/\n", "", "", "",
                        m.relative.empty() ? "." : m.relative.c_str());
        } else {
            ++files;
            compressed += IsCompressedRecord(m.item) ? 1 : 0;
            std::printf("F    %10d %-10s %-19s %s\n", m.item->size,
                        IsCompressedRecord(m.item) ? "compressed" : "stored",
                        TimeText(m.item->fileTime).c_str(), m.relative.c_str());
        }
    }
    std::printf("%u files (%u compressed, %u stored), %u folders\n", files, compressed,
                files - compressed, folders);
    return kExitOk;
}

namespace {

// The checks of an installer's image: one line each, "damaged: ..." for what fails. Returns the
// number of failures.
int CheckInstallerImage(const char *path, const Payload &p, const std::string &caFile,
                        bool mustBeSigned) {
    payload::PeImageReport image;
    payload::CheckPeImage(p.file.data(), p.file.size(), &image);
    for (const std::string &problem : image.problems)
        std::printf("damaged: %s: %s\n", path, problem.c_str());
    int failures = int(image.problems.size());
    if (failures == 0)
        std::printf("image: whole: headers, %u sections%s%s%s\n", image.sections,
                    image.hasSymbols ? ", symbol table" : "",
                    image.isSigned ? ", certificate table" : "",
                    image.checksumSet ? "; the header checksum matches" : "; no header checksum");
    if (image.isSigned) {
        const SignatureCheck signature = CheckSignature(path, caFile);
        std::printf("%s: %s: %s\n", signature.covers ? "signature" : "damaged", path,
                    signature.line.c_str());
        failures += signature.covers ? 0 : 1;
    } else if (mustBeSigned) {
        std::printf("unsigned: %s: the image carries no signature\n", path);
        ++failures;
    }
    return failures;
}

const char kVerifyUsage[] =
    "usage: vnxpack verify FILE DIR [--add NAME=FILE]... [--ca FILE] [--signed]\n";

struct VerifyOptions {
    // Members the build added at the root, compared with the files they were packed from.
    std::map<std::string, fs::path> added;
    std::string caFile;
    bool mustBeSigned = false;
};

// The options after FILE and DIR; false on anything else.
bool ParseVerifyOptions(int argc, char **argv, VerifyOptions *options) {
    for (int i = 2; i < argc; ++i) {
        payload::RootFile file;
        if (std::strcmp(argv[i], "--ca") == 0 && i + 1 < argc) {
            options->caFile = argv[++i];
            continue;
        }
        if (std::strcmp(argv[i], "--signed") == 0) {
            options->mustBeSigned = true;
            continue;
        }
        if (std::strcmp(argv[i], "--add") != 0 || i + 1 >= argc ||
            !ParseAdded(argv[++i], true, &file))
            return false;
        options->added[file.name] = fs::u8path(file.source);
    }
    return true;
}

// Counts the differences verify finds, each printed as "WHAT: PATH DETAIL" when found.
class Differences {
public:
    void Add(int count) { count_ += count; }
    void Report(const char *what, const std::string &path, const std::string &detail) {
        ++count_;
        std::printf("%s: %s%s\n", what, path.c_str(), detail.c_str());
    }
    int Count() const { return count_; }

private:
    int count_ = 0;
};

// An installer is checked as a whole first: its payload may be intact in a file that cannot
// run. A payload file carries no signature to check.
void CheckImage(const char *path, const Payload &p, const VerifyOptions &options,
                Differences *differences) {
    if (p.IsExecutable()) {
        differences->Add(CheckInstallerImage(path, p, options.caFile, options.mustBeSigned));
    } else if (options.mustBeSigned) {
        std::printf("unsigned: %s: a payload file carries no signature (only an installer does)\n",
                    path);
        differences->Add(1);
    }
}

// What cannot be checked is a difference too: a checksum can be stripped along with the
// signature, and the payload would then pass unseen.
void CheckStoredChecksum(const char *path, const Payload &p, Differences *differences) {
    switch (p.checksum) {
    case payload::ChecksumResult::Matches:
        break;
    case payload::ChecksumResult::Mismatch:
        differences->Report("damaged", path, ": the payload does not match its stored SHA-256");
        break;
    case payload::ChecksumResult::NotStored:
        differences->Report("missing", path, ": no SHA-256 of the payload is stored with it");
        break;
    case payload::ChecksumResult::Unavailable:
        differences->Report("unchecked", path,
                            ": the SHA-256 of the payload cannot be computed here");
        break;
    }
}

// One file member against `local`: there, a regular file, the same bytes and, unless the build
// added it, the same time. False when the member itself cannot be decoded (said on stderr).
bool CheckFileMember(const Payload &p, const Member &m, const fs::path &local, bool byBuild,
                     Differences *differences) {
    std::error_code ec;
    const fs::file_status st = fs::status(local, ec);
    if (!fs::exists(st)) {
        differences->Report("missing", m.relative, "");
        return true;
    }
    if (!fs::is_regular_file(st)) {
        differences->Report("changed", m.relative, " (not a regular file)");
        return true;
    }
    std::string error;
    std::vector<uint8_t> actual, wanted;
    if (!ReadWholeFile(local, &actual, &error)) {
        differences->Report("changed", m.relative, " (" + error + ")");
        return true;
    }
    // Decoded in memory: verify writes nothing anywhere.
    if (!MemberBytes(p, m.item, &wanted, &error)) {
        std::fflush(stdout);
        std::fprintf(stderr, "vnxpack verify: %s: %s\n", m.relative.c_str(), error.c_str());
        return false;
    }
    if (actual != wanted) {
        differences->Report("changed", m.relative,
                            " (contents: " + std::to_string(actual.size()) + " bytes, archive " +
                                std::to_string(wanted.size()) + ")");
        return true;
    }
    if (byBuild) // the build gives its files the product's newest time
        return true;
    payload::FileTime t{};
    if (!payload::GetModificationTime(local, &t) ||
        payload::FileTimeToU64(t) != payload::FileTimeToU64(m.item->fileTime))
        differences->Report("changed", m.relative,
                            " (time: " + PreciseTimeText(t) + " UTC, archive " +
                                PreciseTimeText(m.item->fileTime) + " UTC)");
    return true;
}

// Every member against the folder (or, for one the build added, the file it came from); their
// paths go into `expected`. False when a member cannot be decoded.
bool CheckMembers(const Payload &p, const fs::path &root, const VerifyOptions &options,
                  std::set<std::string> *expected, Differences *differences) {
    for (const Member &m : p.members) {
        if (m.relative.empty())
            continue;
        expected->insert(m.relative);
        const auto addedFile = options.added.find(m.relative);
        const bool byBuild = addedFile != options.added.end();
        const fs::path local = byBuild ? addedFile->second : root / fs::u8path(m.relative);
        if (m.item->rectype == payload::kFolderRecord) {
            std::error_code ec;
            if (!fs::is_directory(fs::status(local, ec)))
                differences->Report("missing", m.relative + "/", "");
            continue;
        }
        if (!CheckFileMember(p, m, local, byBuild, differences))
            return false;
    }
    return true;
}

// What the folder holds besides the members; a folder that is no member is named once.
void CheckExtras(const fs::path &root, const std::set<std::string> &expected,
                 Differences *differences) {
    std::error_code ec;
    for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string relative = it->path().lexically_relative(root).generic_u8string();
        if (expected.count(relative) == 0)
            differences->Report("extra", relative, it->is_directory() ? "/" : "");
        if (it->is_directory() && expected.count(relative) == 0)
            it.disable_recursion_pending();
    }
}

} // namespace

int RunVerify(int argc, char **argv) {
    VerifyOptions options;
    if (!ParseVerifyOptions(argc, argv, &options) || argc < 2) {
        std::fputs(kVerifyUsage, stderr);
        return kExitUsage;
    }
    const fs::path root = fs::u8path(argv[1]);
    std::error_code ec;
    if (!fs::is_directory(root, ec)) {
        std::fprintf(stderr, "vnxpack verify: not a folder: %s\n", argv[1]);
        return kExitFailure;
    }
    Payload p;
    std::string error;
    if (!ReadWholeFile(fs::u8path(argv[0]), &p.file, &error)) {
        std::fprintf(stderr, "vnxpack verify: %s\n", error.c_str());
        return kExitFailure;
    }
    Differences differences;
    CheckImage(argv[0], p, options, &differences);
    if (!p.Walk(argv[0], ".", &error)) {
        std::fflush(stdout);
        std::fprintf(stderr, "vnxpack verify: %s\n", error.c_str());
        return kExitFailure;
    }
    CheckStoredChecksum(argv[0], p, &differences);
    std::set<std::string> expected;
    if (!CheckMembers(p, root, options, &expected, &differences))
        return kExitFailure;
    CheckExtras(root, expected, &differences);
    if (differences.Count() > 0) {
        std::printf("%d difference%s\n", differences.Count(), differences.Count() == 1 ? "" : "s");
        return kExitFailure;
    }
    std::printf("all %zu members match\n", p.members.size());
    return kExitOk;
}

namespace {

const char kUnpackUsage[] =
    "usage: vnxpack unpack FILE DIR [--rescue]\n"
    "  --rescue: unpack a payload that does not match its stored SHA-256 all the same\n";

// Opens the folder of a folder record, one level at a time from the root without following a
// link; the last level is made when missing (its parent came earlier in the archive).
bool OpenMemberFolder(const payload::OutputFolder &root, const std::string &relative,
                      payload::OutputFolder *folder, std::string *error) {
    payload::OutputFolder current;
    const payload::OutputFolder *parent = &root;
    size_t start = 0;
    for (;;) {
        const size_t slash = relative.find('/', start);
        const bool last = slash == std::string::npos;
        const std::string name = relative.substr(start, last ? std::string::npos : slash - start);
        payload::OutputFolder next;
        if (!next.OpenChild(*parent, name, last, error))
            return false;
        current = std::move(next);
        parent = &current;
        if (last)
            break;
        start = slash + 1;
    }
    *folder = std::move(current);
    return true;
}

// Writes one file member into its folder, with its time.
bool UnpackFile(const Payload &p, const Member &m, const payload::OutputFolder &folder,
                std::string *error) {
    payload::OutputFile out;
    if (!out.Create(folder, m.relative.substr(m.relative.find_last_of('/') + 1), error))
        return false;
    std::string why;
    if (!WriteMember(p, m.item, &out, &why)) {
        *error = out.Target().u8string() + ": " + why;
        return false;
    }
    if (!out.SetTime(m.item->fileTime)) {
        *error = out.Target().u8string() + ": cannot set its time";
        return false;
    }
    return out.Commit(error);
}

// Says what the payload's checksum gave before anything is written; false when a damaged
// payload is refused (without --rescue).
bool SettleChecksum(const char *file, payload::ChecksumResult checksum, bool rescue) {
    const bool damaged = checksum == payload::ChecksumResult::Mismatch;
    if (damaged && !rescue) {
        std::fprintf(stderr,
                     "vnxpack unpack: %s: the payload does NOT match its stored SHA-256: it is "
                     "damaged; nothing was written (--rescue unpacks it all the same)\n",
                     file);
        return false;
    }
    if (damaged)
        std::fprintf(stderr,
                     "vnxpack unpack: %s: the payload does NOT match its stored SHA-256: "
                     "unpacking it all the same (--rescue); its files may be wrong\n",
                     file);
    else if (checksum == payload::ChecksumResult::NotStored)
        std::fprintf(stderr,
                     "vnxpack unpack: note: %s carries no SHA-256: its contents cannot be "
                     "checked\n",
                     file);
    else if (checksum == payload::ChecksumResult::Unavailable)
        std::fprintf(stderr,
                     "vnxpack unpack: note: the SHA-256 of %s cannot be computed here: its "
                     "contents are not checked\n",
                     file);
    return true;
}

// Every folder is opened without following links, every file is made under a fresh name and
// renamed over its own: a link planted in the target tree redirects nothing.
bool UnpackMembers(const Payload &p, const char *dir, std::string *error) {
    payload::OutputFolder root, folder;
    const payload::OutputFolder *current = &root;
    for (const Member &m : p.members) {
        if (m.item->rectype == payload::kFolderRecord) {
            const bool ok = m.relative.empty() ? root.Open(fs::u8path(dir), true, error)
                                               : OpenMemberFolder(root, m.relative, &folder, error);
            if (!ok)
                return false;
            current = m.relative.empty() ? &root : &folder;
            continue;
        }
        if (!UnpackFile(p, m, *current, error))
            return false;
    }
    return true;
}

} // namespace

int RunUnpack(int argc, char **argv) {
    std::vector<const char *> paths;
    bool rescue = false;
    bool unknown = false;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--rescue") == 0)
            rescue = true;
        else if (argv[i][0] == '-')
            unknown = true;
        else
            paths.push_back(argv[i]);
    }
    if (unknown || paths.size() != 2) {
        std::fputs(kUnpackUsage, stderr);
        return kExitUsage;
    }
    const char *file = paths[0];
    const char *dir = paths[1];
    Payload p;
    std::string error;
    if (!p.Load(file, dir, &error)) {
        std::fprintf(stderr, "vnxpack unpack: %s\n", error.c_str());
        return kExitFailure;
    }
    if (!SettleChecksum(file, p.checksum, rescue))
        return kExitFailure;
    if (!UnpackMembers(p, dir, &error)) {
        std::fprintf(stderr, "vnxpack unpack: %s\n", error.c_str());
        return kExitFailure;
    }
    const bool damaged = p.checksum == payload::ChecksumResult::Mismatch;
    std::printf("unpacked %zu members into %s%s\n", p.members.size(), dir,
                damaged ? " from a DAMAGED payload" : "");
    return damaged ? kExitFailure : kExitOk;
}

} // namespace vnxpack
