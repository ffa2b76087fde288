// Whether an executable's Authenticode signature covers the image, asked of osslsigncode (the
// tool the build signs with), which computes the image's digest and compares it with the one
// the signature carries.
#pragma once
#include <string>

namespace vnxpack {

struct SignatureCheck {
    bool covers = false; // the signed digest is the image's, and (with a CA file) the chain holds
    std::string line;    // what was found, one line
};

// Runs "osslsigncode verify" on `path`; with `caFile` (may be empty) it also verifies the
// certificate chain against that file's certificates.
SignatureCheck CheckSignature(const std::string &path, const std::string &caFile);

} // namespace vnxpack
