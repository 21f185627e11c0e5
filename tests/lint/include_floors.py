"""Checks that every #include "..." in the sources runs down the floors, never up.

The folders of src/ are floors, lowest first:

    core  framework  diag  settings  serial  pipeline  res  settingspages  app

A file may include headers of its own floor and of lower floors. res/ (resource.h, version.h,
included as "resource.h") holds the ids of the dialogs, menus and pictures of the windows of
settingspages and app, so it counts as the floor just below settingspages.

Each floor's core/ subfolder (and src/core itself) is portable: no <windows.h>, built natively
for the unit tests. A portable file includes only "core/..." and "<floor>/core/..." headers
(of its own floor or lower) and standard headers.

Fails with one line per offending include (file:line: header: why), and on any circle between
folders. On success prints a table of the includes by folder.

Usage: python3 tests/lint/include_floors.py src
"""
import re
import sys
from collections import defaultdict
from pathlib import Path

FLOORS = ["core", "framework", "diag", "settings", "serial", "pipeline", "res", "settingspages", "app"]
RANK = {floor: rank for rank, floor in enumerate(FLOORS)}

# Headers found in res/ rather than src/ (the resource compiler includes them too).
RESOURCE_HEADERS = {"resource.h", "version.h"}

# Angle-bracket headers a portable file may include besides the C++ standard library.
PORTABLE_SYSTEM_HEADERS = {
    "assert.h", "errno.h", "limits.h", "stddef.h", "stdint.h", "stdio.h", "stdlib.h", "string.h",
    "pcre2.h",  # built from source for the native and the Windows builds alike
}

# Includes let through for now: (file under src, header) -> why.
ALLOWED = {}

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')


def folder_of(relative):
    """The folder a file or header belongs to ("settings", "settings/core", "core", "res")."""
    parts = relative.split("/")
    if len(parts) == 1:
        return "res" if relative in RESOURCE_HEADERS else ""
    if parts[0] == "core" or (len(parts) > 2 and parts[1] == "core"):
        return "core" if parts[0] == "core" else parts[0] + "/core"
    return parts[0]


def floor_of(folder):
    return folder.split("/")[0]


def is_portable(folder):
    return folder == "core" or folder.endswith("/core")


def is_standard(header):
    # <string>, <cstdint>: no extension; a few C headers by name.
    return "." not in header or header in PORTABLE_SYSTEM_HEADERS


def find_circles(edges):
    """Strongly connected components of more than one folder (Tarjan), each sorted."""
    index, low, stack, on_stack, circles = {}, {}, [], set(), []
    counter = [0]

    def visit(node):
        index[node] = low[node] = counter[0]
        counter[0] += 1
        stack.append(node)
        on_stack.add(node)
        for successor in sorted(edges.get(node, ())):
            if successor not in index:
                visit(successor)
                low[node] = min(low[node], low[successor])
            elif successor in on_stack:
                low[node] = min(low[node], index[successor])
        if low[node] == index[node]:
            component = []
            while True:
                member = stack.pop()
                on_stack.discard(member)
                component.append(member)
                if member == node:
                    break
            if len(component) > 1:
                circles.append(sorted(component))

    for node in sorted(edges):
        if node not in index:
            visit(node)
    return circles


def shortest_round(edges, members, start):
    """The shortest way from `start` back to itself through `members`: [start, ..., start]."""
    previous = {}
    frontier = [start]
    while frontier:
        following = []
        for node in frontier:
            for successor in sorted(edges.get(node, ())):
                if successor not in members or successor in previous:
                    continue
                previous[successor] = node
                if successor == start:
                    path = [start]
                    while True:
                        path.append(previous[path[-1]])
                        if path[-1] == start:
                            return path[::-1]
                following.append(successor)
        frontier = following
    return [start]


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: include_floors.py SRC_DIR")
    src = Path(sys.argv[1]).resolve()
    res = src.parent / "res"
    problems = []
    used_allowances = set()
    counts = defaultdict(lambda: defaultdict(int))  # from folder -> to folder -> includes
    edges = defaultdict(set)
    examples = {}  # (from folder, to folder) -> first include that joins them

    files = sorted(p for p in src.rglob("*") if p.suffix in {".h", ".cpp"})
    for path in files:
        relative = path.relative_to(src).as_posix()
        source = folder_of(relative)
        if floor_of(source) not in RANK:
            problems.append(f"{relative}: is in no floor (floors: {' '.join(FLOORS)})")
            continue
        for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            bracket, header = match.groups()
            where = f"src/{relative}:{number}: {header}"
            if bracket == "<":
                if is_portable(source) and not is_standard(header):
                    problems.append(f"{where}: a portable file includes a system header that is not standard")
                continue
            target = folder_of(header)
            exists = (res / header).is_file() if target == "res" else (src / header).is_file()
            if not target or not exists:
                problems.append(f"{where}: no such header in src/ or res/ (include it by its path under src/)")
                continue
            counts[source][target] += 1
            if target != source:
                edges[source].add(target)
                examples.setdefault((source, target), f"src/{relative}:{number}: {header}")
            why = None
            if RANK[floor_of(target)] > RANK[floor_of(source)]:
                why = f"{floor_of(source)} is below {floor_of(target)}: includes run down the floors only"
            elif is_portable(source) and not is_portable(target):
                why = f"a portable file ({source}/) includes a non-portable header ({target}/)"
            if why is None:
                continue
            allowance = ALLOWED.get((relative, header))
            if allowance is not None:
                used_allowances.add((relative, header))
                continue
            problems.append(f"{where}: {why}")

    for circle in find_circles(edges):
        path = shortest_round(edges, set(circle), circle[0])
        links = [examples[(a, b)] for a, b in zip(path, path[1:])]
        problems.append(f"circle between folders {' -> '.join(path)}: " + "; ".join(links))

    for relative, header in sorted(set(ALLOWED) - used_allowances):
        print(f"note: src/{relative} no longer needs its allowance for {header}: remove it from {Path(__file__).name}")

    if problems:
        print("\n".join(problems))
        print(f"include_floors: {len(problems)} problem(s); floors, lowest first: {' '.join(FLOORS)}")
        return 1

    folders = sorted({f for f in counts} | {t for row in counts.values() for t in row},
                     key=lambda f: (RANK[floor_of(f)], f))
    width = max(len(f) for f in folders)
    print(f"includes by folder (row includes column); floors, lowest first: {' '.join(FLOORS)}")
    print(" " * width + "".join(f" {i:>3}" for i in range(len(folders))))
    for i, source in enumerate(folders):
        cells = "".join(f" {counts[source].get(t, 0) or '.':>3}" for t in folders)
        print(f"{source:<{width}}{cells}  {i}")
    total = sum(sum(row.values()) for row in counts.values())
    print(f"include_floors: {total} includes in {len(files)} files run down the floors; no circles")
    return 0


if __name__ == "__main__":
    sys.exit(main())
