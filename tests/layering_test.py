#!/usr/bin/env python3
"""The layers of src/, as the #include lines draw them.

A unit is a header with its source file (platform-posix.cc and
platform-win32.cc are one unit with platform.h). Every include, in any form
("driver/run.h", <driver/run.h>, "../driver/run.h", "run.h"), is resolved
to the file it names; one that names no file under src/ is a system header.
The check fails, naming the units, when units include each other around a
circle, when a unit includes a unit its layer may not use (RULES), when a
folder has no rule, or when a unit outside the platform layer includes a
system header other than the C++ standard library's.

  layering_test.py SRC       checks the tree under SRC
  layering_test.py --self    checks the check on small trees of its own
"""

import os
import re
import sys
import tempfile

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.MULTILINE)
VARIANT = re.compile(r"-(posix|win32)$")
SOURCE_SUFFIXES = (".h", ".cc", ".inc")

# Layers by unit, checked in this order; a unit belongs to the first whose
# pattern matches. What a layer may use is given by layer name.
LAYERS = [
    ("platform", re.compile(r"platform/")),
    # Shared by both programs, needing nothing else of adpack.
    ("shared", re.compile(
        r"(bank/bank_layout|driver/command_line|driver/file_names)$")),
    ("services", re.compile(
        r"driver/(stream|messages|message_catalogue|guarded_open|run_end)$")),
    ("list", re.compile(r"list/")),
    ("bank", re.compile(r"bank/")),
    ("run", re.compile(r"driver/")),
    ("adpcm", re.compile(r"adpcm/")),
    ("wav", re.compile(r"wav/")),
    ("pdxdump", re.compile(r"pdxdump/")),
    ("adpcm_tool", re.compile(r"adpcm_tool/")),
]
RULES = {
    "platform": {"platform"},
    "shared": {"shared"},
    "services": {"services", "shared", "platform"},
    "list": {"list", "services", "shared", "platform"},
    "bank": {"bank", "services", "shared", "platform"},
    "run": {"run", "list", "bank", "services", "shared", "platform"},
    # The decoder uses nothing of adpack.
    "adpcm": {"adpcm"},
    "wav": {"wav", "adpcm"},
    # Its list check reads a list with adpack's own list reader, over the
    # same stream; nothing else of adpack's run.
    "pdxdump": {"pdxdump", "platform", "adpcm", "wav", "shared", "list",
                "driver/stream"},
    "adpcm_tool": {"adpcm_tool", "platform", "adpcm", "wav",
                   "driver/command_line"},
}
# The one unit that reads and resamples sound files, and the headers of the
# libraries it does that with.
SOUND_UNIT = "adpcm_tool/sound_file"
SOUND_HEADERS = {"sndfile.h", "samplerate.h"}
# Units that may use a single unit of another layer: "layer/unit" entries
# in RULES name units, plain entries name layers.

# Headers of the C++ standard library (with the C library's <c...> forms),
# the only system headers allowed outside the platform layer.
STANDARD_HEADERS = set("""
algorithm any array atomic barrier bit bitset charconv chrono codecvt
compare complex concepts condition_variable coroutine deque exception
execution expected filesystem format forward_list fstream functional future
initializer_list iomanip ios iosfwd iostream istream iterator latch limits
list locale map memory memory_resource mutex new numbers numeric optional
ostream queue random ranges ratio regex scoped_allocator semaphore set
shared_mutex source_location span sstream stack stdexcept stop_token
streambuf string string_view strstream syncstream system_error thread tuple
type_traits typeindex typeinfo unordered_map unordered_set utility valarray
variant vector version
cassert cctype cerrno cfenv cfloat cinttypes climits clocale cmath csetjmp
csignal cstdarg cstddef cstdint cstdio cstdlib cstring ctime cuchar cwchar
cwctype
""".split())
# Tests call the system and GoogleTest; only the programs' own code is held
# to the standard library.
TEST_UNIT = re.compile(r"_test$")


def unit_of(relative):
    stem = os.path.splitext(relative.replace(os.sep, "/"))[0]
    return VARIANT.sub("", stem)


def layer_of(unit):
    for name, pattern in LAYERS:
        if pattern.match(unit):
            return name
    return None


