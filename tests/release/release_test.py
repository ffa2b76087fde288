#!/usr/bin/env python3
"""Release builds of the executables that ship, made from scratch as a release engineer would.

    release_test.py build WORK --source DIR --release NAME=PATH... [--define NAME=VALUE...]
    release_test.py reproducible WORK
    release_test.py signatures WORK
    release_test.py maker WORK
    release_test.py install WORK --arch win64|win32 --driver EXE --excel WINPATH

`build` (the fixture of the three checks) configures the win64 and the win32 preset in folders of
its own under WORK and builds only the release targets, twice per architecture in two folders of
different names from the same sources, product folder, identity and SOURCE_DATE_EPOCH, both
signed with a throw-away certificate made here (its key is deleted when the builds are done):
an executable signed and then packed into the payload is part of the next one's input. It writes
WORK/builds.json for the checks:

- `reproducible`: both link outputs (the files before signing) are byte-identical, carry no link
  time, no path of the source or build folders, and the build date of SOURCE_DATE_EPOCH; so are
  both signed copies; the first build's signature attached to the second build's link output
  gives the first build's signed copy (the audit of a signed release). The link outputs carry no
  debug information and no symbols: their .gnu_debuglink names the symbol file beside them,
  whose CRC it holds, and both builds' symbol files are the same too.
- `signatures`: osslsigncode verifies the signed copies and refuses the unsigned link output and
  a signed copy with one byte of its payload changed; dist/ holds the signed installer, whose
  payload still matches the product folder.
- `maker`: `vnxpack installer`, run by hand on the first build's stubs (dist/<arch>/stub/) with
  the build's product, identity, SOURCE_DATE_EPOCH and certificate in two folders, makes the
  build's programs byte for byte, signed and unsigned; its signed installer verifies. It refuses,
  writing nothing, a damaged stub, a finished program given as a stub, and stubs of the two
  architectures mixed. Given the build's signed uninstaller (--uninstaller, as in an audit), it
  makes the build's unsigned installer; the other architecture's uninstaller it refuses.
- `install`: the signed installer of one architecture (--arch) installs the product under Wine,
  clicked through by the wizard driver.

Each NAME=PATH names a release target and its link output in the calling build; the same path
relative to that build is its link output in the scratch builds, and signed/<file name> its
signed copy.
"""
import argparse
import json
import os
import secrets
import shutil
import subprocess
import sys
import time
import zlib
from pathlib import Path

ARCHES = ["win64", "win32"]
# 14 November 2023 (UTC): a day past the 12th, so that a swapped month and day would show.
EPOCH = 1700000000
DEFAULT_FOLDER = "drive_c/Program Files/Varnok/VarnexAddin"


class Failure(Exception):
    pass


def run(command, **kwargs):
    """Runs a command; its output is shown only when it fails."""
    done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                          **kwargs)
    if done.returncode != 0:
        raise Failure("%s exited with %d:\n%s" % (" ".join(map(str, command)), done.returncode,
                                                  done.stdout))
    return done.stdout


def tool(name):
    path = shutil.which(name)
    if not path:
        raise Failure("%s is missing (scripts/setup installs it)" % name)
    return path


# --- the builds -----------------------------------------------------------------------------


def make_certificate(secret, certificate):
    """A self-signed code-signing certificate, its key in a PKCS#12 file and the password in a
    file of its own: neither the password nor the key ever appears on a command line."""
    password = secret / "password"
    password.write_text(secrets.token_urlsafe(24) + "\n")
    password.chmod(0o600)
    key = secret / "key.pem"
    openssl = tool("openssl")
    run([openssl, "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out",
         certificate, "-days", "2", "-subj", "/CN=Varnex Release Test (throw-away)",
         "-addext", "keyUsage=critical,digitalSignature",
         "-addext", "extendedKeyUsage=codeSigning"])
    pkcs12 = secret / "signing.p12"
    run([openssl, "pkcs12", "-export", "-inkey", key, "-in", certificate, "-out", pkcs12,
         "-passout", "file:%s" % password])
    key.unlink()
    return pkcs12, password


