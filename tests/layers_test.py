#!/usr/bin/env python3
"""Checks that the product's folders include each other only downwards, in the order of the
layers below, so that the folder graph has no cycle. Run by ctest (host build)."""
import os
import re
import sys

# Lowest layer first. A folder may include its own headers and those of the folders before it.
LAYERS = ["codec", "decompress", "compress", "archive", "builder", "reglog", "automation",
          "regaddin", "resources", "app", "uninstall", "tools"]


def main(root):
    rank = {folder: i for i, folder in enumerate(LAYERS)}
    include = re.compile(r'^\s*#\s*include\s+"([^"/]+)/')
    wrong = []
    for folder in LAYERS:
        path = os.path.join(root, folder)
        if not os.path.isdir(path):
            continue
        for name in sorted(os.listdir(path)):
            if not name.endswith((".cpp", ".h", ".rc", ".in")):
                continue
            with open(os.path.join(path, name), encoding="latin-1") as f:
                for number, line in enumerate(f, 1):
                    m = include.match(line)
                    if not m:
                        continue
                    target = m.group(1)
                    if target not in rank:
                        wrong.append("%s/%s:%d includes %s/, which is no layer" %
                                     (folder, name, number, target))
                    elif rank[target] > rank[folder]:
                        wrong.append("%s/%s:%d includes %s/, a layer above it" %
                                     (folder, name, number, target))
    for line in wrong:
        print(line)
    print("%d include(s) against the layers" % len(wrong))
    return 1 if wrong else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
