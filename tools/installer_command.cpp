// vnxpack installer: the installer of one product made from the project's stubs, with no
// compiler. The steps are those cmake/VnxProduct.cmake takes: list the folder, give the
// uninstaller that list, sign it when asked, pack the folder with it, give the installer the
// payload, sign it when asked.
#include "tools/installer_command.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <algorithm>
#include <utility>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "archive/payload_checksum.h"
#include "archive/payload_format.h"
#include "builder/output_file.h"
#include "builder/payload_writer.h"
#include "builder/pe_resource.h"
#include "product/names.h"
#include "tools/commands.h"
#include "tools/installer_image.h"
#include "tools/signature_check.h"

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace vnxpack {

namespace {

const char kUsage[] =
    "usage: vnxpack installer PRODUCT_DIR --stub-dir DIR -o Setup.exe --product-version V\n"
    "                         --product-build B [--build-date D] [--level N] [--jobs N]\n"
    "                         [--uninstaller-out FILE] [--uninstaller FILE]\n"
    "                         [--unsigned-out FILE] [--unsigned-uninstaller-out FILE]\n"
    "                         [--sign-pkcs12 FILE --sign-password-file FILE [--timestamp-url U]]\n"
    "  DIR holds the stubs Setup.exe and Uninstall.exe (dist/<arch>/stub/), both of one\n"
    "  architecture; --level 1..9 (default 9), --build-date default: the day of\n"
    "  SOURCE_DATE_EPOCH, else today (month/day/year); --uninstaller-out: the uninstaller the\n"
    "  payload carries; --uninstaller: pack this finished uninstaller (an audit's) instead of\n"
    "  making one; --unsigned-out, --unsigned-uninstaller-out: the programs before signing\n";

struct Options {
    std::string product, stubDir, output, uninstallerOut, uninstallerIn;
    std::string unsignedOut, unsignedUninstallerOut;
    ProductIdentity identity;
    int level = 9;
    int jobs = 0;
    std::string pkcs12, passwordFile, timestampUrl;
    bool Signing() const { return !pkcs12.empty(); }
};

bool ParseNumber(const char *text, int low, int high, int *value) {
    char *end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || v < low || v > high)
        return false;
    *value = int(v);
    return true;
}

// The day of SOURCE_DATE_EPOCH, else today, in UTC, as month/day/year (CMake's default).
std::string DefaultBuildDate() {
    std::time_t now = std::time(nullptr);
    if (const char *epoch = std::getenv("SOURCE_DATE_EPOCH"))
        now = std::time_t(std::strtoll(epoch, nullptr, 10));
    std::tm day{};
#ifdef _WIN32
    gmtime_s(&day, &now);
#else
    gmtime_r(&now, &day);
#endif
    char text[16];
    std::strftime(text, sizeof text, "%m/%d/%Y", &day);
    return text;
}

bool ParseOptions(int argc, char **argv, Options *o) {
    bool dateGiven = false;
    for (int i = 0; i < argc; ++i) {
        const std::string a = argv[i];
        const char *value = i + 1 < argc ? argv[i + 1] : nullptr;
        std::string *text = a == "-o"                           ? &o->output
                            : a == "--stub-dir"                 ? &o->stubDir
                            : a == "--product-version"          ? &o->identity.version
                            : a == "--product-build"            ? &o->identity.build
                            : a == "--build-date"               ? &o->identity.date
                            : a == "--uninstaller-out"          ? &o->uninstallerOut
                            : a == "--uninstaller"              ? &o->uninstallerIn
                            : a == "--unsigned-out"             ? &o->unsignedOut
                            : a == "--unsigned-uninstaller-out" ? &o->unsignedUninstallerOut
                            : a == "--sign-pkcs12"              ? &o->pkcs12
                            : a == "--sign-password-file"       ? &o->passwordFile
                            : a == "--timestamp-url"            ? &o->timestampUrl
                                                                : nullptr;
        if (text != nullptr && value != nullptr) {
            *text = value;
            dateGiven = dateGiven || a == "--build-date";
            ++i;
        } else if (a == "--level" && value != nullptr) {
            if (!ParseNumber(argv[++i], 1, 9, &o->level))
                return false;
        } else if (a == "--jobs" && value != nullptr) {
            if (!ParseNumber(argv[++i], 1, 256, &o->jobs))
                return false;
        } else if (!a.empty() && a[0] != '-' && o->product.empty()) {
            o->product = a;
        } else {
            return false;
        }
    }
    if (!dateGiven)
        o->identity.date = DefaultBuildDate();
    return !o->product.empty() && !o->stubDir.empty() && !o->output.empty() &&
           !o->identity.version.empty() && !o->identity.build.empty();
}

bool IsRegularFile(const std::string &path) {
    std::error_code ec;
    return fs::is_regular_file(fs::u8path(path), ec);
}

// The password is never shown: a value that names no file may be the password given by mistake.
bool CheckSigning(const Options &o, std::string *error) {
    if (!o.Signing()) {
        if (o.passwordFile.empty() && o.timestampUrl.empty())
            return true;
        *error = "--sign-password-file and --timestamp-url go with --sign-pkcs12";
        return false;
    }
    if (!CanRunOsslsigncode()) {
        *error = "signing runs osslsigncode, which this build of vnxpack does not run: sign on "
                 "Linux, or sign the installer afterwards";
        return false;
    }
    if (!IsRegularFile(o.pkcs12)) {
        *error = "--sign-pkcs12: no certificate file " + o.pkcs12;
        return false;
    }
    if (!IsRegularFile(o.passwordFile)) {
        *error = "--sign-password-file must name the file that holds the certificate's password";
        return false;
    }
    return true;
}

bool LoadStub(const Options &o, Program program, Stub *stub, std::string *error) {
    const fs::path path = fs::u8path(o.stubDir) / (std::string(ProgramName(program)) + ".exe");
    std::vector<uint8_t> bytes;
    if (!payload::ReadWholeFile(path, &bytes, error))
        return false;
    if (!OpenStub(program, std::move(bytes), stub, error)) {
        *error = path.u8string() + " is not a stub of " + ProgramName(program) + ".exe: " + *error;
        return false;
    }
    return true;
}

const char *MachineName(uint16_t machine) {
    return machine == 0x14C ? "32-bit (x86)" : "64-bit (x64)";
}

unsigned long ProcessId() {
#ifdef _WIN32
    return static_cast<unsigned long>(_getpid());
#else
    return static_cast<unsigned long>(getpid());
#endif
}

// A folder of its own for the parts on their way (the list, the uninstaller, the payload),
// removed with everything in it when the maker ends.
class WorkFolder {
public:
    bool Make(std::string *error) {
        std::error_code ec;
        const fs::path base = fs::temp_directory_path(ec);
        std::random_device random;
        for (int attempt = 0; !ec && attempt < 16; ++attempt) {
            const fs::path candidate = base / ("vnxpack-installer-" + std::to_string(ProcessId()) +
                                               "-" + std::to_string(random()));
            if (fs::create_directory(candidate, ec) && !ec) {
                path_ = candidate;
                return true;
            }
        }
        *error = "cannot make a temporary folder";
        return false;
    }
    ~WorkFolder() {
        std::error_code ec;
        if (!path_.empty())
            fs::remove_all(path_, ec);
    }
    fs::path operator/(const char *name) const { return path_ / name; }

private:
    fs::path path_;
};

// osslsigncode as a release is signed with: the password read from its file, the
// signing time SOURCE_DATE_EPOCH when set and no time-stamp server is given.
bool Sign(const Options &o, const fs::path &in, const fs::path &out, const char *description,
          std::string *error) {
    std::vector<std::string> arguments = {"osslsigncode", "sign", "-pkcs12", o.pkcs12, "-readpass",
                                          o.passwordFile, "-h",   "sha256",  "-n",     description};
    const char *epoch = std::getenv("SOURCE_DATE_EPOCH");
    if (!o.timestampUrl.empty())
        arguments.insert(arguments.end(), {"-ts", o.timestampUrl});
    else if (epoch != nullptr && *epoch != '\0')
        arguments.insert(arguments.end(), {"-time", epoch});
    arguments.insert(arguments.end(), {"-in", in.u8string(), "-out", out.u8string()});
    std::string output;
    int exitCode = -1;
    if (!RunProgram(arguments, &output, &exitCode, error))
        return false;
    if (exitCode != 0) {
        *error = "signing " + in.filename().u8string() + " failed:\n" + output;
        return false;
    }
    return true;
}

// Writes a finished program into the work folder, signed when asked; its bytes into `*bytes`.
bool Finish(const Options &o, const WorkFolder &work, const char *name,
            const std::vector<uint8_t> &image, const char *description, std::vector<uint8_t> *bytes,
            std::string *error) {
    const fs::path unsigned_ = work / (std::string(name) + ".unsigned").c_str();
    const fs::path finished = work / name;
    if (!o.Signing()) {
        *bytes = image;
        return payload::WriteFileSafely(finished, image.data(), image.size(), error);
    }
    return payload::WriteFileSafely(unsigned_, image.data(), image.size(), error) &&
           Sign(o, unsigned_, finished, description, error) &&
           payload::ReadWholeFile(finished, bytes, error);
}

// The two programs as they ship, and as they were before signing.
struct Made {
    std::vector<uint8_t> uninstaller, installer;
    std::vector<uint8_t> unsignedUninstaller, unsignedInstaller;
    payload::PackStats stats;
};

// An audit packs the release's own signed uninstaller (README: Reproducible builds). It must be
// a whole image of the stubs' architecture and carry the list of this product folder, which the
// payload is checked against.
bool TakeUninstaller(const Options &o, uint16_t machine, const std::vector<uint8_t> &list,
                     const WorkFolder &work, Made *made, std::string *error) {
    if (!payload::ReadWholeFile(fs::u8path(o.uninstallerIn), &made->uninstaller, error))
        return false;
    size_t offset = 0;
    uint32_t length = 0;
    std::string why;
    const std::vector<uint8_t> &u = made->uninstaller;
    payload::PeLayout layout;
    if (!payload::ReadPeLayout(u.data(), u.size(), &layout, &why)) {
        *error = o.uninstallerIn + " is not a whole executable: " + why;
        return false;
    }
    if (layout.machine != machine) {
        *error = o.uninstallerIn + " is " + MachineName(layout.machine) + ", the stubs are " +
                 MachineName(machine);
        return false;
    }
    if (!payload::FindPeResource(u.data(), u.size(), payload::kInstallListResourceType,
                                 payload::kInstallListResourceId, &offset, &length, &why) ||
        length != list.size() || !std::equal(list.begin(), list.end(), u.begin() + long(offset))) {
        *error = o.uninstallerIn + " does not carry the installation list of " + o.product;
        return false;
    }
    made->unsignedUninstaller = made->uninstaller;
    return payload::WriteFileSafely(work / product::kUninstallerName, u.data(), u.size(), error);
}

bool MakeUninstaller(const Options &o, const Stub &stub, const WorkFolder &work, Made *made,
                     std::string *error) {
    payload::PackOptions list;
    list.rootFiles.push_back({product::kUninstallerName, ""});
    payload::InstallList entries;
    if (!payload::ListDirectory(o.product, list, &entries, error))
        return false;
    const std::string text = payload::FormatInstallList(entries);
    std::vector<uint8_t> listBytes(text.begin(), text.end());
    std::vector<uint8_t> digest(payload::kChecksumSize);
    if (!payload::Sha256(listBytes.data(), listBytes.size(), digest.data())) {
        *error = "cannot compute the SHA-256 of the installation list";
        return false;
    }
    if (!payload::WriteFileSafely(work / "install_list.txt", text.data(), text.size(), error))
        return false;
    if (!o.uninstallerIn.empty())
        return TakeUninstaller(o, stub.machine, listBytes, work, made, error);
    std::vector<uint8_t> &image = made->unsignedUninstaller;
    const std::vector<AddedResource> added = {
        {payload::kInstallListResourceType, payload::kInstallListResourceId, listBytes},
        {payload::kInstallListResourceType, payload::kListChecksumResourceId, digest}};
    if (!FinishProgram(stub, o.identity, added, &image, error)) {
        *error = "cannot finish Uninstall.exe: " + *error;
        return false;
    }
    return Finish(o, work, product::kUninstallerName, image, "Varnex Spreadsheet Add-In Uninstall",
                  &made->uninstaller, error);
}

bool MakeInstaller(const Options &o, const Stub &stub, const WorkFolder &work, Made *made,
                   std::string *error) {
    payload::PackOptions pack;
    pack.productVersion = o.identity.version;
    pack.level = o.level;
    pack.jobs = o.jobs;
    pack.rootFiles.push_back(
        {product::kUninstallerName, (work / product::kUninstallerName).u8string()});
    pack.expectedListFile = (work / "install_list.txt").u8string();
    const fs::path payloadFile = work / "payload.bin";
    std::vector<uint8_t> payloadBytes, digest;
    if (!payload::PackDirectory(o.product, payloadFile.u8string(), pack, &made->stats, error) ||
        !payload::ReadWholeFile(payloadFile, &payloadBytes, error) ||
        !payload::ReadWholeFile(work / "payload.bin.sha256", &digest, error))
        return false;
    std::vector<uint8_t> &image = made->unsignedInstaller;
    const std::vector<AddedResource> added = {
        {payload::kResourceType, payload::kResourceId, std::move(payloadBytes)},
        {payload::kResourceType, payload::kChecksumResourceId, std::move(digest)}};
    if (!FinishProgram(stub, o.identity, added, &image, error)) {
        *error = "cannot finish Setup.exe: " + *error;
        return false;
    }
    return Finish(o, work, "Setup.exe", image, "Varnex Spreadsheet Add-In Setup", &made->installer,
                  error);
}

// Everything is checked and made before the first output is written.
bool MakeInstallerFiles(const Options &o, std::string *error) {
    if (!CheckIdentity(o.identity, error) || !CheckSigning(o, error))
        return false;
    Stub setup, uninstall;
    if (!LoadStub(o, Program::Setup, &setup, error) ||
        !LoadStub(o, Program::Uninstall, &uninstall, error))
        return false;
    if (setup.machine != uninstall.machine) {
        *error = "the stubs are of two architectures: Setup.exe " +
                 std::string(MachineName(setup.machine)) + ", Uninstall.exe " +
                 MachineName(uninstall.machine) + "; take both from one dist/<arch>/stub/";
        return false;
    }
    WorkFolder work;
    Made made;
    if (!work.Make(error) || !MakeUninstaller(o, uninstall, work, &made, error) ||
        !MakeInstaller(o, setup, work, &made, error))
        return false;
    // The installer last: when it is there, everything else is.
    const std::pair<const std::string *, const std::vector<uint8_t> *> outputs[] = {
        {&o.unsignedUninstallerOut, &made.unsignedUninstaller},
        {&o.uninstallerOut, &made.uninstaller},
        {&o.unsignedOut, &made.unsignedInstaller},
        {&o.output, &made.installer}};
    std::vector<fs::path> written;
    for (const auto &output : outputs) {
        if (output.first->empty())
            continue;
        const fs::path path = fs::u8path(*output.first);
        if (!payload::WriteFileSafely(path, output.second->data(), output.second->size(), error)) {
            // The outputs go together: none stays without the others.
            std::error_code ec;
            for (const fs::path &done : written)
                fs::remove(done, ec);
            return false;
        }
        written.push_back(path);
    }
    std::printf(
        "%s: %s installer of %s, version %s (build %s, %s): %u files in %u folders, "
        "payload %llu bytes%s\n",
        o.output.c_str(), MachineName(setup.machine), o.product.c_str(), o.identity.version.c_str(),
        o.identity.build.c_str(), o.identity.date.c_str(), made.stats.files, made.stats.folders,
        static_cast<unsigned long long>(made.stats.archiveBytes), o.Signing() ? ", signed" : "");
    return true;
}

} // namespace

int RunInstaller(int argc, char **argv) {
    Options options;
    if (!ParseOptions(argc, argv, &options)) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    std::string error;
    if (!MakeInstallerFiles(options, &error)) {
        std::fprintf(stderr, "vnxpack installer: %s; nothing was written\n", error.c_str());
        return kExitFailure;
    }
    return kExitOk;
}

} // namespace vnxpack
