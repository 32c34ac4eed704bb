#!/usr/bin/env python3
"""The rows of a Wine registry file (user.reg, system.reg), one a line:

    key<TAB>name<TAB>data        a value ("@" names the default value)
    key                          a key

Keys are lower-cased, as the registry compares them; names and data stay as
written. String data is unescaped, other types stay as Wine writes them.
With two files, only the rows of the second that the first lacks.

Usage: registry_rows.py [BEFORE] AFTER
"""
import re
import sys

VALUE = re.compile(r'^(@|"((?:[^"\\]|\\.)*)")=(.*)$')
STRING = re.compile(r'^(?:str\(\d+\):)?"((?:[^"\\]|\\.)*)"$')
ESCAPE = re.compile(r'\\(x[0-9a-fA-F]{1,4}|[0-7]{1,3}|.)')
SIMPLE = {"n": "\n", "r": "\r", "t": "\t", "a": "\a", "b": "\b", "f": "\f", "v": "\v", "e": "\x1b"}


def unescape(text):
    def one(match):
        code = match.group(1)
        if code[0] == "x":
            return chr(int(code[1:], 16))
        if code[0].isdigit():
            return chr(int(code, 8))
        return SIMPLE.get(code, code)

    return ESCAPE.sub(one, text)


def rows(path):
    found = set()
    key = None
    with open(path, encoding="utf-8", errors="surrogateescape") as file:
        lines = iter(file.read().replace("\r", "").split("\n"))
    for line in lines:
        while line.endswith("\\") and not line.startswith("["):
            line = line[:-1] + next(lines, "").lstrip()
        if line.startswith("["):
            key = unescape(line[1 : line.rindex("]")]).lower()
            found.add(key)
            continue
        match = VALUE.match(line)
        if key is None or not match:
            continue
        name = "@" if match.group(1) == "@" else unescape(match.group(2))
        data = match.group(3)
        text = STRING.match(data)
        found.add("\t".join((key, name, unescape(text.group(1)) if text else data)))
    return found


def main(paths):
    if len(paths) not in (1, 2):
        sys.exit(__doc__)
    sys.stdout.reconfigure(errors="backslashreplace")
    before = rows(paths[0]) if len(paths) == 2 else set()
    for row in sorted(rows(paths[-1]) - before):
        print(row)


if __name__ == "__main__":
    main(sys.argv[1:])
