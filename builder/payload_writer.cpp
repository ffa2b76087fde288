#include "builder/payload_writer.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "archive/payload_checksum.h"
#include "archive/payload_format.h"
#include "builder/file_times.h"
#include "builder/output_file.h"
#include "compress/compress.h"
#include "product/cp1252.h"

namespace fs = std::filesystem;

namespace payload {

namespace {

constexpr uint64_t kMaxFileSize = (uint64_t(1) << 31) - 1; // 2 GiB and more is refused
// The largest cluster the totals are checked against: the installer adds sizes rounded up to
// the target volume's clusters, in 32-bit fields.
constexpr uint64_t kLargestCluster = 65536;

struct FileEntry {
    fs::path source;
    std::string name; // code page 1252
    uint64_t size;
    FileTime time;
    bool addedByBuild = false; // one of the options' root files
};

struct FolderEntry {
    fs::path source;
    std::string relative; // code page 1252, backslashes; empty for the root
    std::vector<FileEntry> files;
    std::vector<FolderEntry> folders;
};

// One archive record to write, in archive order.
struct PlannedRecord {
    bool isFile;
    const FolderEntry *folder;
    const FileEntry *file;
    size_t fileIndex;
};

std::string Display(const fs::path &p) {
    return p.u8string();
}

bool IsReservedDeviceName(const std::string &ansi) {
    std::string base = ansi.substr(0, ansi.find('.'));
    while (!base.empty() && base.back() == ' ')
        base.pop_back();
    for (char &c : base)
        c = static_cast<char>(cp1252::Cp1252Upper(static_cast<unsigned char>(c)));
    static const char *kNames[] = {"CON", "PRN", "AUX", "NUL"};
    for (const char *n : kNames)
        if (base == n)
            return true;
    return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
           base[3] >= '1' && base[3] <= '9';
}

struct Scanner {
    fs::path rootCanonical;
    uint32_t installFolderAllowance;
    std::set<fs::path> openFolders; // canonical paths on the way down, against link loops
    uint32_t files = 0;
    uint32_t folders = 0;
    uint64_t bytes = 0;
    uint64_t clusteredBytes = 0;
    std::string error;

    bool Refuse(const fs::path &p, const std::string &why) {
        error = "refused: " + Display(p) + ": " + why;
        return false;
    }

    bool Inside(const fs::path &canonical) const {
        auto r = rootCanonical.begin();
        auto c = canonical.begin();
        for (; r != rootCanonical.end(); ++r, ++c)
            if (c == canonical.end() || *c != *r)
                return false;
        return true;
    }

    bool Scan(FolderEntry *folder) {
        std::error_code ec;
        const fs::path canonical = fs::canonical(folder->source, ec);
        if (ec)
            return Refuse(folder->source, "cannot be resolved: " + ec.message());
        if (!openFolders.insert(canonical).second)
            return Refuse(folder->source, "a link leads back into one of its own parent folders");
        ++folders;

        fs::directory_iterator it(folder->source, ec), end;
        if (ec)
            return Refuse(folder->source, "cannot be read: " + ec.message());
        std::map<std::string, std::string> seen; // upper-case name -> first spelling
        for (; it != end; it.increment(ec)) {
            if (ec)
                return Refuse(folder->source, "cannot be read: " + ec.message());
            if (!AddEntry(folder, it->path(), &seen))
                return false;
        }
        if (ec)
            return Refuse(folder->source, "cannot be read: " + ec.message());

        // Siblings in descending order of their names, case ignored.
        auto descending = [](const auto &a, const auto &b) {
            return cp1252::CompareNoCase1252(a.name, b.name) > 0;
        };
        std::sort(folder->files.begin(), folder->files.end(), descending);
        std::sort(folder->folders.begin(), folder->folders.end(),
                  [](const FolderEntry &a, const FolderEntry &b) {
                      return cp1252::CompareNoCase1252(LastPart(a.relative), LastPart(b.relative)) >
                             0;
                  });
        for (FolderEntry &sub : folder->folders)
            if (!Scan(&sub))
                return false;
        openFolders.erase(canonical);
        return true;
    }

