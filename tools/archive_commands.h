// The payload verbs of vnxpack: pack, file-list, list, verify, unpack. Each takes the arguments after the
// verb and returns the exit code of tools/commands.h.
#pragma once

namespace vnxpack {

int RunPack(int argc, char **argv);
int RunFileList(int argc, char **argv);
int RunList(int argc, char **argv);
int RunVerify(int argc, char **argv);
int RunUnpack(int argc, char **argv);

} // namespace vnxpack
