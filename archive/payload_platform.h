// What reading and installing a payload needs from its surroundings, as one interface: the log,
// progress and warnings, the cluster size and local time that the walk asks for, the file calls
// that extraction makes, and whether this is a rehearsal.
//
// The walk (PayloadArchive) and the extraction (ExtractRecord) make no system call of their own:
// the installer hands them a Win32 platform (archive/payload_win32.h) that its run completes with
// the log and the dialog, vnxpack one that only collects the log, and the tests fakes. Every
// member has a default, so a platform overrides only what it provides: by default nothing is
// logged, shown or reported, the cluster size is unknown, times stay UTC, and no file can be
// written.
#pragma once
#include <cstdint>

#include "archive/payload_format.h"

namespace payload {

class Platform {
public:
    // While `testMode` holds nothing is written: no folder is made and no file decoded or
    // written, while everything else (walking, paths, progress, results) runs as usual.
    explicit Platform(bool testMode = false) : testMode_(testMode) {}
    virtual ~Platform() = default;
    Platform(const Platform &) = delete;
    Platform &operator=(const Platform &) = delete;

    bool TestMode() const { return testMode_; }

    // One log line, without a line terminator (the installer: its install log).
    virtual void WriteLine(const char * /*line*/) {}
    // Progress of the walk in percent, without a status text (the installer: its progress bar).
    virtual void SetProgress(unsigned /*percent*/) {}
    // A warning for the user about a record that could not be written (the installer shows it
    // and logs it as a note).
    virtual void Warn(const char * /*text*/) {}

    // Cluster size in bytes of the volume that holds `targetFolder`; 0 when unknown (the walk
    // then uses kDefaultClusterSize).
    virtual uint32_t ClusterSize(const char * /*targetFolder*/) { return 0; }
    // A UTC file time as local time; false when it cannot say (the walk then shows UTC).
    virtual bool ToLocalTime(FileTime /*utc*/, CalendarTime * /*local*/) { return false; }

    // Makes one folder level; true when it was made or is there already as a folder (a file of
    // that name in the way is a failure).
    virtual bool MakeFolder(const char * /*path*/) { return false; }
    // When a file exists at `path` with the read-only attribute, clears that attribute (other
    // attributes kept) and returns true; otherwise false.
    virtual bool ClearReadOnly(const char * /*path*/) { return false; }
    // Decodes the stream of `length` bytes at `stream` into `path`: a DecompressResult (0 done,
    // 2 output cannot be opened, other values a bad stream or a write error).
    virtual int Decompress(const uint8_t * /*stream*/, uint32_t /*length*/, const char * /*path*/) {
        return 2;
    }
    // Opens `path` for reading and writing, sharing read only: made anew (replacing a file there)
    // when `create` holds, else an existing file. Null on failure, with the system's error code
    // in `*errorCode`.
    virtual void *OpenFile(const char * /*path*/, bool /*create*/, unsigned long *errorCode) {
        *errorCode = kNotSupported;
        return nullptr;
    }
    // Writes `length` bytes in one call; returns the number of bytes written.
    virtual uint32_t WriteFile(void * /*file*/, const uint8_t * /*data*/, uint32_t /*length*/) {
        return 0;
    }
    // Sets creation, last access and last write time (UTC, unchanged).
    virtual void SetFileTimes(void * /*file*/, FileTime /*time*/) {}
    virtual void CloseFile(void * /*file*/) {}

private:
    static constexpr unsigned long kNotSupported = 50; // ERROR_NOT_SUPPORTED
    const bool testMode_;
};

} // namespace payload
