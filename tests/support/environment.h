// What the test runner (scripts/wine-test, ctest) hands a Windows test: environment variables,
// Linux paths that Wine shows as Z:\..., and a private scratch folder.
#pragma once
#include <string>

// The variable's value; empty when it is not set.
std::string Env(const char *name);
// Wine's view of a Linux path: /a/b -> Z:\a\b.
std::string WindowsPath(const std::string &linuxPath);
// A variable holding a Linux path, as Wine sees it; empty when it is not set.
std::string EnvPath(const char *name);
// The test's private scratch folder (VNX_TEST_WORKDIR) in Windows form; "." without one.
std::string WorkDir();
// `name` inside WorkDir().
std::string WorkPath(const std::string &name);
