#include "builder/output_file.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "builder/file_times.h"

namespace fs = std::filesystem;

namespace payload {

namespace {

// How many fresh names are tried before giving up: a clash means someone else made that name.
constexpr int kNameTries = 100;

// A short name nobody can foresee: the member's own name may already be near the name limit.
std::string FreshName() {
    static std::random_device device;
    static std::mt19937_64 random(uint64_t(device()) << 32 ^ device());
    char name[32];
    std::snprintf(name, sizeof name, ".vnxpack-%012llx",
                  static_cast<unsigned long long>(random() & 0xFFFFFFFFFFFFull));
    return name;
}

bool IsOneComponent(const std::string &name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of("/\\") == std::string::npos;
}

std::string Describe(const fs::path &path, const char *what) {
    return path.u8string() + ": " + what;
}

#ifndef _WIN32
std::string Describe(const fs::path &path, const char *what, int error) {
    return path.u8string() + ": " + what + ": " + std::strerror(error);
}
#endif

} // namespace

OutputFolder::OutputFolder(OutputFolder &&other) noexcept {
    *this = std::move(other);
}

OutputFolder &OutputFolder::operator=(OutputFolder &&other) noexcept {
    if (this != &other) {
        Close();
        path_ = std::move(other.path_);
#ifndef _WIN32
        fd_ = other.fd_;
        other.fd_ = -1;
#endif
    }
    return *this;
}

OutputFolder::~OutputFolder() {
    Close();
}

OutputFile::~OutputFile() {
    Discard();
}

bool OutputFile::Create(const fs::path &target, std::string *error) {
    fs::path folder = target.parent_path();
    if (folder.empty())
        folder = ".";
    if (!ownFolder_.Open(folder, false, error))
        return false;
    return Create(ownFolder_, target.filename().u8string(), error);
}

bool OutputFile::Create(const OutputFolder &folder, const std::string &name, std::string *error) {
    Discard();
    folder_ = &folder;
    name_ = name;
    target_ = folder.Path() / fs::u8path(name);
    if (!IsOneComponent(name)) {
        *error = Describe(target_, "not a file name");
        return false;
    }
    return Start(error);
}

bool WriteFileSafely(const fs::path &target, const void *bytes, size_t size, std::string *error) {
    OutputFile file;
    if (!file.Create(target, error))
        return false;
    if (!file.Write(bytes, size)) {
        *error = Describe(target, "cannot write");
        return false;
    }
    return file.Commit(error);
}

#ifdef _WIN32

// Windows has no handle-relative calls here: the folders are checked by name before use, and
// every file is created with CREATE_NEW, which opens nothing that is already there.

void OutputFolder::Close() {}

bool OutputFolder::Open(const fs::path &path, bool create, std::string *error) {
    path_ = path;
    if (create)
        CreateDirectoryW(path.c_str(), nullptr);
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        *error = Describe(path, "cannot open the folder");
        return false;
    }
    return true;
}

bool OutputFolder::OpenChild(const OutputFolder &parent, const std::string &name, bool create,
                             std::string *error) {
    path_ = parent.path_ / fs::u8path(name);
    if (!IsOneComponent(name)) {
        *error = Describe(path_, "not a folder name");
        return false;
    }
    DWORD attributes = GetFileAttributesW(path_.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES && create) {
        if (!CreateDirectoryW(path_.c_str(), nullptr)) {
            *error = Describe(path_, "cannot create the folder");
            return false;
        }
        attributes = GetFileAttributesW(path_.c_str());
    }
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        *error = Describe(path_, "is a link, not a folder");
        return false;
    }
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        *error = Describe(path_, "exists and is not a folder");
        return false;
    }
    return true;
}

