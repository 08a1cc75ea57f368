#!/usr/bin/env python3
"""Prints what a module's cache holds, in the form in which two hosts' caches compare: the rows
of thumbnail.db, the files of the picture buckets and the log's lines, with the data root and
the samples' folder as the module named them written <root> and <samples>.

    cache_state.py ROOT ROOT_NAMED SAMPLES_NAMED [--exact]

ROOT is the data root on this machine; ROOT_NAMED and SAMPLES_NAMED are the data root and the
samples' folder as the module saw them (on Windows "C:/users/…" and "Z:/…"). Without --exact
the times a picture was made and the log's time stamps are left out, since two runs differ
there; with it they stay, so two states of one cache compare exactly.
"""
import os
import re
import sqlite3
import sys

# "h:m:s dd.MM.yyyy" and three blanks open every log line.
STAMP = re.compile(rb"^\d{1,2}:\d{1,2}:\d{1,2} \d\d\.\d\d\.\d{4}   ")


def named(text, root, samples):
    return text.replace(root, "<root>").replace(samples, "<samples>")


def rows(root, root_named, samples_named, exact):
    connection = sqlite3.connect(os.path.join(root, "db", "thumbnail.db"))
    columns = [c[1] for c in connection.execute("pragma table_info(thumbnail)")]
    out = []
    for row in connection.execute("select * from thumbnail order by filePath"):
        cells = []
        for column, value in zip(columns, row):
            if column == "thumTime" and not exact:
                value = "<made>" if value else "0"
            cells.append(f"{column}={named(str(value), root_named, samples_named)}")
        out.append("row " + " ".join(cells))
    return out


def pictures(root, exact):
    out = []
    top = os.path.join(root, "db", "thumbnailImage")
    for folder, _, files in sorted(os.walk(top)):
        for name in sorted(files):
            path = os.path.join(folder, name)
            line = "picture " + os.path.relpath(path, top)
            if exact:
                line += f" {os.path.getsize(path)} {os.stat(path).st_mtime_ns}"
            out.append(line)
    return out


def log(root, root_named, samples_named, exact):
    path = os.path.join(root, "VOXALIS_Thumbnail.log")
    if not os.path.exists(path):
        return []
    raw = open(path, "rb").read()
    out = []
    # An entry ends with CR LF; a bare LF stays inside it.
    for entry in raw.split(b"\r\n")[:-1]:
        if not exact:
            entry = STAMP.sub(b"", entry)
        text = entry.decode("latin-1").replace("\n", "\\n")
        out.append("log " + named(text, root_named, samples_named))
    if not raw.endswith(b"\r\n") and raw:
        out.append("log unterminated " + raw.rsplit(b"\r\n", 1)[-1].decode("latin-1"))
    return out


def main():
    root, root_named, samples_named = sys.argv[1:4]
    exact = "--exact" in sys.argv[4:]
    lines = rows(root, root_named, samples_named, exact)
    lines += pictures(root, exact)
    lines += log(root, root_named, samples_named, exact)
    print("\n".join(lines))


main()