    static std::string LastPart(const std::string &relative) {
        const size_t slash = relative.rfind('\\');
        return slash == std::string::npos ? relative : relative.substr(slash + 1);
    }

    bool AddEntry(FolderEntry *folder, const fs::path &path,
                  std::map<std::string, std::string> *seen) {
        std::string ansi;
        if (const char *why = CheckWindowsName(path.filename().u8string(), &ansi))
            return Refuse(path, why);
        std::string upper = ansi;
        for (char &c : upper)
            c = static_cast<char>(cp1252::Cp1252Upper(static_cast<unsigned char>(c)));
        auto inserted = seen->emplace(upper, path.filename().u8string());
        if (!inserted.second)
            return Refuse(path, "differs from \"" + inserted.first->second +
                                    "\" in the same folder only in letter case");

        std::error_code ec;
        const fs::file_status linkStatus = fs::symlink_status(path, ec);
        if (ec)
            return Refuse(path, "cannot be examined: " + ec.message());
        if (fs::is_symlink(linkStatus)) {
            const fs::path target = fs::canonical(path, ec);
            if (ec)
                return Refuse(path, "link whose target cannot be found");
            if (!Inside(target))
                return Refuse(path, "link leads out of the tree, to " + Display(target));
        }
        const fs::file_status status = fs::status(path, ec);
        if (ec)
            return Refuse(path, "cannot be examined: " + ec.message());

        const std::string relative =
            folder->relative.empty() ? ansi : folder->relative + "\\" + ansi;
        if (fs::is_directory(status)) {
            if (relative.size() > kMaxNameLength)
                return Refuse(path, "folder path inside the product is longer than " +
                                        std::to_string(kMaxNameLength) + " characters");
            FolderEntry sub;
            sub.source = path;
            sub.relative = relative;
            folder->folders.push_back(std::move(sub));
            return true;
        }
        if (!fs::is_regular_file(status))
            return Refuse(path, "neither a regular file nor a folder");

        // installation folder \ folder path \ name, as the installer builds it ("." for the root).
        const size_t full = installFolderAllowance + 1 +
                            (folder->relative.empty() ? 1 : folder->relative.size()) + 1 +
                            ansi.size();
        if (full > kPathBufferSize - 1)
            return Refuse(path, "the full target path would have " + std::to_string(full) +
                                    " characters with an installation folder of " +
                                    std::to_string(installFolderAllowance) +
                                    ", more than the installer's 511-character path buffer");
        FileEntry file;
        file.source = path;
        file.name = ansi;
        file.size = fs::file_size(path, ec);
        if (ec)
            return Refuse(path, "cannot be examined: " + ec.message());
        if (file.size > kMaxFileSize)
            return Refuse(path, "file of 2 GiB or more (" + std::to_string(file.size) + " bytes)");
        if (!GetModificationTime(path, &file.time))
            return Refuse(path, "modification time cannot be read");
        ++files;
        bytes += file.size;
        clusteredBytes += (file.size + kLargestCluster - 1) / kLargestCluster * kLargestCluster;
        folder->files.push_back(std::move(file));
        return true;
    }
};

void Plan(const FolderEntry &folder, std::vector<PlannedRecord> *records,
          std::vector<const FileEntry *> *files) {
    records->push_back({false, &folder, nullptr, 0});
    for (const FileEntry &f : folder.files) {
        records->push_back({true, &folder, &f, files->size()});
        files->push_back(&f);
    }
    for (const FolderEntry &sub : folder.folders)
        Plan(sub, records, files);
}

// The data area of one file, made by a worker thread.
struct Encoded {
    bool ready = false;
    bool failed = false;
    std::string error;
    std::vector<uint8_t> data;
    uint32_t uncompressed = 0; // 0: stored
};

// Compresses files on several threads; results are taken in archive order, so the output is
// the same whatever the number of threads. Workers stay at most `window` files ahead.
class EncoderPool {
public:
    EncoderPool(const std::vector<const FileEntry *> &files, int level, int jobs)
        : files_(files), level_(level), results_(files.size()), window_(size_t(jobs) * 2 + 2) {
        for (int i = 0; i < jobs; ++i)
            threads_.emplace_back([this] { Work(); });
    }
    ~EncoderPool() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        for (std::thread &t : threads_)
            t.join();
    }

