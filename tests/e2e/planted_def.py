#!/usr/bin/env python3
"""Writes the module-definition file of a planted library (planted_library.c): the library named
NAME exports every name that the real library exports, each mapped to the one do-nothing
function of the stub, so that a program that imports any of them would load the stub.

    planted_def.py NAME OUTPUT [DLL]

The names come from the export table of DLL, Wine's own library of that name (a PE file of
either architecture: the names are the same); without one, from the short list below of a
library that Wine does not have."""
import struct
import sys

# cryptbase.dll, which Windows' advapi32 forwards these to; Wine has no library of that name.
KNOWN = {"cryptbase": ["SystemFunction001", "SystemFunction002", "SystemFunction003",
                       "SystemFunction004", "SystemFunction005", "SystemFunction028",
                       "SystemFunction029", "SystemFunction034", "SystemFunction036",
                       "SystemFunction040", "SystemFunction041"]}


def export_names(data):
    """The names of a PE file's export table."""
    header = struct.unpack_from("<I", data, 0x3C)[0]
    if data[:2] != b"MZ" or data[header:header + 4] != b"PE\0\0":
        raise ValueError("no PE file")
    sections_count, optional_size = struct.unpack_from("<H12xH", data, header + 6)
    optional = header + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    directories = optional + (112 if magic == 0x20B else 96)
    export_rva, export_size = struct.unpack_from("<II", data, directories)
    if export_size == 0:
        return []
    sections = []
    table = optional + optional_size
    for i in range(sections_count):
        virtual_size, address, raw_size, raw = struct.unpack_from("<IIII", data, table + 40 * i + 8)
        sections.append((address, max(virtual_size, raw_size), raw))

    def offset(rva):
        for address, size, raw in sections:
            if address <= rva < address + size:
                return raw + rva - address
        raise ValueError("address %#x lies in no section" % rva)

    count, names_rva = struct.unpack_from("<24xI4xI", data, offset(export_rva))
    names = []
    for i in range(count):
        at = offset(struct.unpack_from("<I", data, offset(names_rva) + 4 * i)[0])
        names.append(data[at:data.index(b"\0", at)].decode("ascii"))
    return names


def main():
    name, output = sys.argv[1], sys.argv[2]
    dll = sys.argv[3] if len(sys.argv) > 3 and sys.argv[3] else None
    names = export_names(open(dll, "rb").read()) if dll else KNOWN.get(name, [])
    # Plain C names only: a .def file reads "@" and "?" as its own syntax.
    names = sorted(n for n in names if n.replace("_", "a").isalnum())
    if not names:
        sys.exit("planted_def: no export names for %s" % name)
    with open(output, "w") as f:
        f.write("LIBRARY \"%s.dll\"\nEXPORTS\n" % name)
        for n in names:
            f.write("    %s=PlantedExport\n" % n)
    return 0


if __name__ == "__main__":
    sys.exit(main())
