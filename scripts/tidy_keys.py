#!/usr/bin/env python3
"""Prints a key per source for scripts/tidy.sh: "<sha256> <source>".

clang-tidy's findings on a source depend on the checks (.clang-tidy), on
clang-tidy itself and on what the compiler sees of the source: its text after
preprocessing, comments kept (a NOLINT is a comment). The key hashes the three,
so a source whose key passed before needs no second look.

    scripts/tidy_keys.py BUILD_DIR SOURCE...
"""
import hashlib
import json
import os
import shlex
import subprocess
import sys


def preprocess_command(entry):
    args = entry["arguments"] if "arguments" in entry else shlex.split(entry["command"])
    out = []
    skip = False
    for arg in args:
        if skip:
            skip = False
            continue
        if arg in ("-o", "-MF", "-MT", "-MQ"):
            skip = True
            continue
        if arg in ("-c", "-MD", "-MMD"):
            continue
        out.append(arg)
    # A ccache launcher in front of the compiler would only pass the call on.
    if os.path.basename(out[0]) == "ccache":
        out = out[1:]
    return out + ["-E", "-P", "-C", "-o", "-"]


def main():
    build, sources = sys.argv[1], sys.argv[2:]
    with open(os.path.join(build, "compile_commands.json"), encoding="utf-8") as f:
        entries = {os.path.realpath(e["file"]): e for e in json.load(f)}
    common = hashlib.sha256()
    common.update(subprocess.run(["clang-tidy", "--version"], capture_output=True, check=True).stdout)
    with open(".clang-tidy", "rb") as f:
        common.update(f.read())
    for source in sources:
        entry = entries.get(os.path.realpath(source))
        if entry is None:
            continue  # no compile command: tidy.sh checks it every time
        text = subprocess.run(preprocess_command(entry), cwd=entry["directory"], capture_output=True, check=True)
        key = common.copy()
        key.update(source.encode())
        key.update(text.stdout)
        print(key.hexdigest(), source)


if __name__ == "__main__":
    main()