def build(args):
    work = Path(args.work)
    shutil.rmtree(work, ignore_errors=True)
    secret = work / "secret"
    secret.mkdir(parents=True, mode=0o700)
    releases = {}
    for item in args.release:
        name, path = item.split("=", 1)
        releases[name] = os.path.relpath(path, args.build_dir)
    env = dict(os.environ, SOURCE_DATE_EPOCH=str(EPOCH))
    env.pop("VNX_BUILD_DATE", None)
    jobs = os.environ.get("VNX_JOBS", "2")
    defines = ["-D" + d for d in args.define] + ["-DVNX_BUILD_TESTS=OFF"]
    certificate = work / "certificate.pem"
    builds = {}
    try:
        pkcs12, password = make_certificate(secret, certificate)
        signing = ["-DVNX_SIGN_PKCS12=%s" % pkcs12, "-DVNX_SIGN_PASSWORD_FILE=%s" % password]
        for arch in ARCHES:
            # Two folders whose names differ in length too, so that no offset stays the same.
            folders = {"first": work / ("first-" + arch),
                       "second": work / ("second-elsewhere-" + arch)}
            for kind, folder in folders.items():
                start = time.monotonic()
                run(["cmake", "--preset", arch, "-B", folder, "-DVNX_DIST_DIR=%s" % (folder / "dist")]
                    + defines + signing, cwd=args.source, env=env)
                targets = [t for name in releases for t in ("--target", name)]
                run(["cmake", "--build", folder, "-j", jobs] + targets, env=env)
                print("built %s %s in %.1f s" % (kind, arch, time.monotonic() - start))
            builds[arch] = {k: str(v) for k, v in folders.items()}
            for kind in ("first", "second-elsewhere"):
                out = work / ("maker-%s-%s" % (kind, arch))
                builds[arch]["maker-" + kind] = str(out)
                make_installer(args, folders["first"] / "dist" / arch / "stub", out, env,
                               ["--sign-pkcs12", pkcs12, "--sign-password-file", password])
    finally:
        shutil.rmtree(secret)  # the key never outlives the builds
    (work / "builds.json").write_text(json.dumps({
        "source": str(Path(args.source).resolve()), "work": str(work.resolve()),
        "certificate": str(certificate), "epoch": EPOCH, "releases": releases,
        "builds": builds, "defines": dict(d.split("=", 1) for d in args.define)}, indent=1))
    return 0


def maker_command(defines, stubs, out, extra=()):
    """vnxpack installer as a release engineer runs it, with the build's identity and date."""
    date = time.strftime("%m/%d/%Y", time.gmtime(EPOCH))
    return [str(Path(defines["VNX_HOST_TOOLS_DIR"]) / "vnxpack"), "installer",
            defines["VNX_PRODUCT_DIR"], "--stub-dir", str(stubs), "-o", str(out / "Setup.exe"),
            "--uninstaller-out", str(out / "Uninstall.exe"),
            "--product-version", defines["VNX_PRODUCT_VERSION"],
            "--product-build", defines["VNX_PRODUCT_BUILD"], "--build-date", date] + \
        [str(e) for e in extra]


def make_installer(args, stubs, out, env, signing):
    out.mkdir(parents=True)
    defines = dict(d.split("=", 1) for d in args.define)
    start = time.monotonic()
    run(maker_command(defines, stubs, out, ["--unsigned-out", out / "Setup.unsigned.exe",
                                            "--unsigned-uninstaller-out",
                                            out / "Uninstall.unsigned.exe"] + signing), env=env)
    print("made %s with vnxpack installer in %.1f s" % (out, time.monotonic() - start))


# --- reading the builds ---------------------------------------------------------------------


def u16(data, at):
    return int.from_bytes(data[at:at + 2], "little")


def u32(data, at):
    return int.from_bytes(data[at:at + 4], "little")