    // Waits for file `index` and hands over its data area.
    Encoded Take(size_t index) {
        std::unique_lock<std::mutex> lock(mutex_);
        done_.wait(lock, [&] { return results_[index].ready; });
        Encoded out = std::move(results_[index]);
        results_[index] = Encoded();
        taken_ = index + 1;
        wake_.notify_all();
        return out;
    }

private:
    void Work() {
        for (;;) {
            size_t index;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                wake_.wait(lock, [&] {
                    return stop_ || (next_ < files_.size() && next_ < taken_ + window_);
                });
                if (stop_)
                    return;
                index = next_++;
            }
            Encoded result = Encode(*files_[index]);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                result.ready = true;
                results_[index] = std::move(result);
            }
            done_.notify_all();
        }
    }

    Encoded Encode(const FileEntry &file) const {
        Encoded e;
        std::vector<uint8_t> content(file.size);
        std::ifstream in(file.source, std::ios::binary);
        if (in)
            in.read(reinterpret_cast<char *>(content.data()), std::streamsize(file.size));
        if (!in || in.peek() != std::char_traits<char>::eof()) {
            e.failed = true;
            e.error = "cannot be read (or changed while packing): " + Display(file.source);
            return e;
        }
        std::vector<uint8_t> packed;
        std::string why;
        if (file.size > 0 &&
            !vkp::CompressBuffer(content.data(), content.size(), &packed, level_, &why)) {
            e.failed = true;
            e.error = "cannot be compressed: " + Display(file.source) + ": " + why;
            return e;
        }
        if (file.size > 0 && packed.size() < content.size()) {
            e.data = std::move(packed);
            e.uncompressed = uint32_t(file.size);
        } else {
            e.data = std::move(content);
        }
        return e;
    }

    const std::vector<const FileEntry *> &files_;
    const int level_;
    std::vector<Encoded> results_;
    const size_t window_;
    std::vector<std::thread> threads_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    size_t next_ = 0;
    size_t taken_ = 0;
    bool stop_ = false;
};

bool StderrIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(fileno(stderr)) != 0;
#endif
}

void ShowProgress(size_t done, size_t total) {
    const int width = 40;
    const size_t filled = total == 0 ? width : done * width / total;
    std::fprintf(stderr, "\r[%-*s] %3d%% %zu/%zu files", width, std::string(filled, '#').c_str(),
                 total == 0 ? 100 : int(done * 100 / total), done, total);
    if (done == total)
        std::fputc('\n', stderr);
    std::fflush(stderr);
}

// Collects the archive's bytes and hands them to the output file in large pieces.
class ArchiveOutput {
public:
    explicit ArchiveOutput(OutputFile *file) : file_(file) {}
    void Put(const void *data, size_t size) {
        const uint8_t *bytes = static_cast<const uint8_t *>(data);
        buffer_.insert(buffer_.end(), bytes, bytes + size);
        if (buffer_.size() >= kFlushSize)
            Flush();
    }
    bool Flush() {
        if (ok_ && !buffer_.empty())
            ok_ = file_->Write(buffer_.data(), buffer_.size());
        buffer_.clear();
        return ok_;
    }

private:
    static constexpr size_t kFlushSize = 1 << 20;
    OutputFile *file_;
    std::vector<uint8_t> buffer_;
    bool ok_ = true;
};

bool WriteRecord(ArchiveOutput &out, char rectype, const std::string *name, const uint8_t *data,
                 uint32_t datalen, uint32_t uncompressed, FileTime time, uint64_t *written) {
    const uint32_t nameArea = name != nullptr ? uint32_t(name->size() + 1) : 0;
    const uint64_t disp = uint64_t(kRecordHeaderSize) + nameArea + datalen;
    // Every position and length of the archive is a signed 32-bit field.
    if (*written + disp > uint64_t(INT32_MAX))
        return false;
    RecordHeader h{int32_t(disp),     int32_t(datalen), int32_t(uncompressed),
                   int32_t(nameArea), rectype,          time};
    uint8_t header[kRecordHeaderSize];
    EncodeRecordHeader(h, header);
    out.Put(header, sizeof header);
    if (name != nullptr)
        out.Put(name->c_str(), nameArea);
    if (datalen > 0)
        out.Put(data, datalen);
    *written += disp;
    return true;
}

