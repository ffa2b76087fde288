// Whether an executable's Authenticode signature covers the image, asked of osslsigncode (the
// tool the build signs with), which computes the image's digest and compares it with the one
// the signature carries.
#pragma once
#include <string>
#include <vector>

namespace vnxpack {

struct SignatureCheck {
    bool covers = false; // the signed digest is the image's, and osslsigncode's verdict is ok
    std::string line;    // what was found, one line
};

// Runs "osslsigncode verify" on `path`; the certificate chain is verified against `caFile`'s
// certificates, or the system's when it is empty.
SignatureCheck CheckSignature(const std::string &path, const std::string &caFile);

// Whether this build runs osslsigncode at all (the Windows build does not).
bool CanRunOsslsigncode();

// Runs a program with the arguments (no shell between), its stdout and stderr into `*output`.
// False, with the reason in `*error`, when it cannot be started.
bool RunProgram(const std::vector<std::string> &arguments, std::string *output, int *exitCode,
                std::string *error);

} // namespace vnxpack
