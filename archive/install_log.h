// The install log: "install.log" in the installation folder known at start-up.
//
// Every line is written by its own open-append-close, so the file is complete on disk at every
// moment and other programs can read it while the installer runs. Each operation returns 1 when
// the whole line reached the file and 0 otherwise; nothing else reports a failure.
#pragma once
#include <cstdio>

class InstallLog {
public:
    static constexpr int kPathSize = 280;
    static constexpr int kVersionSize = 52;

    // Builds the path "folder\fileName" and writes the header block if the file can be opened
    // now; its last line is "<action> Addin version <version>". A null title writes no header
    // (another process of the same run started the file). A folder and name that do not fit the
    // path field leave the log without a file (every write fails quietly); a version text that
    // does not fit is cut.
    //
    // `opener`, when given, opens the file instead of fopen(path, "a"): it gets the path buffer
    // (kPathSize bytes), may open a fresh file beside the one named and write that one's path
    // into the buffer (the log goes on there), and returns null to leave the line unwritten.
    using Opener = std::FILE *(*)(char *path);
    InstallLog(const char *folder, const char *fileName, const char *title, const char *version,
               const char *action = "Installing", Opener opener = nullptr);
    ~InstallLog();
    InstallLog(const InstallLog &) = delete;
    InstallLog &operator=(const InstallLog &) = delete;

    int Open();
    int WriteLine(const char *text);
    int WriteKeyValue(const char *key, const char *value);
    int WriteNote(const char *text);
    int WritePreviousInstall(const char *folder, const char *version, const char *build);
    int Close();

    const char *Path() const { return path; }

private:
    void WriteHeader();

    std::FILE *file;
    Opener opener;
    int headerWritten;
    const char *title;
    const char *action;
    char path[kPathSize];
    const char *separator;
    char version[kVersionSize];
};
