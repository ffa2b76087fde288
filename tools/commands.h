// Verbs of the vnxpack command line. Each takes the arguments after the verb and returns the
// process exit code: 0 success, 1 failure, 2 usage.
#pragma once

namespace vnxpack {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

int RunCompress(int argc, char **argv);
int RunDecompress(int argc, char **argv);

} // namespace vnxpack