def resolve(src, including, form, target):
    """The path under src that an include names, or None for a file outside
    src (a system header, or test support)."""
    bases = [src]
    if form == '"':
        bases.insert(0, os.path.dirname(including))
    for base in bases:
        path = os.path.normpath(os.path.join(base, target))
        inside = os.path.relpath(path, src)
        if inside.startswith(os.pardir) or not os.path.isfile(path):
            continue
        return inside
    return None


def read_units(src):
    """Each unit with the units it includes (itself left out), and the
    system headers each includes."""
    units, system = {}, {}
    for folder, _, names in os.walk(src):
        for name in sorted(names):
            if not name.endswith(SOURCE_SUFFIXES):
                continue
            path = os.path.join(folder, name)
            unit = unit_of(os.path.relpath(path, src))
            included = units.setdefault(unit, set())
            headers = system.setdefault(unit, set())
            with open(path, encoding="utf-8", errors="replace") as source:
                text = source.read()
            for form, target in INCLUDE.findall(text):
                inside = resolve(src, path, form, target)
                if inside is None:
                    headers.add(target)
                elif unit_of(inside) != unit:
                    included.add(unit_of(inside))
    return units, system


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


def may_use(layer, target):
    allowed = RULES[layer]
    return layer_of(target) in allowed or target in allowed


def problems(src):
    units, system = read_units(src)
    found = []
    for circle, group in cycles(units):
        problem = "units include each other: " + " -> ".join(circle)
        if len(group) + 1 > len(circle):
            problem += " (the whole group: " + ", ".join(group) + ")"
        found.append(problem)
    unruled = sorted({unit.split("/", 1)[0] for unit in units
                      if layer_of(unit) is None})
    for folder in unruled:
        found.append(f"{folder}/ has no rule of its own")
    for unit in sorted(units):
        layer = layer_of(unit)
        if layer is None:
            continue
        for target in sorted(units[unit]):
            if layer_of(target) is not None and not may_use(layer, target):
                found.append(f"{unit} ({layer}) includes {target} "
                             f"({layer_of(target)})")
        if layer == "platform" or TEST_UNIT.search(unit):
            continue
        for header in sorted(system[unit]):
            if unit == SOUND_UNIT and header in SOUND_HEADERS:
                continue
            if header not in STANDARD_HEADERS:
                found.append(f"{unit} includes the system header <{header}>")
    return found


# Small trees, each file with its include lines (as written after
# "#include "), and what the check must say of them.
LAYERED_TREE = {
    "platform/platform.h": [],
    "platform/platform-posix.cc": ['"platform/platform.h"', "<unistd.h>"],
    "platform/platform-win32.cc": ['"platform/platform.h"', "<windows.h>"],
    "driver/stream.h": [],
    "driver/stream.cc": ['"driver/stream.h"', '"platform/platform.h"'],
    "driver/run_end.cc": ['"run_end.h"', '"driver/stream.h"'],
    "driver/run_end.h": [],
    "list/list_reader.cc": ['"list/list_reader.h"', '"driver/run_end.h"'],
    "list/list_reader.h": ['"driver/stream.h"'],
    "list/list_reader_test.cc": ['"list/list_reader.h"', "<unistd.h>"],
    "driver/run.cc": ['"driver/run.h"', '"list/list_reader.h"'],
    "driver/run.h": [],
    "adpcm/adpcm.cc": ['"adpcm/adpcm.h"', "<cstdint>"],
    "adpcm/adpcm.h": [],
    "pdxdump/bank_file.cc": ['"../platform/platform.h"',
                             '<bank/bank_layout.h>', '"adpcm/adpcm.h"'],
    "bank/bank_layout.h": [],
}

