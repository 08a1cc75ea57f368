#!/usr/bin/env python3
"""Prints the values of a .reg file as "[key] name=data" lines, sorted and in lower case, with
the module's path written as <module>: the form in which two registrations compare.

    reg_values.py FILE MODULE_PATH
"""
import sys


def main():
    path, module = sys.argv[1], sys.argv[2]
    raw = open(path, "rb").read()
    # reg.exe writes UTF-16 with a byte order mark; our stand-in writes UTF-8.
    text = raw.decode("utf-16") if raw[:2] in (b"\xff\xfe", b"\xfe\xff") else raw.decode("utf-8")
    quoted_module = module.replace("\\", "\\\\")
    lines = set()
    key = None
    for line in text.splitlines():
        line = line.strip()
        if line.startswith("[") and line.endswith("]"):
            key = line
        elif key and "=" in line:
            lines.add((key + " " + line.replace(quoted_module, "<module>")).lower())
    print("\n".join(sorted(lines)))


main()