bool OutputFile::Start(std::string *error) {
    for (int attempt = 0; attempt < kNameTries; ++attempt) {
        tempName_ = FreshName();
        const fs::path temp = folder_->Path() / tempName_;
        HANDLE file = CreateFileW(temp.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            handle_ = file;
            open_ = true;
            return true;
        }
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
    *error = Describe(target_, "cannot create a file beside it");
    return false;
}

void OutputFile::CloseHandle() {
    if (handle_ != nullptr)
        ::CloseHandle(static_cast<HANDLE>(handle_));
    handle_ = nullptr;
}

bool OutputFile::Write(const void *data, size_t size) {
    const char *bytes = static_cast<const char *>(data);
    while (size > 0) {
        const DWORD chunk = size > (1u << 30) ? (1u << 30) : DWORD(size);
        DWORD written = 0;
        if (!open_ || !WriteFile(static_cast<HANDLE>(handle_), bytes, chunk, &written, nullptr) ||
            written == 0)
            return false;
        bytes += written;
        size -= written;
    }
    return true;
}

bool OutputFile::ReadBack(std::vector<uint8_t> *bytes) {
    bytes->clear();
    LARGE_INTEGER start = {};
    if (!open_ || !SetFilePointerEx(static_cast<HANDLE>(handle_), start, nullptr, FILE_BEGIN))
        return false;
    uint8_t buffer[1 << 16];
    DWORD read = 0;
    while (ReadFile(static_cast<HANDLE>(handle_), buffer, sizeof buffer, &read, nullptr) &&
           read > 0)
        bytes->insert(bytes->end(), buffer, buffer + read);
    LARGE_INTEGER end = {};
    return SetFilePointerEx(static_cast<HANDLE>(handle_), end, nullptr, FILE_END) != 0;
}

bool OutputFile::SetTime(FileTime time) {
    FILETIME t{time.dwLowDateTime, time.dwHighDateTime};
    return open_ && SetFileTime(static_cast<HANDLE>(handle_), nullptr, &t, &t) != 0;
}

bool OutputFile::Commit(std::string *error) {
    if (!open_) {
        *error = Describe(target_, "nothing to write");
        return false;
    }
    const fs::path temp = folder_->Path() / tempName_;
    CloseHandle();
    const DWORD attributes = GetFileAttributesW(target_.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
        !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        *error = Describe(target_, "is a folder");
        Discard();
        return false;
    }
    if (!MoveFileExW(temp.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        *error = Describe(target_, "cannot rename the written file to it");
        Discard();
        return false;
    }
    open_ = false;
    return true;
}

void OutputFile::Discard() {
    if (!open_)
        return;
    CloseHandle();
    DeleteFileW((folder_->Path() / tempName_).c_str());
    open_ = false;
}

#else

void OutputFolder::Close() {
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
}

bool OutputFolder::Open(const fs::path &path, bool create, std::string *error) {
    Close();
    path_ = path;
    if (create && mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) {
        *error = Describe(path, "cannot create the folder", errno);
        return false;
    }
    fd_ = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0) {
        *error = Describe(path, "cannot open the folder", errno);
        return false;
    }
    return true;
}

bool OutputFolder::OpenChild(const OutputFolder &parent, const std::string &name, bool create,
                             std::string *error) {
    Close();
    path_ = parent.path_ / fs::u8path(name);
    if (!IsOneComponent(name)) {
        *error = Describe(path_, "not a folder name");
        return false;
    }
    if (create && mkdirat(parent.fd_, name.c_str(), 0777) != 0 && errno != EEXIST) {
        *error = Describe(path_, "cannot create the folder", errno);
        return false;
    }
    // O_NOFOLLOW: a link at the name is refused, not followed to wherever it leads.
    fd_ = openat(parent.fd_, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd_ < 0) {
        const int why = errno;
        struct stat st;
        const bool isLink =
            fstatat(parent.fd_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
        *error = isLink || why == ELOOP ? Describe(path_, "is a link, not a folder")
                 : why == ENOTDIR       ? Describe(path_, "exists and is not a folder")
                                        : Describe(path_, "cannot open the folder", why);
        return false;
    }
    return true;
}

bool OutputFile::Start(std::string *error) {
    // O_EXCL with O_CREAT fails on any name that exists, a link to anywhere included.
    for (int attempt = 0; attempt < kNameTries; ++attempt) {
        tempName_ = FreshName();
        fd_ = openat(folder_->fd_, tempName_.c_str(),
                     O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd_ >= 0) {
            open_ = true;
            return true;
        }
        if (errno != EEXIST)
            break;
    }
    *error = Describe(target_, "cannot create a file beside it", errno);
    return false;
}

void OutputFile::CloseHandle() {
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
}

bool OutputFile::Write(const void *data, size_t size) {
    const char *bytes = static_cast<const char *>(data);
    while (size > 0) {
        const ssize_t written = open_ ? write(fd_, bytes, size) : -1;
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes += written;
        size -= size_t(written);
    }
    return true;
}

bool OutputFile::ReadBack(std::vector<uint8_t> *bytes) {
    bytes->clear();
    if (!open_)
        return false;
    uint8_t buffer[1 << 16];
    for (off_t at = 0;;) {
        const ssize_t read = pread(fd_, buffer, sizeof buffer, at);
        if (read < 0 && errno == EINTR)
            continue;
        if (read < 0)
            return false;
        if (read == 0)
            return true;
        bytes->insert(bytes->end(), buffer, buffer + read);
        at += read;
    }
}

bool OutputFile::SetTime(FileTime time) {
    struct timespec times[2];
    ToTimespecs(time, times);
    return open_ && futimens(fd_, times) == 0;
}

bool OutputFile::Commit(std::string *error) {
    if (!open_) {
        *error = Describe(target_, "nothing to write");
        return false;
    }
    if (close(fd_) != 0) {
        fd_ = -1;
        *error = Describe(target_, "cannot write", errno);
        Discard();
        return false;
    }
    fd_ = -1;
    // rename replaces the name itself: a link there goes, its target stays untouched.
    if (renameat(folder_->fd_, tempName_.c_str(), folder_->fd_, name_.c_str()) != 0) {
        const int why = errno;
        *error = why == EISDIR ? Describe(target_, "is a folder")
                               : Describe(target_, "cannot rename the written file to it", why);
        Discard();
        return false;
    }
    open_ = false;
    return true;
}

void OutputFile::Discard() {
    if (!open_)
        return;
    CloseHandle();
    unlinkat(folder_->fd_, tempName_.c_str(), 0);
    open_ = false;
}

#endif

bool ReadWholeFile(const fs::path &path, std::vector<uint8_t> *bytes, std::string *error) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    const std::streamoff size = in ? std::streamoff(in.tellg()) : -1;
    if (size > std::streamoff(INT32_MAX)) {
        *error = path.u8string() + " is 2 GiB or more: too large to read";
        return false;
    }
    bytes->resize(size > 0 ? size_t(size) : 0);
    in.seekg(0);
    if (size < 0 || (size > 0 && !in.read(reinterpret_cast<char *>(bytes->data()), size))) {
        *error = "cannot read " + path.u8string();
        return false;
    }
    return true;
}

} // namespace payload
