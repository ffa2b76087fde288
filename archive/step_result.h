// What one step of an installation gives, from the record that extraction writes up to the
// wizard that shows the outcome: a code, and when the step failed, why.
//
// The code is the one convention of the copy phase: positive, go on; 0, the last record is done;
// negative, the copy failed, and the value is the install result (-2 nothing could be written,
// -1 a file could not be installed). The reason says what failed, with the offending path or
// detail, so that a caller decides and reports without reading log text.
#pragma once
#include <cstdint>
#include <cstdio>

#include "archive/payload_format.h"

namespace payload {

enum StepCode : int {
    // Nothing to extract, a folder that could not be made, a file that could not be opened, a
    // path that does not fit; before the copy: no payload, or a damaged one.
    kStepNotWritten = -2,
    // A file that could not be installed (a bad stream, an output the decoder could not open,
    // a stored file written short); before the copy: too little space, a refused folder.
    kStepFailed = -1,
    kStepDone = 0, // the record is done and it was the last one
    kStepMore = 1, // the record is done and more follow
};

enum class StepFailure : uint8_t {
    kNone,
    kNoPayload,         // the installer carries no payload, or it could not be loaded
    kDamagedPayload,    // the walk stopped at a damaged record (detail: why)
    kNoRecord,          // nothing left to extract
    kPathTooLong,       // the target path does not fit the path buffer
    kFolderNotMade,     // detail: the folder
    kCannotOpen,        // detail: the file; systemError: why
    kDecoderCannotOpen, // detail: the file
    kBadStream,         // detail: the file
    kShortWrite,        // detail: the file
    kNotEnoughSpace,    // detail: the bytes required
    kFolderRefused,     // the installation folder may not be installed into (detail: the folder)
};

struct StepResult {
    int code = kStepMore;
    StepFailure failure = StepFailure::kNone;
    unsigned long systemError = 0;
    char detail[kPathBufferSize] = {};

    bool Failed() const { return code < 0; }

    static StepResult Success(int code) {
        StepResult result;
        result.code = code;
        return result;
    }
    static StepResult Failure(int code, StepFailure failure, const char *detail,
                              unsigned long systemError = 0) {
        StepResult result;
        result.code = code;
        result.failure = failure;
        result.systemError = systemError;
        std::snprintf(result.detail, sizeof result.detail, "%s", detail ? detail : "");
        return result;
    }
};

} // namespace payload
