// Writing files into folders that others may write into as well, without ever writing through a
// link planted there: every file is created under a fresh name of its own in its folder
// (exclusively, so that nothing already at that name is opened), written, and renamed over its
// final name, which replaces whatever is there (a link included) instead of following it. The
// folders of an unpacked tree are opened one level at a time without following links.
#pragma once
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/payload_format.h"

namespace payload {

// An open folder that files and sub-folders are made in.
class OutputFolder {
public:
    OutputFolder() = default;
    OutputFolder(const OutputFolder &) = delete;
    OutputFolder &operator=(const OutputFolder &) = delete;
    OutputFolder(OutputFolder &&other) noexcept;
    OutputFolder &operator=(OutputFolder &&other) noexcept;
    ~OutputFolder();

    // Opens the folder `path` as given (links in it are the caller's own choice), creating it
    // first when `create` is set and it does not exist; its parent must exist.
    bool Open(const std::filesystem::path &path, bool create, std::string *error);
    // Opens the sub-folder `name` (one component, UTF-8) of `parent`, creating it when `create`
    // is set and it does not exist. A link there, or anything but a folder, is refused.
    bool OpenChild(const OutputFolder &parent, const std::string &name, bool create,
                   std::string *error);
    void Close();

    const std::filesystem::path &Path() const { return path_; }

private:
    friend class OutputFile;
    std::filesystem::path path_; // for messages (and on Windows, for every call)
#ifndef _WIN32
    int fd_ = -1;
#endif
};

// A file on its way to its final name. Removed again unless committed.
class OutputFile {
public:
    OutputFile() = default;
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;
    ~OutputFile();

    // Starts the file `name` (one component, UTF-8) in `folder`, which must stay open until the
    // file is committed.
    bool Create(const OutputFolder &folder, const std::string &name, std::string *error);
    // Starts the file `target`, in its folder (opened as given).
    bool Create(const std::filesystem::path &target, std::string *error);

    bool Write(const void *data, size_t size);
    // The bytes written so far, read back from the file itself.
    bool ReadBack(std::vector<uint8_t> *bytes);
    // Gives the file its access and modification time.
    bool SetTime(FileTime time);
    // Closes the file and renames it over its final name. A folder there is not replaced.
    bool Commit(std::string *error);
    // Removes the unfinished file.
    void Discard();

    const std::filesystem::path &Target() const { return target_; }

private:
    bool Start(std::string *error);
    void CloseHandle();

    const OutputFolder *folder_ = nullptr;
    OutputFolder ownFolder_; // for Create(target)
    std::string name_;       // final name in the folder
    std::string tempName_;   // the fresh name it is written under
    std::filesystem::path target_;
    bool open_ = false;
#ifdef _WIN32
    void *handle_ = nullptr;
#else
    int fd_ = -1;
#endif
};

// Writes `bytes` to `target` as an OutputFile does: whole or not at all, never through a link.
bool WriteFileSafely(const std::filesystem::path &target, const void *bytes, size_t size,
                     std::string *error);

// Reads the whole file at `path` (below 2 GiB) into `*bytes`; false with the reason in `*error`.
bool ReadWholeFile(const std::filesystem::path &path, std::vector<uint8_t> *bytes,
                   std::string *error);

} // namespace payload