class PeImage:
    """The few parts of a PE file the checks read: the header's time stamp, the data
    directories and the sections."""
    EXPORT, RESOURCE = 0, 2

    def __init__(self, data, name):
        self.data = data
        header = u32(data, 0x3C)
        if data[:2] != b"MZ" or data[header:header + 4] != b"PE\0\0":
            raise Failure("%s is no PE file" % name)
        coff = header + 4
        self.timestamp = u32(data, coff + 4)
        optional = coff + 20
        directories = optional + (112 if u16(data, optional) == 0x20B else 96)
        self.directories = [(u32(data, directories + 8 * i), u32(data, directories + 8 * i + 4))
                            for i in range(u32(data, directories - 4))]
        table = optional + u16(data, coff + 16)
        self.symbol_count = u32(data, coff + 12)
        # Names longer than 8 characters ("/4") are kept in the string table after the symbols.
        strings = u32(data, coff + 8) + 18 * self.symbol_count
        self.sections = []
        for i in range(u16(data, coff + 2)):
            at = table + 40 * i
            name = data[at:at + 8].rstrip(b"\0").decode("latin-1")
            if name.startswith("/") and name[1:].isdigit() and u32(data, coff + 8):
                begin = strings + int(name[1:])
                name = data[begin:data.index(b"\0", begin)].decode("latin-1")
            self.sections.append((name, u32(data, at + 12),
                                  max(u32(data, at + 8), u32(data, at + 16)),
                                  u32(data, at + 20), u32(data, at + 16)))

    def file_offset(self, rva):
        for _, address, size, raw, _ in self.sections:
            if address <= rva < address + size:
                return raw + rva - address
        raise Failure("address %#x lies in no section" % rva)

    def section_at(self, offset):
        for name, _, _, raw, raw_size in self.sections:
            if raw <= offset < raw + raw_size:
                return name
        return "headers" if offset < self.sections[0][3] else "no section"

    def has_section(self, wanted):
        return any(section[0] == wanted for section in self.sections)

    def section_range(self, wanted, last=False):
        """The file range of the first (or the last) section named `wanted`."""
        found = [(raw, raw + raw_size) for name, _, _, raw, raw_size in self.sections
                 if name == wanted]
        if not found:
            raise Failure("no section %s" % wanted)
        return found[-1] if last else found[0]

    def section_bytes(self, wanted):
        begin, end = self.section_range(wanted)
        return self.data[begin:end]

    def directory_timestamp(self, index):
        """The time stamp of an export or resource directory, None when there is none."""
        rva, size = self.directories[index]
        return u32(self.data, self.file_offset(rva) + 4) if size else None


def load(path):
    if not Path(path).is_file():
        raise Failure("%s was not built" % path)
    return Path(path).read_bytes()


def files(description):
    """(architecture, release name, its link output and its signed copy in the first build, the
    same two in the second build) for each release executable."""
    for arch, folders in description["builds"].items():
        for name, relative in description["releases"].items():
            first, second = Path(folders["first"]), Path(folders["second"])
            signed = Path("signed") / Path(relative).name
            yield (arch, name, first / relative, first / signed, second / relative,
                   second / signed)


def compare(label, first, second, errors):
    a, b = load(first), load(second)
    if a == b:
        return
    differ = [i for i in range(min(len(a), len(b))) if a[i] != b[i]]
    at = differ[0] if differ else min(len(a), len(b))
    errors.append("%s: the two builds differ (%d and %d bytes, %d bytes differ, the first at %#x "
                  "in %s)" % (label, len(a), len(b), len(differ), at,
                              PeImage(a, first).section_at(at)))


