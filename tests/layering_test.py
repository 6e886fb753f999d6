#!/usr/bin/env python3
"""The layers of src/, as the #include lines draw them.

A unit is a header with its source file (platform-posix.cc and
platform-win32.cc are one unit with platform.h). The check fails, naming the
units, when units include each other around a circle, when a unit of the list
reader or the bank writer includes the run, or when the platform layer
includes anything of the folders above it.

  layering_test.py SRC       checks the tree under SRC
  layering_test.py --self    checks the check on small trees of its own
"""

import os
import re
import sys
import tempfile

INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.MULTILINE)
VARIANT = re.compile(r"-(posix|win32)$")
SOURCE_SUFFIXES = (".h", ".cc", ".inc")
RUN = "driver/run"
BELOW_THE_RUN = ("list", "bank")
PLATFORM = "platform"


def unit_of(relative):
    stem = os.path.splitext(relative.replace(os.sep, "/"))[0]
    return VARIANT.sub("", stem)


def folder_of(unit):
    return unit.split("/", 1)[0]


def read_units(src):
    """Each unit with the units it includes (itself left out)."""
    units = {}
    for folder, _, names in os.walk(src):
        for name in sorted(names):
            if not name.endswith(SOURCE_SUFFIXES):
                continue
            path = os.path.join(folder, name)
            unit = unit_of(os.path.relpath(path, src))
            included = units.setdefault(unit, set())
            with open(path, encoding="utf-8", errors="replace") as source:
                text = source.read()
            for target in INCLUDE.findall(text):
                # Only what lies under src/: system and test headers are
                # outside the layers.
                if not os.path.isfile(os.path.join(src, target)):
                    continue
                if unit_of(target) != unit:
                    included.add(unit_of(target))
    return units


def cycles(units):
    """For each group of units that reach each other, one circle of
    includes through it and the whole group."""
    index, low, on_stack, stack, groups = {}, {}, set(), [], []
    counter = [0]

    def visit(unit):
        index[unit] = low[unit] = counter[0]
        counter[0] += 1
        stack.append(unit)
        on_stack.add(unit)
        for target in sorted(units.get(unit, ())):
            if target not in index:
                visit(target)
                low[unit] = min(low[unit], low[target])
            elif target in on_stack:
                low[unit] = min(low[unit], index[target])
        if low[unit] == index[unit]:
            group = set()
            while True:
                member = stack.pop()
                on_stack.discard(member)
                group.add(member)
                if member == unit:
                    break
            if len(group) > 1:
                groups.append(group)

    for unit in sorted(units):
        if unit not in index:
            visit(unit)

    circles = []
    for group in groups:
        start = min(group)
        # A shortest way back to the start, inside the group.
        paths = {start: [start]}
        frontier = [start]
        circle = None
        while frontier and circle is None:
            following = []
            for unit in frontier:
                for target in sorted(units[unit] & group):
                    if target == start:
                        circle = paths[unit] + [start]
                        break
                    if target not in paths:
                        paths[target] = paths[unit] + [target]
                        following.append(target)
                if circle:
                    break
            frontier = following
        circles.append((circle, sorted(group)))
    return circles


def problems(src):
    units = read_units(src)
    found = []
    for circle, group in cycles(units):
        problem = "units include each other: " + " -> ".join(circle)
        if len(group) + 1 > len(circle):
            problem += " (the whole group: " + ", ".join(group) + ")"
        found.append(problem)
    for unit in sorted(units):
        for target in sorted(units[unit]):
            if folder_of(unit) in BELOW_THE_RUN and target == RUN:
                found.append(f"{unit} includes the run ({RUN})")
            if folder_of(unit) == PLATFORM and folder_of(target) != PLATFORM:
                found.append(f"{unit} is the platform layer but includes "
                             f"{target}")
    return found


# Small trees, each file with its include lines, and what the check must say
# of them.
SELF_CASES = [
    ("layered tree", {
        "platform/platform.h": [],
        "platform/platform-posix.cc": ["platform/platform.h"],
        "platform/platform-win32.cc": ["platform/platform.h"],
        "driver/stream.h": [],
        "driver/stream.cc": ["driver/stream.h", "platform/platform.h"],
        "driver/run_end.cc": ["driver/run_end.h", "driver/stream.h"],
        "driver/run_end.h": [],
        "list/list_reader.cc": ["list/list_reader.h", "driver/run_end.h"],
        "list/list_reader.h": ["driver/stream.h"],
        "driver/run.cc": ["driver/run.h", "list/list_reader.h"],
        "driver/run.h": [],
    }, []),
    ("two units include each other", {
        "driver/a.h": ["driver/b.h"],
        "driver/b.cc": ["driver/b.h", "driver/a.h"],
        "driver/b.h": [],
    }, ["units include each other: driver/a -> driver/b -> driver/a"]),
    ("a circle of three", {
        "list/list_reader.cc": ["driver/stream.h"],
        "driver/stream.cc": ["bank/entry_writer.h"],
        "bank/entry_writer.h": ["list/list_reader.h"],
    }, ["units include each other: bank/entry_writer -> list/list_reader "
        "-> driver/stream -> bank/entry_writer"]),
    ("list and bank include the run", {
        "driver/run.h": [],
        "list/list_reader.cc": ["driver/run.h"],
        "bank/entry_writer_test.cc": ["driver/run.h"],
    }, ["bank/entry_writer_test includes the run (driver/run)",
        "list/list_reader includes the run (driver/run)"]),
    ("the platform layer reaches up", {
        "driver/stream.h": [],
        "platform/platform.h": [],
        "platform/platform-win32.cc": ["platform/platform.h",
                                       "driver/stream.h"],
    }, ["platform/platform is the platform layer but includes "
        "driver/stream"]),
]


def self_check():
    failures = 0
    for name, files, expected in SELF_CASES:
        with tempfile.TemporaryDirectory() as src:
            for path, includes in files.items():
                os.makedirs(os.path.dirname(os.path.join(src, path)),
                            exist_ok=True)
                with open(os.path.join(src, path), "w") as out:
                    out.write("#include <string>\n")
                    out.write("".join(f'#include "{i}"\n' for i in includes))
            # Every included header is there, empty where the case leaves
            # it out.
            for path, includes in files.items():
                for target in includes:
                    target_path = os.path.join(src, target)
                    if not os.path.exists(target_path):
                        os.makedirs(os.path.dirname(target_path),
                                    exist_ok=True)
                        open(target_path, "w").close()
            got = problems(src)
        if got != expected:
            failures += 1
            print(f"{name}: expected {expected}, got {got}")
    return failures


def main(argv):
    if argv[1:] == ["--self"]:
        failures = self_check()
        print(f"{failures} of {len(SELF_CASES)} cases wrong")
        return 1 if failures else 0
    if len(argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    if not read_units(argv[1]):
        print(f"no source files under {argv[1]}")
        return 1
    found = problems(argv[1])
    for problem in found:
        print(problem)
    if found:
        return 1
    print(f"the layers hold over {len(read_units(argv[1]))} units")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
