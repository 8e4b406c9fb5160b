#!/usr/bin/env python3
"""Checks that the CMake target graph allows every include of the worker's libraries.

A source of a library target may include a project header only when the header is
one of the target's own sources (an INTERFACE library's headers count for every
target that links it) or a source of a target the library links, directly or
through others. An include outside that closure is a dependency the link graph
hides behind the shared include path. Headers that no target lists are refused
too, since no link could allow them.

    scripts/check_layering.py BUILD_DIR

BUILD_DIR must have been configured with the CMake file API query for
codemodel-v2 (scripts/test.sh writes it before configuring).
"""
import glob
import json
import os
import re
import sys

SUBSYSTEMS = ("host", "conversion", "keywords", "ranking", "embedcore", "tokenizers")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def load_targets(build_dir):
    reply = os.path.join(build_dir, ".cmake", "api", "v1", "reply")
    models = glob.glob(os.path.join(reply, "codemodel-v2-*.json"))
    if not models:
        sys.exit(f"check_layering: no codemodel reply in {reply}; configure with the file API query first")
    codemodel = json.load(open(max(models, key=os.path.getmtime)))
    targets = {}
    for entry in codemodel["configurations"][0]["targets"]:
        data = json.load(open(os.path.join(reply, entry["jsonFile"])))
        targets[entry["id"]] = {
            "name": data["name"],
            "type": data["type"],
            "sources": {s["path"] for s in data.get("sources", [])},
            "deps": {d["id"] for d in data.get("dependencies", [])},
        }
    return targets


def is_library_source(path):
    return path.split("/", 1)[0] in SUBSYSTEMS


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    build_dir = sys.argv[1]
    source_root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    targets = load_targets(build_dir)
    listed = set().union(*(t["sources"] for t in targets.values()))
    problems = []
    checked = 0
    for target in targets.values():
        if target["type"] != "STATIC_LIBRARY" or not all(is_library_source(s) for s in target["sources"]):
            continue
        allowed = set(target["sources"])
        for dep in target["deps"]:
            allowed |= targets[dep]["sources"]
        for source in sorted(target["sources"]):
            text = open(os.path.join(source_root, source), encoding="utf-8").read()
            for header in INCLUDE.findall(text):
                if not is_library_source(header):
                    continue
                checked += 1
                if header not in listed:
                    problems.append(f"{source}: includes {header}, which no target lists")
                elif header not in allowed:
                    problems.append(f"{target['name']}: {source} includes {header}, which it does not link")
    for problem in problems:
        print(f"check_layering: {problem}", file=sys.stderr)
    if problems:
        return 1
    print(f"check_layering: {checked} includes of the libraries follow their link graph")
    return 0


if __name__ == "__main__":
    sys.exit(main())
