#!/usr/bin/env python3
"""Checks that the source folders include only downwards and never each other in a cycle.

Usage: check_layers.py [ROOT]   (ROOT: the repository, by default the one holding this script)

Every .h, .hpp, .c and .cpp file of the repository's own folders is read for its
#include "folder/..." lines; build folders and tests, fuzz and bench are left out. Exits 1,
naming the file, the line and the rule, when a file includes from a higher layer than its own,
when folders include each other (a cycle of any length), or when a folder has no layer yet.
"""

import pathlib
import re
import sys

# Lowest first. include/korvex/ is the public header folder "korvex" of the library.
LAYERS = {
    "core": ["encoder", "render", "png", "svg", "gs1", "result"],
    "request": ["request"],
    "front end": ["cgi", "fcgi", "cli", "library", "python", "include", "korvex"],
}
RANK = {folder: rank for rank, folders in enumerate(LAYERS.values()) for folder in folders}
LAYER_NAME = {folder: name for name, folders in LAYERS.items() for folder in folders}
SKIPPED = {"tests", "fuzz", "bench"}
SOURCE_SUFFIXES = {".h", ".hpp", ".c", ".cpp"}
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"/]+)/[^"]*"')


def source_files(root):
    for top in sorted(p for p in root.iterdir() if p.is_dir()):
        if top.name.startswith((".", "build")) or top.name in SKIPPED or (top / "CMakeCache.txt").exists():
            continue
        for path in sorted(top.rglob("*")):
            if path.suffix in SOURCE_SUFFIXES and path.is_file():
                yield path


def folder_of(path, root):
    parts = path.relative_to(root).parts
    # include/korvex/korvex.h belongs to "korvex", the folder its includers name.
    return parts[1] if parts[0] == "include" and len(parts) > 2 else parts[0]


def reaches(edges, start, goal):
    """A path of folders from start to goal along the include edges, or None."""
    paths, seen = [[start]], {start}
    while paths:
        path = paths.pop()
        if path[-1] == goal:
            return path
        for nxt in sorted(edges.get(path[-1], {})):
            if nxt not in seen:
                seen.add(nxt)
                paths.append(path + [nxt])
    return None


def check(root):
    faults, edges, files = [], {}, 0
    for path in source_files(root):
        files += 1
        name, own = path.relative_to(root).as_posix(), folder_of(path, root)
        if own not in RANK:
            faults.append(f"{name}: folder '{own}' has no layer; add it to LAYERS in {pathlib.Path(__file__).name}")
            continue
        for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
            match = INCLUDE.match(line)
            if not match or match.group(1) == own:
                continue
            target, where = match.group(1), f"{name}:{number}"
            if target not in RANK:
                faults.append(f"{where}: includes from folder '{target}', which has no layer")
            elif RANK[target] > RANK[own]:
                faults.append(f"{where}: {LAYER_NAME[own]} folder '{own}' includes from the higher layer "
                              f"({LAYER_NAME[target]}) folder '{target}': includes point down only")
            else:
                edges.setdefault(own, {}).setdefault(target, where)
    for own in sorted(edges):
        for target, where in sorted(edges[own].items()):
            back = reaches(edges, target, own)
            if back:
                faults.append(f"{where}: folder '{own}' includes '{target}', which includes it back "
                              f"(cycle {' -> '.join([own] + back)}): no two folders include each other")
    return faults, files, sum(len(targets) for targets in edges.values())


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).resolve().parents[2])
    faults, files, edges = check(root.resolve())
    for fault in faults:
        print(fault)
    if faults:
        print(f"layers: {len(faults)} fault(s) in {files} files", file=sys.stderr)
        return 1
    print(f"layers: {files} files, {edges} include edges between folders, all down and without cycles")
    return 0


if __name__ == "__main__":
    sys.exit(main())
