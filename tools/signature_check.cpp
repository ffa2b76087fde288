#include "tools/signature_check.h"

#include <cstring>
#include <vector>

#ifndef _WIN32
#include <cerrno>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char **environ;
#endif

namespace vnxpack {

namespace {

#ifndef _WIN32

// The value after "label :" on the line that starts with `label`, trimmed; empty when absent.
std::string Field(const std::string &output, const char *label) {
    const size_t at = output.find(label);
    if (at == std::string::npos)
        return {};
    const size_t colon = output.find(':', at);
    const size_t end = output.find('\n', at);
    if (colon == std::string::npos || colon > end)
        return {};
    std::string value = output.substr(colon + 1, end == std::string::npos ? end : end - colon - 1);
    const size_t first = value.find_first_not_of(" \t");
    const size_t last = value.find_last_not_of(" \t\r");
    return first == std::string::npos ? std::string() : value.substr(first, last - first + 1);
}

std::string LastLine(const std::string &output) {
    size_t end = output.find_last_not_of("\r\n");
    if (end == std::string::npos)
        return "no output";
    const size_t start = output.rfind('\n', end);
    return output.substr(start == std::string::npos ? 0 : start + 1,
                         end - (start == std::string::npos ? 0 : start + 1) + 1);
}

// Runs the program with the arguments (no shell between), collecting stdout and stderr.
bool Run(const std::vector<std::string> &arguments, std::string *output, int *exitCode,
         std::string *error) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        *error = std::strerror(errno);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
    posix_spawn_file_actions_addclose(&actions, pipeFds[1]);
    std::vector<char *> argv;
    for (const std::string &argument : arguments)
        argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t child = 0;
    const int spawned = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (spawned != 0) {
        close(pipeFds[0]);
        *error = spawned == ENOENT ? arguments[0] + " is not installed" : std::strerror(spawned);
        return false;
    }
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(pipeFds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        output->append(buffer, size_t(n));
    }
    close(pipeFds[0]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    // posix_spawnp may report a missing program only through the child's exit code 127.
    if (*exitCode == 127 && output->empty()) {
        *error = arguments[0] + " is not installed";
        return false;
    }
    return true;
}

#endif

} // namespace

bool CanRunOsslsigncode() {
#ifdef _WIN32
    return false;
#else
    return true;
#endif
}

bool RunProgram(const std::vector<std::string> &arguments, std::string *output, int *exitCode,
                std::string *error) {
#ifdef _WIN32
    (void)output;
    (void)exitCode;
    *error = "this build of vnxpack does not run " + arguments.at(0);
    return false;
#else
    return Run(arguments, output, exitCode, error);
#endif
}

SignatureCheck CheckSignature(const std::string &path, const std::string &caFile) {
    SignatureCheck check;
#ifdef _WIN32
    (void)path;
    (void)caFile;
    check.line = "cannot check the signature: this build of vnxpack does not run osslsigncode";
#else
    std::vector<std::string> arguments = {"osslsigncode", "verify"};
    if (!caFile.empty())
        arguments.insert(arguments.end(), {"-CAfile", caFile});
    arguments.insert(arguments.end(), {"-in", path});
    std::string output, error;
    int exitCode = -1;
    if (!Run(arguments, &output, &exitCode, &error)) {
        check.line = "cannot check the signature: " + error;
        return check;
    }
    const std::string stored = Field(output, "Current message digest");
    const std::string computed = Field(output, "Calculated message digest");
    if (stored.empty() || computed.empty()) {
        check.line = "the signature cannot be read (osslsigncode: " + LastLine(output) + ")";
        return check;
    }
    if (computed.find("MISMATCH") != std::string::npos || stored != computed) {
        check.line = "the signature does not cover the image: it signs the digest " + stored +
                     ", the image's is " + computed.substr(0, computed.find_first_of(" \t"));
        return check;
    }
    // A matching digest is not enough: osslsigncode's own verdict must hold too (the signer's
    // certificate, its chain, the signed attributes).
    check.covers = exitCode == 0 && output.find("Signature verification: ok") != std::string::npos;
    if (check.covers)
        check.line = "the signature covers the image and its certificate chain holds";
    else if (caFile.empty())
        check.line = "the signature covers the image, but its certificate chain does not hold "
                     "against the system's certificates (give --ca FILE for the signer's own)";
    else
        check.line = "the signature covers the image, but its certificate chain does not hold "
                     "against " +
                     caFile;
#endif
    return check;
}

} // namespace vnxpack
