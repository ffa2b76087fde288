// vnxpack installer: a product's Setup.exe made from the project's stubs. Returns the exit code
// of tools/commands.h.
#pragma once

namespace vnxpack {

int RunInstaller(int argc, char **argv);

} // namespace vnxpack