bool ReadText(const std::string &path, std::string *text) {
    std::ifstream in(fs::u8path(path), std::ios::binary);
    if (!in)
        return false;
    text->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// The SHA-256 of a product file's contents as the list writes it, read whole (the product's files
// are those of an installer, and the list is made once per build).
bool FileDigestText(const FileEntry &file, std::string *text, std::string *error) {
    std::string bytes;
    if (!ReadText(file.source.u8string(), &bytes)) {
        *error = "cannot read " + Display(file.source);
        return false;
    }
    if (bytes.size() != file.size) {
        *error = Display(file.source) + " changed while the product was listed";
        return false;
    }
    uint8_t digest[kChecksumSize];
    if (!Sha256(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size(), digest)) {
        *error = "cannot compute the SHA-256 of " + Display(file.source);
        return false;
    }
    *text = ChecksumText(digest);
    return true;
}

// The list entries of `folder` and what it holds, in archive order; the root itself is not listed.
// Each product file gets the SHA-256 its installed copy must still have to be removed.
bool ListTree(const FolderEntry &folder, InstallList *list, std::string *error) {
    if (!folder.relative.empty())
        list->entries.push_back({true, folder.relative, -1, {}});
    for (const FileEntry &f : folder.files) {
        InstallListEntry entry{false,
                               folder.relative.empty() ? f.name : folder.relative + "\\" + f.name,
                               f.addedByBuild ? -1 : int64_t(f.size),
                               {}};
        if (!f.addedByBuild && !FileDigestText(f, &entry.sha256, error))
            return false;
        list->entries.push_back(std::move(entry));
    }
    for (const FolderEntry &sub : folder.folders)
        if (!ListTree(sub, list, error))
            return false;
    return true;
}

// The newest modification time of the product's own files: the build's root files take it, so
// that the same product gives the same payload whenever the build made them.
FileTime NewestTime(const FolderEntry &folder, FileTime newest) {
    for (const FileEntry &f : folder.files)
        if (!f.addedByBuild && FileTimeToU64(f.time) > FileTimeToU64(newest))
            newest = f.time;
    for (const FolderEntry &sub : folder.folders)
        newest = NewestTime(sub, newest);
    return newest;
}

// Scans the product below `dir` and adds the options' root files. `needSources`: the root files
// must exist (packing), or may not exist yet (listing).
bool ScanProduct(const std::string &dir, const PackOptions &options, bool needSources,
                 Scanner *scan, FolderEntry *root, std::string *error) {
    const fs::path rootPath = fs::u8path(dir);
    std::error_code ec;
    if (!fs::is_directory(rootPath, ec)) {
        *error = "not a folder: " + dir;
        return false;
    }
    scan->rootCanonical = fs::canonical(rootPath, ec);
    scan->installFolderAllowance = options.installFolderAllowance;
    root->source = rootPath;
    if (ec || !scan->Scan(root)) {
        *error = ec ? "cannot resolve " + dir : scan->error;
        return false;
    }
    const FileTime newest = NewestTime(*root, FileTime{0, 0});
    for (const RootFile &added : options.rootFiles) {
        FileEntry file;
        if (const char *why = CheckWindowsName(added.name, &file.name)) {
            *error = "refused: " + added.name + ": " + why;
            return false;
        }
        auto same = [&](const std::string &name) {
            return cp1252::CompareNoCase1252(name, file.name) == 0;
        };
        for (const FileEntry &f : root->files)
            if (same(f.name)) {
                *error = "refused: " + Display(f.source) + ": the product folder brings its own " +
                         added.name + "; the build adds the project's " + added.name +
                         " in its place (remove the product's file)";
                return false;
            }
        for (const FolderEntry &f : root->folders)
            if (same(f.relative)) {
                *error = "refused: " + Display(f.source) + ": a folder where the build adds " +
                         added.name;
                return false;
            }
        file.source = fs::u8path(added.source);
        file.addedByBuild = true;
        file.time = newest;
        file.size = fs::file_size(file.source, ec);
        if (ec) {
            if (needSources) {
                *error = "cannot read " + added.source + ": " + ec.message();
                return false;
            }
            file.size = 0;
        } else if (file.size > kMaxFileSize) {
            *error = "refused: " + added.source + ": file of 2 GiB or more";
            return false;
        }
        ++scan->files;
        scan->bytes += file.size;
        scan->clusteredBytes +=
            (file.size + kLargestCluster - 1) / kLargestCluster * kLargestCluster;
        root->files.push_back(std::move(file));
    }
    std::sort(root->files.begin(), root->files.end(), [](const FileEntry &a, const FileEntry &b) {
        return cp1252::CompareNoCase1252(a.name, b.name) > 0;
    });
    return true;
}

// The first line in which two list texts differ, for the error message.
std::string FirstDifference(const std::string &want, const std::string &have) {
    size_t a = 0, b = 0;
    for (;;) {
        const size_t ea = want.find('\n', a), eb = have.find('\n', b);
        const std::string la = want.substr(a, ea == std::string::npos ? ea : ea - a);
        const std::string lb = have.substr(b, eb == std::string::npos ? eb : eb - b);
        if (la != lb)
            return "\"" + la + "\" in the list, \"" + lb + "\" in the product";
        if (ea == std::string::npos || eb == std::string::npos)
            return "the lengths differ";
        a = ea + 1;
        b = eb + 1;
    }
}

bool WriteArchive(const FolderEntry &root, const Scanner &scan, OutputFile *file,
                  const PackOptions &options, PackStats *stats, std::string *error) {
    std::vector<PlannedRecord> records;
    std::vector<const FileEntry *> files;
    Plan(root, &records, &files);

    ArchiveOutput out(file);
    uint8_t preamble[kPreambleSize];
    EncodePreamble(options.productVersion.c_str(), preamble);
    out.Put(preamble, sizeof preamble);
    uint64_t written = kPreambleSize;
    uint8_t counts[kSummaryDataSize];
    WriteLe32(counts, scan.files);
    WriteLe32(counts + 4, scan.folders);
    WriteRecord(out, kSummaryRecord, nullptr, counts, sizeof counts, 0, FileTime{0, 0}, &written);

    int jobs = options.jobs;
    if (jobs <= 0)
        jobs = int(std::max(1u, std::thread::hardware_concurrency()));
    const bool progress = options.showProgress && StderrIsTerminal();
    EncoderPool pool(files, options.level, jobs);
    const std::string tooBig = "the archive would pass 2 GiB, more than its 32-bit positions hold";
    for (const PlannedRecord &r : records) {
        if (!r.isFile) {
            if (!WriteRecord(out, kFolderRecord, &r.folder->relative, nullptr, 0, 0, FileTime{0, 0},
                             &written)) {
                *error = "refused: " + Display(r.folder->source) + ": " + tooBig;
                return false;
            }
            continue;
        }
        Encoded e = pool.Take(r.fileIndex);
        if (e.failed) {
            *error = e.error;
            return false;
        }
        if (!WriteRecord(out, kFileRecord, &r.file->name, e.data.data(), uint32_t(e.data.size()),
                         e.uncompressed, r.file->time, &written)) {
            *error = "refused: " + Display(r.file->source) + ": " + tooBig;
            return false;
        }
        if (e.uncompressed > 0)
            ++stats->compressed;
        if (progress)
            ShowProgress(r.fileIndex + 1, files.size());
    }
    if (progress && files.empty())
        ShowProgress(0, 0);
    if (!out.Flush()) {
        *error = "cannot write " + Display(file->Target());
        return false;
    }
    stats->files = scan.files;
    stats->folders = scan.folders;
    stats->inputBytes = scan.bytes;
    stats->archiveBytes = written;
    return true;
}

} // namespace