SELF_CASES = [
    ("layered tree", LAYERED_TREE, []),
    ("two units include each other", {
        "driver/a.h": ['"driver/b.h"'],
        "driver/b.cc": ['"driver/b.h"', '"driver/a.h"'],
        "driver/b.h": [],
    }, ["units include each other: driver/a -> driver/b -> driver/a"]),
    ("a circle of three", {
        "list/list_reader.cc": ['"driver/stream.h"'],
        "driver/stream.cc": ['"bank/entry_writer.h"'],
        "bank/entry_writer.h": ['"list/list_reader.h"'],
    }, ["units include each other: bank/entry_writer -> list/list_reader "
        "-> driver/stream -> bank/entry_writer",
        "bank/entry_writer (bank) includes list/list_reader (list)",
        "driver/stream (services) includes bank/entry_writer (bank)"]),
    # Every form of include names the run.
    ("list and bank include the run", {
        "driver/run.h": [],
        "list/list_reader.cc": ['"driver/run.h"'],
        "list/list_reader.h": ["<driver/run.h>"],
        "bank/entry_writer.cc": ['"../driver/run.h"'],
        "bank/entry_writer_test.cc": ['"driver/run.h"'],
    }, ["bank/entry_writer (bank) includes driver/run (run)",
        "bank/entry_writer_test (bank) includes driver/run (run)",
        "list/list_reader (list) includes driver/run (run)"]),
    ("a name beside the including file", {
        "driver/guarded_open.h": [],
        "driver/run.h": [],
        "driver/guarded_open.cc": ['"run.h"'],
    }, ["driver/guarded_open (services) includes driver/run (run)"]),
    ("the platform layer reaches up", {
        "driver/stream.h": [],
        "platform/platform.h": [],
        "platform/platform-win32.cc": ['"platform/platform.h"',
                                       '"driver/stream.h"'],
    }, ["platform/platform (platform) includes driver/stream (services)"]),
    ("the decoder and pdxdump reach into adpack", {
        "driver/stream.h": [],
        "driver/messages.h": [],
        "adpcm/adpcm.cc": ['"driver/stream.h"'],
        "pdxdump/main.cc": ['"../driver/messages.h"'],
    }, ["adpcm/adpcm (adpcm) includes driver/stream (services)",
        "pdxdump/main (pdxdump) includes driver/messages (services)"]),
    ("system headers outside the platform layer", {
        "driver/stream.cc": ["<unistd.h>", "<cstdio>"],
        "pdxdump/main.cc": ['"windows.h"', "<string>"],
        "pdxdump/main_test.cc": ["<sys/stat.h>", "<gtest/gtest.h>"],
    }, ["driver/stream includes the system header <unistd.h>",
        "pdxdump/main includes the system header <windows.h>"]),
    ("sound libraries outside their unit", {
        "adpcm_tool/sound_file.cc": ["<sndfile.h>", "<samplerate.h>"],
        "adpcm_tool/run.cc": ["<sndfile.h>", '"adpcm/encoder.h"',
                              '"wav/wav.h"'],
        "wav/wav.cc": ['"adpcm/adpcm.h"', '"pdxdump/bank_file.h"'],
    }, ["adpcm_tool/run includes the system header <sndfile.h>",
        "wav/wav (wav) includes pdxdump/bank_file (pdxdump)"]),
    ("a folder without a rule", {
        "sound/reader.cc": ['"adpcm/adpcm.h"'],
        "adpcm/adpcm.h": [],
    }, ["sound/ has no rule of its own"]),
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
                    out.write("".join(f"#include {i}\n" for i in includes))
            # Every quoted header with a folder in its name is there, empty
            # where the case leaves it out; the rest stand for system ones.
            for path, includes in files.items():
                for include in includes:
                    if not (include.startswith('"') and "/" in include):
                        continue
                    base = src
                    if include.startswith('"..'):
                        base = os.path.dirname(os.path.join(src, path))
                    target = os.path.normpath(
                        os.path.join(base, include.strip('"')))
                    if not os.path.exists(target):
                        os.makedirs(os.path.dirname(target), exist_ok=True)
                        open(target, "w").close()
            got = problems(src)
        if sorted(got) != sorted(expected):
            failures += 1
            print(f"{name}: expected {sorted(expected)}, got {sorted(got)}")
    return failures


def main(argv):
    if argv[1:] == ["--self"]:
        failures = self_check()
        print(f"{failures} of {len(SELF_CASES)} cases wrong")
        return 1 if failures else 0
    if len(argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    units, _ = read_units(argv[1])
    if not units:
        print(f"no source files under {argv[1]}")
        return 1
    found = problems(argv[1])
    for problem in found:
        print(problem)
    if found:
        return 1
    print(f"the layers hold over {len(units)} units")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
