// Writing the archive's current record to disk, with the system calls passed in: the installer
// passes the Win32 ones (archive/payload_win32.h), the tests pass fakes. PayloadArchive::
// ExtractCurrent is ExtractRecord with the platform of the archive's hooks.
#pragma once
#include <cstdint>

#include "archive/payload_archive.h"

struct ExtractPlatform {
    void *context;
    // Read at every call; while it points at a non-zero value nothing is written. May be null.
    const int *testMode;
    // Creates one folder level (_mkdir). Returns 0 when created or already there as a folder
    // (EEXIST), else non-zero (a file of that name in the way fails too).
    int (*makeFolder)(void *context, const char *path);
    // When a file exists at `path` with the read-only attribute, clears that attribute (adding
    // FILE_ATTRIBUTE_NORMAL, other attributes kept) and returns 1; otherwise returns 0.
    int (*clearReadOnly)(void *context, const char *path);
    // Decodes the stream of `length` bytes at `stream` into `path`; returns a DecompressResult
    // (0 done, 2 output cannot be opened, other values: bad stream or write error).
    int (*decompress)(void *context, const uint8_t *stream, uint32_t length, const char *path);
    // Opens `path` for reading and writing, sharing read only: CREATE_ALWAYS when `create` is 1,
    // else OPEN_EXISTING. Returns a handle, or null with the system error code in `*errorCode`.
    void *(*openFile)(void *context, const char *path, int create, unsigned long *errorCode);
    // Writes `length` bytes in one call; returns the number of bytes written.
    uint32_t (*writeFile)(void *context, void *file, const uint8_t *data, uint32_t length);
    // Sets creation, last access and last write time (UTC, unchanged).
    void (*setFileTimes)(void *context, void *file, payload::FileTime time);
    void (*closeFile)(void *context, void *file);
    // Shows a warning to the user (the installer's Warn, which logs it as a note first).
    void (*warn)(void *context, const char *text);
};

// What writing one record gives; the installation run passes it on as its step's value.
enum ExtractResult : int {
    // Nothing to extract, the folder could not be created, the output file could not be opened,
    // or the target path does not fit the 511-character buffer.
    kExtractNotWritten = -2,
    // The file could not be installed: decoding failed, the decoder could not open the output,
    // or a stored file was written short.
    kExtractFileFailed = -1,
    kExtractLast = 0, // record done, it was the last one
    kExtractMore = 1, // record done, more follow
};

// Writes the archive's current record.
ExtractResult ExtractRecord(PayloadArchive *archive, const ExtractPlatform *platform);
