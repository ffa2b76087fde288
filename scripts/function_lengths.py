#!/usr/bin/env python3
"""Lists the product's functions longer than a bound (default 60 lines), longest first, with
their deepest nesting of braces inside the body:

    scripts/function_lengths.py            # the product's folders
    scripts/function_lengths.py 40 app     # another bound, some folders only

A function counts from the line its name is on to its closing brace. The scan knows C++ well
enough for this tree (comments, strings, character literals, initializer lists, lambdas inside
bodies); it is a measure, not a parser."""
import os
import re
import sys

FOLDERS = ["codec", "decompress", "compress", "archive", "product", "builder", "reglog",
           "automation", "regaddin", "resources", "app", "uninstall", "tools"]
SCOPE_WORDS = re.compile(r'\b(namespace|class|struct|union|enum)\b')


def blank_out(text):
    """The text with comments, strings and character literals replaced by blanks, lines kept."""
    out = []
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            out.append(" " * (j - i))
            i = j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            out.append(re.sub(r"[^\n]", " ", text[i:j]))
            i = j
        elif c in "\"'":
            j = i + 1
            while j < n and text[j] != c:
                j += 2 if text[j] == "\\" else 1
            out.append(" " * (min(j, n - 1) + 1 - i))
            i = j + 1
        else:
            out.append(c)
            i += 1
    return "".join(out)


def matching(text, start):
    """Index of the brace closing the one at `start`, and the deepest nesting inside it."""
    depth, deepest = 0, 0
    for k in range(start, len(text)):
        if text[k] == "{":
            depth += 1
            deepest = max(deepest, depth - 1)
        elif text[k] == "}":
            depth -= 1
            if depth == 0:
                return k, deepest
    return len(text) - 1, deepest


def functions(text):
    """(name, first line, last line, nesting) of every function body at namespace or class
    scope."""
    found = []

    def scan(begin, end):
        header_start = begin
        k = begin
        while k < end:
            c = text[k]
            if c in ";}":
                header_start = k + 1
            elif c == "{":
                header = text[header_start:k]
                close, deepest = matching(text, k)
                head = header.strip()
                if SCOPE_WORDS.search(head.split("(")[0]) and "(" not in head.split("{")[0][:1]:
                    if re.search(r'\b(namespace|class|struct|union)\b', head.split("(")[0]):
                        scan(k + 1, close)  # members and nested scopes
                    header_start = close + 1
                    k = close + 1
                    continue
                init = re.search(r"\)\s*(?:const\s*)?(?:noexcept\s*)?:[^:]", header)
                if init and re.search(r"[\w>]\s*$", header):
                    # A member's brace initializer inside an initializer list: skip it.
                    k = close + 1
                    continue
                if "(" in head and "=" not in head.split("(")[0]:
                    name = re.search(r"([~\w:<>]+)\s*\(", head)
                    line = text.count("\n", 0, header_start + len(header) - len(header.lstrip()))
                    if name:
                        line = text.count("\n", 0, header_start + header.find(name.group(1)))
                    found.append((name.group(1) if name else "?", line + 1,
                                  text.count("\n", 0, close) + 1, deepest))
                header_start = close + 1
                k = close + 1
                continue
            k += 1

    scan(0, len(text))
    return found


def main(argv):
    bound = int(argv[0]) if argv and argv[0].isdigit() else 60
    folders = [a for a in argv if not a.isdigit()] or FOLDERS
    root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
    rows = []
    for folder in folders:
        path = os.path.join(root, folder)
        if not os.path.isdir(path):
            continue
        for name in sorted(os.listdir(path)):
            if not name.endswith((".cpp", ".h")):
                continue
            with open(os.path.join(path, name), encoding="latin-1") as f:
                text = blank_out(f.read())
            for function, first, last, deepest in functions(text):
                length = last - first + 1
                if length > bound:
                    rows.append((length, "%s/%s:%d" % (folder, name, first), function, deepest))
    rows.sort(key=lambda r: (-r[0], r[1]))
    for length, where, function, deepest in rows:
        print("%4d lines  depth %d  %-40s %s" % (length, deepest, where, function))
    print("%d function(s) over %d lines" % (len(rows), bound))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
