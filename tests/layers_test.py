#!/usr/bin/env python3
"""Checks that each of the product's folders includes only itself and the folders it may use, as
the "Uses" column of the folder table in docs/architecture.md lists them, and that the table
below says the same as that column. Run by ctest (host build)."""
import os
import re
import sys

# What each folder may include besides itself: the "Uses" column of docs/architecture.md.
USES = {
    "product": [],
    "syslib": [],
    "codec": [],
    "decompress": ["codec", "product"],
    "compress": ["codec"],
    "archive": ["decompress", "product", "syslib"],
    "builder": ["archive", "compress", "product"],
    "reglog": [],
    "automation": ["reglog"],
    "regaddin": ["automation", "reglog", "product"],
    "resources": [],
    "app": ["product", "syslib", "codec", "decompress", "archive", "reglog", "automation",
            "regaddin", "resources"],
    "uninstall": ["product", "syslib", "archive", "regaddin", "resources", "app"],
    "tools": ["product", "archive", "builder", "compress", "decompress", "resources"],
}

SOURCE_ENDINGS = (".cpp", ".h", ".rc", ".in")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"/]+)/')
# A row of the folder table: | `folder/` | library | what it is | uses |
DOC_ROW = re.compile(r"^\|\s*`([a-z_]+)/`\s*\|.*\|\s*([^|]*?)\s*\|\s*$")
# One entry of the "Uses" column: a folder, maybe narrowed ("app's product texts").
DOC_USE = re.compile(r"^([a-z_]+)")


def doc_uses(path):
    """The "Uses" column of the doc's folder table, by folder."""
    uses = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            m = DOC_ROW.match(line.rstrip("\n"))
            if not m:
                continue
            column = m.group(2)
            if column in ("", "—", "-"):
                uses[m.group(1)] = []
                continue
            entries = [DOC_USE.match(e.strip()) for e in column.split(",")]
            uses[m.group(1)] = [e.group(1) if e else "?" for e in entries]
    return uses


def check_doc(root):
    """Where the doc's table and USES differ. A folder the doc has no row for yet (one being
    added on another branch) is skipped; a row for a folder USES does not know is wrong."""
    path = os.path.join(root, "docs", "architecture.md")
    if not os.path.isfile(path):
        return ["docs/architecture.md is missing: the table cannot be compared"]
    documented = doc_uses(path)
    if not documented:
        return ["docs/architecture.md has no folder table (| `folder/` | ... | Uses |)"]
    wrong = []
    for folder, uses in sorted(documented.items()):
        if folder not in USES:
            wrong.append("docs/architecture.md lists %s/, which this test does not know" % folder)
        elif sorted(uses) != sorted(USES[folder]):
            wrong.append("docs/architecture.md: %s/ uses %s, this test says %s" %
                         (folder, ", ".join(sorted(uses)) or "nothing",
                          ", ".join(sorted(USES[folder])) or "nothing"))
    return wrong


def check_table():
    """USES names only known folders and has no cycle, so that the folders stay layers."""
    wrong = []
    for folder, uses in sorted(USES.items()):
        for used in uses:
            if used not in USES:
                wrong.append("%s/ uses %s/, which is no folder of the table" % (folder, used))
    state = {}

    def visit(folder, path):
        if state.get(folder) == "done":
            return
        if state.get(folder) == "open":
            wrong.append("the table has a cycle: %s" % " -> ".join(path + [folder]))
            return
        state[folder] = "open"
        for used in USES.get(folder, []):
            visit(used, path + [folder])
        state[folder] = "done"

    for folder in sorted(USES):
        visit(folder, [])
    return wrong


def check_includes(root):
    """Every include of a folder's sources against what that folder may use. A folder that does
    not exist (yet) has nothing to check."""
    wrong = []
    for folder in sorted(USES):
        allowed = set(USES[folder]) | {folder}
        top = os.path.join(root, folder)
        for directory, subfolders, names in os.walk(top):
            subfolders.sort()
            for name in sorted(names):
                if not name.endswith(SOURCE_ENDINGS):
                    continue
                path = os.path.join(directory, name)
                shown = os.path.relpath(path, root)
                with open(path, encoding="latin-1") as f:
                    for number, line in enumerate(f, 1):
                        m = INCLUDE.match(line)
                        if not m:
                            continue
                        target = m.group(1)
                        if target not in USES:
                            wrong.append("%s:%d includes %s/, which is no folder of the table" %
                                         (shown, number, target))
                        elif target not in allowed:
                            wrong.append("%s:%d includes %s/, which %s/ may not use" %
                                         (shown, number, target, folder))
    return wrong


def main(root):
    wrong = check_table() + check_doc(root) + check_includes(root)
    for line in wrong:
        print(line)
    print("%d problem(s) with the folders' layers" % len(wrong))
    return 1 if wrong else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
