#!/usr/bin/env python3
"""Writes a generated product folder for the installer's end-to-end tests: 804 files in 46
folders (the root included), mixed kinds and sizes, the add-in workbook and the release notes
among them; the build adds the uninstaller, for 805 files in the payload. Deterministic: the same
folder, bytes and times every time."""
import hashlib
import os
import random
import shutil
import sys

FILES = 805  # in the payload, the uninstaller the build adds included
FOLDERS = 46  # the root included


def content(rng, kind, size):
    if kind == "text":
        words = ["varnex", "cell", "range", "sheet", "formula", "value", "sum", "row",
                 "column", "pivot", "chart", "table", "lookup", "index", "match"]
        out = []
        length = 0
        while length < size:
            out.append(rng.choice(words))
            length += len(out[-1]) + 1
        return (" ".join(out)[:size]).encode("ascii")
    if kind == "zeros":
        return bytes(size)
    if kind == "random":
        return bytes(rng.getrandbits(8) for _ in range(size))
    # "binary": structured, partly repetitive, like an executable
    block = bytes(rng.getrandbits(8) for _ in range(64))
    data = bytearray()
    while len(data) < size:
        data += block if rng.random() < 0.7 else bytes(rng.getrandbits(8) for _ in range(64))
    return bytes(data[:size])


def write_empty_payload(path):
    """A payload archive without records: the 30-byte preamble alone, with its SHA-256 beside it
    as the payload builder writes it."""
    data = b"0".ljust(30, b"\0")
    with open(path, "wb") as f:
        f.write(data)
    with open(path + ".sha256", "wb") as f:
        f.write(hashlib.sha256(data).digest())


def main():
    if sys.argv[1] == "--empty-payload":
        write_empty_payload(sys.argv[2])
        return
    out = sys.argv[1]
    rng = random.Random(805)
    if os.path.isdir(out):
        shutil.rmtree(out)
    folders = [""]
    tops = ["Addin", "Doc", "Runtime", "Templates", "Samples", "Lib"]
    for top in tops:
        folders.append(top)
    while len(folders) < FOLDERS:
        parent = rng.choice(folders[1:])
        if parent.count("\\") >= 2:
            continue
        name = "%s\\Part%02d" % (parent, len(folders))
        folders.append(name)
    for folder in folders:
        os.makedirs(os.path.join(out, *folder.split("\\")) if folder else out, exist_ok=True)

    fixed = {
        "qubrix.xla": (b"Varnex add-in workbook stand-in for the end-to-end tests.\r\n" * 40),
        "Doc\\index.htm": (b"<html><head><title>Varnex release notes</title></head>"
                            b"<body><h1>Varnex Spreadsheet Add-In</h1><p>Generated for tests.</p>"
                            b"</body></html>\r\n"),
    }
    written = 0
    when = 1700000000
    for path, data in fixed.items():
        full = os.path.join(out, *path.split("\\"))
        with open(full, "wb") as f:
            f.write(data)
        os.utime(full, (when + written * 61, when + written * 61))
        written += 1
    kinds = ["text", "binary", "random", "zeros"]
    sizes = [0, 1, 27, 100, 511, 4096, 4097, 12000, 30000, 70000, 140000]
    while written < FILES - 1:
        folder = folders[written % len(folders)]
        kind = kinds[written % len(kinds)]
        size = rng.choice(sizes)
        if rng.random() < 0.02:
            size = 300000
        name = "%s_%03d.%s" % (kind, written, {"text": "txt", "binary": "dll", "random": "dat",
                                                "zeros": "bin"}[kind])
        full = os.path.join(out, *(folder.split("\\") if folder else []), name)
        with open(full, "wb") as f:
            f.write(content(rng, kind, size))
        stamp = when + written * 3607 + (written % 7) * 1000003 // 1000
        os.utime(full, ns=(stamp * 10**9 + (written % 10) * 10**7, stamp * 10**9 + (written % 10) * 10**7))
        written += 1


if __name__ == "__main__":
    main()