def debug_link(label, image, errors):
    """The symbol file that a release executable names (cmake/VnxRelease.cmake) and its CRC, or
    None; the executable itself carries no debug information and no symbol table."""
    debug = [name for name, *_ in image.sections if name.startswith(".debug")]
    if debug:
        errors.append("%s: debug information in the executable (%s)" % (label, ", ".join(debug)))
    if image.symbol_count:
        errors.append("%s: %d symbols in the executable" % (label, image.symbol_count))
    if not image.has_section(".gnu_debuglink"):
        errors.append("%s: no .gnu_debuglink to a symbol file" % label)
        return None
    link = image.section_bytes(".gnu_debuglink")
    name = link[:link.index(b"\0")].decode("latin-1")
    return name, u32(link, (len(name) + 4) // 4 * 4)


def check_symbols(label, path, image, errors):
    """The link output names the symbol file beside it, which holds its debug information."""
    link = debug_link(label, image, errors)
    if not link:
        return
    name, crc = link
    symbols = Path(path).parent / name
    if name != Path(path).name + ".debug":
        errors.append("%s: the symbol file is named %s" % (label, name))
    elif not symbols.is_file():
        errors.append("%s: no symbol file %s" % (label, symbols))
    elif zlib.crc32(symbols.read_bytes()) != crc:
        errors.append("%s: %s is not the symbol file the executable names" % (label, symbols))
    elif not PeImage(load(symbols), symbols).has_section(".debug_info"):
        errors.append("%s: %s holds no debug information" % (label, symbols))


def osslsigncode(*arguments):
    done = subprocess.run([tool("osslsigncode")] + [str(a) for a in arguments],
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    return done.returncode, done.stdout


# --- the checks -----------------------------------------------------------------------------


def reproducible(description, errors):
    date = time.strftime("%m/%d/%Y", time.gmtime(description["epoch"]))
    paths = {description["source"], description["work"]}
    for arch, name, first, signed, second, second_signed in files(description):
        label = "%s %s" % (arch, name)
        a = load(first)
        compare(label + " before signing", first, second, errors)
        compare(label + " signed", signed, second_signed, errors)
        image = PeImage(a, first)
        # What is signed is the stripped file.
        check_symbols(label, first, image, errors)
        if debug_link(label + " signed", PeImage(load(signed), signed), errors) != \
                debug_link(label, image, []):
            errors.append("%s: the signed copy names another symbol file" % label)
        compare(label + " symbols", str(first) + ".debug", str(second) + ".debug", errors)
        stamps = {"PE header": image.timestamp,
                  "export directory": image.directory_timestamp(PeImage.EXPORT),
                  "resource directory": image.directory_timestamp(PeImage.RESOURCE)}
        for where, stamp in stamps.items():
            if stamp:
                errors.append("%s: the %s carries the time stamp %d" % (label, where, stamp))
        for path in sorted(paths):
            for encoding in ("utf-8", "utf-16-le"):
                if path.encode(encoding) in a:
                    errors.append("%s: the path %s is compiled in (%s)" % (label, path, encoding))
        if name == "Setup" and date.encode("utf-16-le") not in a:
            errors.append("%s: the build date %s of SOURCE_DATE_EPOCH is not in the string table"
                          % (label, date))
        # The audit of a signed release: its signature attached to a rebuild gives the release,
        # byte for byte.
        signature = Path(description["work"]) / ("%s-%s.signature" % (arch, name))
        attached = Path(description["work"]) / ("%s-%s.attached.exe" % (arch, name))
        for f in (signature, attached):
            f.unlink(missing_ok=True)
        rc, out = osslsigncode("extract-signature", "-in", signed, "-out", signature)
        if rc == 0:
            rc, out = osslsigncode("attach-signature", "-sigin", signature,
                                   "-CAfile", description["certificate"],
                                   "-in", second, "-out", attached)
        if rc != 0:
            errors.append("%s: moving the signature to the rebuild failed:\n%s" % (label, out))
        elif load(attached) != load(signed):
            errors.append("%s: the rebuild with the release's signature attached is not the "
                          "signed release" % label)


def verify(path, certificate):
    return osslsigncode("verify", "-CAfile", certificate, "-in", path)


def signatures(description, errors):
    certificate = description["certificate"]
    product = description["defines"]["VNX_PRODUCT_DIR"]
    vnxpack = Path(description["defines"]["VNX_HOST_TOOLS_DIR"]) / "vnxpack"
    for arch, name, linked, signed, _, _ in files(description):
        label = "%s %s" % (arch, name)
        data = load(signed)
        rc, out = verify(signed, certificate)
        if rc != 0 or "Signature verification: ok" not in out:
            errors.append("%s: osslsigncode does not verify the signed copy:\n%s" % (label, out))
        rc, out = verify(linked, certificate)
        if rc == 0:
            errors.append("%s: the link output carries a signature:\n%s" % (label, out))
        # One byte changed in the resources (the payload among them: the last .rsrc, the one
        # vnxpack installer writes and the loader reads), or in the code of an executable
        # without resources, breaks the signature.
        image = PeImage(data, signed)
        begin, end = image.section_range(".rsrc" if image.has_section(".rsrc") else ".text",
                                         last=True)
        tampered = Path(description["work"]) / ("%s-%s.tampered.exe" % (arch, name))
        changed = bytearray(data)
        changed[(begin + end) // 2] ^= 0x01
        tampered.write_bytes(changed)
        rc, out = verify(tampered, certificate)
        if rc == 0 or "MISMATCH" not in out:
            errors.append("%s: a changed resource byte still verifies:\n%s" % (label, out))
        if name == "Setup":
            shipped = Path(description["builds"][arch]["first"]) / "dist" / arch / "Setup.exe"
            if load(shipped) != data:
                errors.append("%s: %s is not the signed installer" % (label, shipped))
            # The image is whole and its signature covers it; the payload holds the product and,
            # at its root, the signed uninstaller.
            uninstaller = Path(signed).parent / "Uninstall.exe"
            done = subprocess.run([str(vnxpack), "verify", str(signed), product,
                                   "--add", "Uninstall.exe=%s" % uninstaller,
                                   "--ca", certificate, "--signed"],
                                  stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
            if done.returncode != 0:
                errors.append("%s: vnxpack verify finds the signed installer damaged or its "
                              "payload unlike the product folder:\n%s" % (label, done.stdout))


def maker(description, errors):
    certificate = description["certificate"]
    defines = description["defines"]
    work = Path(description["work"])
    for arch, folders in description["builds"].items():
        build = Path(folders["first"])
        made, again = Path(folders["maker-first"]), Path(folders["maker-second-elsewhere"])
        pairs = [(made / "Setup.exe", build / "signed" / "Setup.exe"),
                 (made / "Uninstall.exe", build / "signed" / "Uninstall.exe"),
                 (made / "Setup.unsigned.exe", build / description["releases"]["Setup"]),
                 (made / "Uninstall.unsigned.exe", build / description["releases"]["Uninstall"])]
        pairs += [(made / name, again / name) for name in ("Setup.exe", "Uninstall.exe")]
        for mine, theirs in pairs:
            compare("%s vnxpack installer %s against %s" % (arch, mine.name, theirs), mine,
                    theirs, errors)
        rc, out = verify(made / "Setup.exe", certificate)
        if rc != 0 or "Signature verification: ok" not in out:
            errors.append("%s: osslsigncode does not verify the maker's installer:\n%s"
                          % (arch, out))
        vnxpack = Path(defines["VNX_HOST_TOOLS_DIR"]) / "vnxpack"
        done = subprocess.run([str(vnxpack), "verify", str(made / "Setup.exe"),
                               defines["VNX_PRODUCT_DIR"], "--add",
                               "Uninstall.exe=%s" % (made / "Uninstall.exe"), "--ca", certificate,
                               "--signed"], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                              text=True)
        if done.returncode != 0:
            errors.append("%s: vnxpack verify refuses the maker's installer:\n%s"
                          % (arch, done.stdout))
        refusals(description, arch, work / ("maker-refusals-" + arch), errors)
        audit(description, arch, work / ("maker-audit-" + arch), errors)


def audit(description, arch, out, errors):
    """The release's signed uninstaller packed by the maker (--uninstaller) gives the build's
    unsigned installer, to which the release's signature is attached in an audit; the other
    architecture's uninstaller, with the same list, is refused."""
    shutil.rmtree(out, ignore_errors=True)
    out.mkdir(parents=True)
    builds = description["builds"]
    stubs = Path(builds[arch]["first"]) / "dist" / arch / "stub"
    other = "win32" if arch == "win64" else "win64"
    for uninstaller, wanted in ((arch, 0), (other, 1)):
        signed = Path(builds[uninstaller]["first"]) / "signed" / "Uninstall.exe"
        (out / "Setup.exe").unlink(missing_ok=True)
        done = subprocess.run(maker_command(description["defines"], stubs, out,
                                            ["--uninstaller", signed]),
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        if done.returncode != wanted:
            errors.append("%s: vnxpack installer --uninstaller %s ended with %d:\n%s"
                          % (arch, signed, done.returncode, done.stdout))
        elif wanted == 0:
            compare("%s vnxpack installer --uninstaller against the build" % arch,
                    out / "Setup.exe",
                    Path(builds[arch]["first"]) / description["releases"]["Setup"], errors)
        elif (out / "Setup.exe").exists():
            errors.append("%s: vnxpack installer wrote Setup.exe around the other "
                          "architecture's uninstaller" % arch)


def refusals(description, arch, scratch, errors):
    """Stubs the maker must refuse, writing nothing: each case a stub folder of its own."""
    shutil.rmtree(scratch, ignore_errors=True)
    stubs = {a: Path(f["first"]) / "dist" / a / "stub" for a, f in description["builds"].items()}
    other = "win32" if arch == "win64" else "win64"
    setup = load(stubs[arch] / "Setup.exe")
    damaged = bytearray(setup)
    damaged[len(damaged) // 2] ^= 0x01
    cases = {
        "damaged": (bytes(damaged), load(stubs[arch] / "Uninstall.exe"), "header checksum"),
        "finished": (load(Path(description["builds"][arch]["first"]) /
                          description["releases"]["Setup"]),
                     load(stubs[arch] / "Uninstall.exe"), "carries a payload already"),
        "mixed": (setup, load(stubs[other] / "Uninstall.exe"), "two architectures"),
        "swapped": (load(stubs[arch] / "Uninstall.exe"), load(stubs[arch] / "Uninstall.exe"),
                    "the project's Uninstall.exe, not its Setup.exe"),
    }
    for case, (setup_bytes, uninstall_bytes, reason) in cases.items():
        folder, out = scratch / case / "stub", scratch / case / "out"
        folder.mkdir(parents=True)
        out.mkdir()
        (folder / "Setup.exe").write_bytes(setup_bytes)
        (folder / "Uninstall.exe").write_bytes(uninstall_bytes)
        done = subprocess.run(maker_command(description["defines"], folder, out),
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        if done.returncode != 1 or reason not in done.stdout:
            errors.append("%s: vnxpack installer does not refuse a %s stub for %s (%d):\n%s"
                          % (arch, case, reason, done.returncode, done.stdout))
        if any(out.iterdir()):
            errors.append("%s: vnxpack installer wrote %s for a %s stub"
                          % (arch, sorted(p.name for p in out.iterdir()), case))


def winpath(path):
    return "Z:" + str(path).replace("/", "\\")


def install(description, args, errors):
    signed = Path(description["builds"][args.arch]["first"]) / "signed" / "Setup.exe"
    load(signed)
    product = Path(description["defines"]["VNX_PRODUCT_DIR"])
    prefix = Path(description["work"]) / ("install-prefix-" + args.arch)
    wine_test = Path(description["source"]) / "scripts" / "wine-test"
    # The log is written to the installation folder known at start-up: make the default one.
    command = [str(wine_test), "--timeout", "300", "--keep", str(prefix),
               "--before", 'mkdir -p "$WINEPREFIX/%s"' % DEFAULT_FOLDER,
               "--setenv", "VNX_STANDIN_EXCEL=%s" % args.excel, args.driver, winpath(signed)]
    try:
        done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        print(done.stdout)
        if done.returncode != 0:
            errors.append("the signed installer ended with %d under Wine" % done.returncode)
            return
        folder = prefix / DEFAULT_FOLDER
        wanted = sorted(p.relative_to(product) for p in product.rglob("*") if p.is_file())
        for relative in wanted:
            installed = folder / relative
            if not installed.is_file():
                errors.append("not installed: %s" % relative)
            elif installed.read_bytes() != (product / relative).read_bytes():
                errors.append("installed with other contents: %s" % relative)
        uninstaller = signed.parent / "Uninstall.exe"
        if (folder / "Uninstall.exe").read_bytes() != uninstaller.read_bytes():
            errors.append("the installed Uninstall.exe is not the signed uninstaller")
        log = folder / "install.log"
        if not log.is_file() or "Installation Complete" not in log.read_text("latin-1"):
            errors.append("install.log does not end in a complete installation")
        if not errors:
            print("the signed installer installed all %d files of %s" % (len(wanted), product))
    finally:
        shutil.rmtree(prefix, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("step", choices=["build", "reproducible", "signatures", "maker",
                                         "install"])
    parser.add_argument("work")
    parser.add_argument("--source")
    parser.add_argument("--build-dir")
    parser.add_argument("--release", action="append", default=[])
    parser.add_argument("--define", action="append", default=[])
    parser.add_argument("--driver")
    parser.add_argument("--excel")
    parser.add_argument("--arch", choices=ARCHES, default="win64")
    args = parser.parse_args()
    try:
        if args.step == "build":
            return build(args)
        description = json.loads((Path(args.work) / "builds.json").read_text())
        errors = []
        if args.step == "reproducible":
            reproducible(description, errors)
        elif args.step == "signatures":
            signatures(description, errors)
        elif args.step == "maker":
            maker(description, errors)
        else:
            install(description, args, errors)
    except Failure as failure:
        print("release_test: %s" % failure)
        return 1
    for error in errors:
        print("release_test: %s" % error)
    if not errors:
        print("release_test: %s: all checks passed" % args.step)
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