const char *CheckWindowsName(const std::string &utf8, std::string *ansi) {
    if (!cp1252::Utf8ToCp1252(utf8, ansi))
        return "name cannot be represented in the Windows code page 1252";
    if (ansi->empty())
        return "empty name";
    if (ansi->size() > kMaxNameLength)
        return "name longer than 80 characters";
    for (char ch : *ansi) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c < 0x20 || std::strchr("<>:\"/\\|?*", c) != nullptr)
            return "name holds a character Windows does not allow in file names";
    }
    if (ansi->back() == '.' || ansi->back() == ' ')
        return "name ends with a dot or a blank, which Windows drops";
    if (IsReservedDeviceName(*ansi))
        return "name is a reserved Windows device name";
    return nullptr;
}

bool PackDirectory(const std::string &dir, const std::string &outFile, const PackOptions &options,
                   PackStats *stats, std::string *error) {
    PackStats localStats;
    if (stats == nullptr)
        stats = &localStats;
    *stats = PackStats();
    if (options.level < vkp::kMinLevel || options.level > vkp::kMaxLevel) {
        *error = "compression level must be 1 to 9";
        return false;
    }
    if (options.productVersion.size() > kPreambleSize - 1) {
        *error = "product version text longer than 29 characters";
        return false;
    }
    for (char c : options.productVersion)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) {
            *error = "product version text must be printable ASCII";
            return false;
        }

    Scanner scan;
    FolderEntry root;
    if (!ScanProduct(dir, options, true, &scan, &root, error))
        return false;
    if (!options.expectedListFile.empty()) {
        InstallList list;
        if (!ListTree(root, &list, error))
            return false;
        const std::string have = FormatInstallList(list);
        std::string want;
        if (!ReadText(options.expectedListFile, &want)) {
            *error = "cannot read the installation list " + options.expectedListFile;
            return false;
        }
        if (want != have) {
            *error = "the product folder " + dir + " no longer matches the installation list " +
                     options.expectedListFile +
                     " (made for the uninstaller): " + FirstDifference(want, have);
            return false;
        }
    }
    if (scan.clusteredBytes + kLargestCluster + kSlackBytes > UINT32_MAX) {
        *error = "refused: " + dir + ": the files add up to " + std::to_string(scan.bytes) +
                 " bytes, past what the installer's 32-bit size totals hold";
        return false;
    }

    // The payload and its checksum are written under fresh names beside their own and renamed
    // over them once both are complete.
    OutputFile archive, checksum;
    if (!archive.Create(fs::u8path(outFile), error) ||
        !checksum.Create(fs::u8path(outFile + ".sha256"), error))
        return false;
    if (!WriteArchive(root, scan, &archive, options, stats, error))
        return false;
    std::vector<uint8_t> written;
    uint8_t digest[kChecksumSize];
    if (!archive.ReadBack(&written) || !Sha256(written.data(), written.size(), digest)) {
        *error = "cannot compute the SHA-256 of " + outFile;
        return false;
    }
    if (!checksum.Write(digest, kChecksumSize)) {
        *error = "cannot write " + outFile + ".sha256";
        return false;
    }
    return archive.Commit(error) && checksum.Commit(error);
}

bool WriteChecksumFile(const std::string &path, std::string *error) {
    std::string bytes;
    if (!ReadText(path, &bytes)) {
        *error = "cannot read " + path;
        return false;
    }
    uint8_t digest[kChecksumSize];
    if (!Sha256(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size(), digest)) {
        *error = "cannot compute the SHA-256 of " + path;
        return false;
    }
    return WriteFileSafely(fs::u8path(path + ".sha256"), digest, kChecksumSize, error);
}

bool ListDirectory(const std::string &dir, const PackOptions &options, InstallList *list,
                   std::string *error) {
    Scanner scan;
    FolderEntry root;
    if (!ScanProduct(dir, options, false, &scan, &root, error))
        return false;
    list->entries.clear();
    return ListTree(root, list, error);
}

} // namespace payload
