#!/usr/bin/env python3
"""Times adpack (and pdxdump) beside named baselines in one run.

Each scenario runs its contenders in rounds, interleaved and in alternating
order, and reports medians and the ratio of adpack to each baseline round by
round. Nothing here fails on a time: a run fails only when a contender fails
or writes the wrong bytes.

  python3 bench/bench.py [--small] [--adpack PATH] [--pdxdump PATH]
                         [--also NAME=PATH]... [--only a|b|c|d|e|f|g]...

--small runs every scenario on small sizes, to prove the script works.
--also races another build of adpack beside the first, under NAME.
"""

import argparse
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
TABLE_SIZE = 768
MIB = 1 << 20


def spawn(argv, cwd, stdout_path=None, stdin_fd=None):
    """Runs argv in cwd to its end; returns (seconds, peak RSS KiB, status)."""
    out = os.open(stdout_path or os.devnull,
                  os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
    err = os.open(os.devnull, os.O_WRONLY)
    null_in = os.dup(stdin_fd) if stdin_fd is not None else os.open(
        os.devnull, os.O_RDONLY)
    # posix_spawn takes no working directory before Python 3.13, and a fork
    # of this interpreter would cost more than the tiniest run it times.
    here = os.getcwd()
    os.chdir(cwd)
    try:
        start = time.perf_counter()
        # A session of its own: no terminal that a question could wait on.
        pid = os.posix_spawn(argv[0], argv, os.environ,
                             file_actions=[(os.POSIX_SPAWN_DUP2, null_in, 0),
                                           (os.POSIX_SPAWN_DUP2, out, 1),
                                           (os.POSIX_SPAWN_DUP2, err, 2)],
                             setsid=True)
        _, status, usage = os.wait4(pid, 0)
        seconds = time.perf_counter() - start
    finally:
        os.chdir(here)
        os.close(out)
        os.close(err)
        os.close(null_in)
    return seconds, usage.ru_maxrss, os.waitstatus_to_exitcode(status)


def peak_memory_kib(argv, cwd, stdout_path):
    """Peak resident memory of one run, from GNU time, which forks from a
    process far smaller than this interpreter; None without it."""
    gnu_time = shutil.which("time", path="/usr/bin:/bin")
    if not gnu_time:
        return None
    with tempfile.NamedTemporaryFile("r", suffix=".time") as record:
        _, _, status = spawn([gnu_time, "-f", "%M", "-o", record.name] + argv,
                             cwd, stdout_path)
        if status != 0:
            sys.exit(f"{argv[0]} ended with status {status} under time")
        return int(record.read().split()[-1])


def remove(path):
    if os.path.isdir(path):
        shutil.rmtree(path)
        return
    try:
        os.unlink(path)
    except FileNotFoundError:
        pass


class Contender:
    def __init__(self, name, argv, output, stdout_path, cwd, replace=False,
                 answer=False):
        self.name = name
        self.argv = argv
        self.output = output  # removed before each run, unless replaced
        self.stdout_path = stdout_path
        self.cwd = cwd
        self.replace = replace
        # Run on a terminal of its own that has Y typed, for the question.
        self.answer = answer
        self.times = []
        self.peak_kib = None

    def spawn(self):
        if not self.replace:
            remove(self.output)
        if not self.answer:
            return spawn(self.argv, self.cwd, self.stdout_path)
        master, slave = os.openpty()
        try:
            os.write(master, b"y")
            # setsid -c makes the terminal on standard input the run's own.
            return spawn([shutil.which("setsid"), "-c", "-w"] + self.argv,
                         self.cwd, self.stdout_path, slave)
        finally:
            os.close(slave)
            os.close(master)

    def run(self, repeat):
        """Runs repeat times in a row; records the median time of one."""
        times = []
        # No dirty pages left by the contender before.
        os.sync()
        for _ in range(repeat):
            seconds, _, status = self.spawn()
            if status != 0:
                sys.exit(f"{self.name} ended with status {status}: "
                         f"{' '.join(self.argv)}")
            times.append(seconds)
        self.times.append(statistics.median(times))

    def measure_memory(self):
        remove(self.output)
        self.peak_kib = peak_memory_kib(self.argv, self.cwd, self.stdout_path)


def race(contenders, rounds, repeat=1):
    """Interleaved rounds, the order reversed every other round; then the
    peak memory of one more run of each, untimed."""
    for round_index in range(rounds):
        order = contenders if round_index % 2 == 0 else contenders[::-1]
        for contender in order:
            contender.run(repeat)
    for contender in contenders:
        contender.measure_memory()


def mib(kib):
    return "n/a" if kib is None else f"{kib / 1024:.1f}MiB"


def report_race(title, contenders, builds=1):
    """The first builds contenders are builds of adpack; each is set beside
    every baseline after them."""
    print(f"\n{title}")
    print(f"  {'contender':<16}{'median':>12}{'min':>12}{'peak RSS':>12}")
    for c in contenders:
        print(f"  {c.name:<16}{statistics.median(c.times) * 1000:>10.2f}ms"
              f"{min(c.times) * 1000:>10.2f}ms{mib(c.peak_kib):>12}")
    for adpack in contenders[:builds]:
        for baseline in contenders[builds:]:
            ratios = [a / b for a, b in zip(adpack.times, baseline.times)]
            print(f"  {adpack.name} / {baseline.name}: median "
                  f"{statistics.median(ratios):.3f} (rounds {min(ratios):.3f}"
                  f" to {max(ratios):.3f})")


def write_samples(directory, sizes, seed):
    rng = random.Random(seed)
    names = []
    for index, size in enumerate(sizes):
        name = f"s{index:02d}.pcm"
        with open(os.path.join(directory, name), "wb") as f:
            f.write(rng.randbytes(size))
        names.append(name)
    return names


def check_bank(path, samples_dir, names):
    """The bank must hold every sample once, after the table."""
    with open(path, "rb") as f:
        bank = f.read()
    expected = b"".join(open(os.path.join(samples_dir, n), "rb").read()
                        for n in names)
    if bank[TABLE_SIZE:] != expected:
        sys.exit(f"{path}: the data area is not the samples back to back")


def build_baseline(work):
    compiler = os.environ.get("CXX") or shutil.which("c++") or "g++"
    binary = os.path.join(work, "copy_baseline")
    subprocess.run([compiler, "-O2", "-o", binary,
                    os.path.join(HERE, "copy_baseline.cc")], check=True)
    return binary


def big_samples(args, work, baseline):
    total = args.large_total
    sizes = [total // 96] * 96
    sizes[-1] += total - sum(sizes)
    directory = os.path.join(work, "large")
    os.makedirs(directory)
    names = write_samples(directory, sizes, 1)
    with open(os.path.join(directory, "bank.pdl"), "w") as f:
        f.writelines(f"{slot} = {name}\n" for slot, name in enumerate(names))
    bank = os.path.join(directory, "bank.pdx")
    progress = os.path.join(directory, "progress.txt")
    builds = [Contender(name, [path, "bank"], bank, progress, directory)
              for name, path in args.builds]
    contenders = builds + [
        Contender("copy_baseline", [baseline, "copy.out"] + names,
                  os.path.join(directory, "copy.out"), None, directory),
        Contender("cat", [shutil.which("cat")] + names,
                  os.path.join(directory, "cat.out"),
                  os.path.join(directory, "cat.out"), directory),
    ]
    race(contenders, args.rounds)
    check_bank(bank, directory, names)
    report_race(f"(a) 96 distinct samples, {total / MIB:.0f} MiB in all: "
                f"one bank", contenders, len(builds))
    bound = (max(sizes) + 2 * MIB) / 1024
    base = contenders[len(builds)].peak_kib
    for build in builds:
        peak = build.peak_kib
        if peak is None:
            print("  peak memory: /usr/bin/time not found (apt-get install "
                  "time)")
            break
        print(f"  {build.name} peak RSS {mib(peak)}; largest sample + 2 MiB "
              f"= {mib(bound)}: {'within' if peak <= bound else 'over'}; "
              f"{(peak - base) / 1024:+.1f} MiB beside copy_baseline")
    shutil.rmtree(directory)


def new_and_replaced_bank(args, work, baseline):
    """The bank made new, and made over a bank of the same size that the
    user agrees to replace (on a terminal of its own, with Y typed), each
    beside copy_baseline writing a new file and over an old one. On ext4 a
    file truncated to zero is written out at its close: a replaced file pays
    that, a new one must not."""
    total = args.large_total
    sizes = [total // 96] * 96
    sizes[-1] += total - sum(sizes)
    directory = os.path.join(work, "replace")
    os.makedirs(directory)
    names = write_samples(directory, sizes, 5)
    for list_name in ("new", "old"):
        with open(os.path.join(directory, list_name + ".pdl"), "w") as f:
            f.writelines(f"{slot} = {name}\n"
                         for slot, name in enumerate(names))
    progress = os.path.join(directory, "progress.txt")
    contenders = []
    for name, path in args.builds:
        contenders += [
            Contender(f"{name} new", [path, "new"],
                      os.path.join(directory, "new.pdx"), progress,
                      directory),
            Contender(f"{name} replaced", [path, "old"],
                      os.path.join(directory, "old.pdx"), progress,
                      directory, replace=True, answer=True)]
    contenders += [
        Contender("copy new", [baseline, "copy-new.out"] + names,
                  os.path.join(directory, "copy-new.out"), None, directory),
        Contender("copy replaced", [baseline, "copy-old.out"] + names,
                  os.path.join(directory, "copy-old.out"), None, directory,
                  replace=True)]
    # Something to replace from the first round on.
    for contender in contenders:
        if contender.replace:
            with open(contender.output, "wb") as f:
                f.truncate(TABLE_SIZE + total)
    race(contenders, args.rounds)
    check_bank(os.path.join(directory, "new.pdx"), directory, names)
    check_bank(os.path.join(directory, "old.pdx"), directory, names)
    print(f"\n(h) 96 distinct samples, {total / MIB:.0f} MiB in all: a new "
          f"bank and a replaced one")
    for c in contenders:
        print(f"  {c.name:<20}median {statistics.median(c.times) * 1000:.2f}"
              f"ms")
    copy_new, copy_old = contenders[-2:]
    for index in range(len(args.builds)):
        for build, copy in zip(contenders[2 * index:2 * index + 2],
                               (copy_new, copy_old)):
            ratios = [a / b for a, b in zip(build.times, copy.times)]
            print(f"  {build.name} / {copy.name}: median "
                  f"{statistics.median(ratios):.3f} (rounds "
                  f"{min(ratios):.3f} to {max(ratios):.3f})")
    shutil.rmtree(directory)


def names_in_another_case(args, work):
    """Every sample named in another letter case than its file's, beside the
    same list in the right case, in a directory of as many files: the lookup
    must not read the directory for every name."""
    for count in args.case_samples:
        directory = os.path.join(work, f"case{count}")
        os.makedirs(directory)
        names = write_samples_named(directory, count)
        with open(os.path.join(directory, "right.pdl"), "w") as f:
            f.writelines(f"{i % 96} = {name}\n"
                         for i, name in enumerate(names))
        with open(os.path.join(directory, "wrong.pdl"), "w") as f:
            f.writelines(f"{i % 96} = {name.upper()}\n"
                         for i, name in enumerate(names))
        progress = os.path.join(directory, "progress.txt")
        contenders = []
        for name, path in args.builds:
            contenders += [
                Contender(f"{name} wrong case", [path, "wrong"],
                          os.path.join(directory, "wrong.pdx"), progress,
                          directory),
                Contender(f"{name} right case", [path, "right"],
                          os.path.join(directory, "right.pdx"), progress,
                          directory)]
        race(contenders, args.rounds)
        for list_name in ("right", "wrong"):
            check_bank(os.path.join(directory, list_name + ".pdx"),
                       directory, names)
        print(f"\n(g) {count:,} samples of 1 to 4 bytes in a directory of "
              f"{count + 3:,} files, named in another case and in their own")
        for index in range(len(args.builds)):
            wrong, right = contenders[2 * index:2 * index + 2]
            ratios = [a / b for a, b in zip(wrong.times, right.times)]
            print(f"  {wrong.name}: median "
                  f"{statistics.median(wrong.times):.3f} s; "
                  f"{right.name}: {statistics.median(right.times):.3f} s; "
                  f"wrong / right: median {statistics.median(ratios):.2f} "
                  f"(target at most 3)")
        shutil.rmtree(directory)


def write_samples_named(directory, count):
    rng = random.Random(6)
    names = [f"w{index:05d}.pcm" for index in range(count)]
    for index, name in enumerate(names):
        with open(os.path.join(directory, name), "wb") as f:
            f.write(rng.randbytes(1 + index % 4))
    return names


def count_syscalls(argv, cwd, stdout_path):
    strace = shutil.which("strace")
    if not strace:
        return None
    summary = os.path.join(cwd, "strace.txt")
    spawn([strace, "-f", "-c", "-o", summary] + argv, cwd, stdout_path)
    calls = None
    with open(summary) as f:
        for line in f:
            fields = line.split()
            if fields and fields[-1] == "total":
                calls = int(fields[3])
    os.unlink(summary)
    return calls


def long_list(args, work):
    directory = os.path.join(work, "list")
    os.makedirs(directory)
    names = write_samples(directory, [64] * 96, 2)
    lines = args.lines
    with open(os.path.join(directory, "long.pdl"), "w") as f:
        f.writelines(f"{i % 96} = {names[i % 96]}\n" for i in range(lines))
    bank = os.path.join(directory, "long.pdx")
    progress = os.path.join(directory, "progress.txt")
    builds = [Contender(name, [path, "long"], bank, progress, directory)
              for name, path in args.builds]
    race(builds, args.rounds)
    check_bank(bank, directory, names)
    print(f"\n(b) a list of {lines:,} lines over 96 samples of 64 bytes, "
          f"progress to a file")
    for build in builds:
        seconds = statistics.median(build.times)
        remove(bank)
        calls = count_syscalls(build.argv, directory, progress)
        calls_text = ("strace not found" if calls is None else
                      f"{calls:,} system calls, {calls / lines:.3f} per line")
        print(f"  {build.name}: median {seconds:.3f} s, "
              f"{lines / seconds:,.0f} lines per second; peak RSS "
              f"{mib(build.peak_kib)}; {calls_text}")
    shutil.rmtree(directory)


def tiny_bank(args, work):
    directory = os.path.join(work, "tiny")
    os.makedirs(directory)
    names = write_samples(directory, [1000, 300, 2000], 3)
    with open(os.path.join(directory, "tiny.pdl"), "w") as f:
        f.writelines(f"{slot} = {name}\n" for slot, name in enumerate(names))
    bank = os.path.join(directory, "tiny.pdx")
    cat_out = os.path.join(directory, "cat.out")
    progress = os.path.join(directory, "progress.txt")
    builds = [Contender(name, [path, "tiny"], bank, progress, directory)
              for name, path in args.builds]
    contenders = builds + [
        Contender("cat", [shutil.which("cat")] + names, cat_out, cat_out,
                  directory),
    ]
    race(contenders, args.rounds, args.tiny_repeat)
    check_bank(bank, directory, names)
    report_race(f"(c) a tiny bank of 3 samples, whole process, median of "
                f"{args.tiny_repeat} runs a round", contenders, len(builds))
    shutil.rmtree(directory)


def many_names(args, work):
    """Lists that name ever more distinct samples: a lookup by name must not
    grow with the samples already placed, so the time per entry of the
    longest list is set beside that of the shortest."""
    directory = os.path.join(work, "names")
    os.makedirs(directory)
    sizes = args.name_entries
    # Every sample is named twice: once new, once shared.
    names = [f"n{index:06d}.pcm" for index in range(max(sizes) // 2)]
    rng = random.Random(4)
    for index, name in enumerate(names):
        with open(os.path.join(directory, name), "wb") as f:
            f.write(rng.randbytes(1 + index % 4))
    print(f"\n(d) lists naming many distinct samples of 1 to 4 bytes, each "
          f"twice, progress to a file")
    per_entry = {}
    for entries in sizes:
        distinct = entries // 2
        list_name = f"names{entries}"
        with open(os.path.join(directory, list_name + ".pdl"), "w") as f:
            f.writelines(f"{i % 96} = {names[i % distinct]}\n"
                         for i in range(entries))
        bank = os.path.join(directory, list_name + ".pdx")
        progress = os.path.join(directory, "progress.txt")
        builds = [Contender(name, [path, list_name], bank, progress,
                            directory) for name, path in args.builds]
        race(builds, args.rounds)
        check_bank(bank, directory, names[:distinct])
        for build in builds:
            seconds = statistics.median(build.times)
            per_entry[build.name, entries] = seconds / entries
            print(f"  {build.name}: {entries:,} entries, {distinct:,} "
                  f"samples: median {seconds:.3f} s, "
                  f"{seconds / entries * 1e6:.2f} us per entry; peak RSS "
                  f"{mib(build.peak_kib)}")
    first, last = sizes[0], sizes[-1]
    for name, _ in args.builds:
        print(f"  {name}: per entry at {last:,} / per entry at {first:,}: "
              f"{per_entry[name, last] / per_entry[name, first]:.3f}")
    shutil.rmtree(directory)


def write_random_bank(path, total, seed):
    """A bank of 96 samples of random bytes, total bytes in all, back to
    back behind the table."""
    sizes = [total // 96] * 96
    sizes[-1] += total - sum(sizes)
    rng = random.Random(seed)
    table = bytearray(TABLE_SIZE)
    offset = TABLE_SIZE
    for slot, size in enumerate(sizes):
        table[slot * 8:slot * 8 + 8] = (offset.to_bytes(4, "big") +
                                        size.to_bytes(4, "big"))
        offset += size
    with open(path, "wb") as f:
        f.write(bytes(table) + rng.randbytes(total))


def pdxdump_page(args, work):
    """pdxdump --html beside pdxdump --json on the same bank: the page
    decodes every sample and embeds it, the report only reads the table."""
    directory = os.path.join(work, "page")
    os.makedirs(directory)
    total = args.page_total
    write_random_bank(os.path.join(directory, "bank.pdx"), total, 4)
    page = os.path.join(directory, "bank.html")
    json_out = os.path.join(directory, "bank.json")
    contenders = [
        Contender("pdxdump --html", [args.pdxdump, "--html", "bank.html",
                                     "bank.pdx"], page,
                  os.path.join(directory, "report.txt"), directory),
        Contender("pdxdump --json", [args.pdxdump, "--json", "bank.pdx"],
                  json_out, json_out, directory),
    ]
    race(contenders, args.rounds, args.page_repeat)
    report_race(f"(e) pdxdump on 96 samples, {total / MIB:g} MiB in all: "
                f"the page beside the JSON report, median of "
                f"{args.page_repeat} runs a round", contenders)
    html, json = (statistics.median(c.times) for c in contenders)
    bound = 3 * json + 0.2
    page_size = os.path.getsize(page)
    bank_size = TABLE_SIZE + total
    print(f"  3 x --json + 0.2 s = {bound * 1000:.1f}ms: --html "
          f"{'within' if html <= bound else 'over'}; page "
          f"{page_size / MIB:.2f} MiB, {page_size / bank_size:.2f} times "
          f"the bank")
    shutil.rmtree(directory)


def pdxdump_memory(args, work):
    """A big bank drawn as a page, beside the same bank extracted with its
    WAV files: both write as they decode, so both keep within a bound that
    does not grow with the bank."""
    directory = os.path.join(work, "memory")
    os.makedirs(directory)
    total = args.memory_total
    write_random_bank(os.path.join(directory, "bank.pdx"), total, 6)
    parts = os.path.join(directory, "parts")
    contenders = [
        Contender("--html FILE", [args.pdxdump, "--html", "bank.html",
                                  "bank.pdx"],
                  os.path.join(directory, "bank.html"),
                  os.path.join(directory, "report.txt"), directory),
        Contender("--extract --wav", [args.pdxdump, "--extract", "parts",
                                      "--wav", "bank.pdx"],
                  parts, os.path.join(directory, "report.txt"), directory),
    ]
    race(contenders, args.memory_rounds)
    report_race(f"(f) pdxdump on 96 samples, {total / MIB:g} MiB in all: "
                f"the page beside --extract --wav", contenders)
    for c in contenders:
        if c.peak_kib is not None:
            print(f"  {c.name} peak RSS {mib(c.peak_kib)}: "
                  f"{'within' if c.peak_kib <= 16 * 1024 else 'over'} 16 MiB")
    shutil.rmtree(directory)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--small", action="store_true",
                        help="small sizes, to prove the script works")
    parser.add_argument("--adpack",
                        default=os.path.join(ROOT, "build/default/adpack"))
    parser.add_argument("--pdxdump",
                        default=os.path.join(ROOT, "build/default/pdxdump"))
    parser.add_argument("--work", help="scratch directory (default: a new "
                        "one under $TMPDIR)")
    parser.add_argument("--also", action="append", default=[],
                        metavar="NAME=PATH",
                        help="another build of adpack to race beside it")
    parser.add_argument("--rounds", type=int)
    parser.add_argument("--only", action="append", choices="abcdefgh",
                        help="run only this scenario (again for more)")
    args = parser.parse_args()
    args.builds = [("adpack", args.adpack)]
    for also in args.also:
        name, _, path = also.partition("=")
        if not name or not path:
            sys.exit(f"--also wants NAME=PATH, not {also}")
        args.builds.append((name, path))
    args.builds = [(name, os.path.abspath(path)) for name, path in args.builds]
    args.pdxdump = os.path.abspath(args.pdxdump)
    for name, path in args.builds + [("pdxdump", args.pdxdump)]:
        if not os.access(path, os.X_OK):
            sys.exit(f"no {name} at {path}: build it first "
                     f"(cmake --workflow --preset test)")
    if args.small:
        args.large_total, args.lines, args.tiny_repeat = 4 * MIB, 20000, 10
        args.name_entries = [1000, 20000]
        args.page_total, args.page_repeat = MIB // 2, 1
        args.memory_total, args.memory_rounds = 4 * MIB, 1
        args.case_samples = [300]
        args.rounds = args.rounds or 3
    else:
        args.large_total, args.lines, args.tiny_repeat = 256 * MIB, 1000000, 50
        args.name_entries = [10000, 200000]
        args.page_total, args.page_repeat = 2 * MIB, 5
        args.memory_total, args.memory_rounds = 64 * MIB, 3
        args.case_samples = [2000, 8000]
        args.rounds = args.rounds or 7

    work = tempfile.mkdtemp(prefix="adpack-bench-", dir=args.work)
    try:
        for name, path in args.builds:
            print(f"{name}: {path}")
        print(f"rounds: {args.rounds}; scratch: {work}")
        wanted = args.only or "abcdefgh"
        if "a" in wanted:
            big_samples(args, work, build_baseline(work))
        if "b" in wanted:
            long_list(args, work)
        if "c" in wanted:
            tiny_bank(args, work)
        if "d" in wanted:
            many_names(args, work)
        if "e" in wanted:
            pdxdump_page(args, work)
        if "f" in wanted:
            pdxdump_memory(args, work)
        if "g" in wanted:
            names_in_another_case(args, work)
        if "h" in wanted:
            new_and_replaced_bank(args, work, build_baseline(work))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
