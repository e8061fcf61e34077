#!/usr/bin/env python3
"""Measures exprcalc against the floor and the C-library versions.

    measure.py BUILD_DIR SPAWNS

Instructions are counted by callgrind (user space, the whole process; it
misses the last few, in the block that ends with the exit call). Time is
the median wall time of SPAWNS runs of each program, interleaved, standard
input from a file, standard output to /dev/null; the harness's own cost per
spawn (posix_spawn and wait4 from Python) is inside every figure alike.
Peak memory is the process's high-water resident set (VmHWM) as it exits,
read under gdb: getrusage would count the spawning process's pages as well.
"""
import datetime
import os
import platform
import random
import re
import statistics
import subprocess
import sys
import tempfile
import time

build, spawns = sys.argv[1], int(sys.argv[2])
programs = {"exprcalc": "exprcalc-x86_64", "floor (only exits)": "floor",
            "floor + exprcalc's 17 calls": "calls",
            "C library, dynamic": "libc-dynamic", "C library, static": "libc-static",
            "iostreams, dynamic": "iostream-dynamic"}


def instructions(path, line):
    with tempfile.NamedTemporaryFile() as stdin:
        stdin.write(line)
        stdin.flush()
        stdin.seek(0)
        log = subprocess.run(["valgrind", "--tool=callgrind", "--callgrind-out-file=/dev/null", path],
                             stdin=stdin, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                             text=True).stderr
    return int(re.search(r"Collected : (\d+)", log)[1])


def peak_kib(path):
    with open(os.devnull, "rb") as stdin:
        gdb = subprocess.run(["gdb", "-q", "-batch", "-ex", "catch syscall exit exit_group",
                              "-ex", "run < /dev/null > /dev/null", "-ex", "info proc status", path],
                             stdin=stdin, capture_output=True, text=True).stdout
    return int(re.search(r"VmHWM:\s*(\d+) kB", gdb)[1])


def timings(paths):
    """Median microseconds per run, the programs' spawns interleaved."""
    times = {p: [] for p in paths}
    with tempfile.NamedTemporaryFile() as stdin:
        stdin.write(b"6554\n")
        stdin.flush()
        actions = [(os.POSIX_SPAWN_OPEN, 0, stdin.name, os.O_RDONLY, 0),
                   (os.POSIX_SPAWN_OPEN, 1, os.devnull, os.O_WRONLY, 0)]
        rng = random.Random(1)
        for _ in range(spawns):
            for path in rng.sample(paths, len(paths)):  # a new order each round: no fixed neighbour
                start = time.perf_counter_ns()
                pid = os.posix_spawn(path, [path], {}, file_actions=actions)
                _, status = os.waitpid(pid, 0)
                times[path].append(time.perf_counter_ns() - start)
                assert status == 0, path
    return {p: statistics.median(t) / 1000 for p, t in times.items()}


paths = {name: os.path.join(build, file) for name, file in programs.items()}
median = timings(list(paths.values()))
floor = median[paths["floor (only exits)"]]
cpu = re.search(r"model name\s*: (.*)", open("/proc/cpuinfo").read())
print(f"Measured {datetime.date.today()} on {platform.machine()}, {cpu[1] if cpu else 'unknown CPU'}, "
      f"{os.cpu_count()} cores, Linux {platform.release()}, with `bash bench/run.sh {spawns}`.\n")
print("| program | stripped size (bytes) | instructions, x = 3 | instructions, x = 6554 "
      "| median run (µs) | run time / floor | peak resident (KiB) |")
print("|---|---:|---:|---:|---:|---:|---:|")
for name, path in paths.items():
    counts = [instructions(path, line) for line in (b"3\n", b"6554\n")]
    print(f"| {name} | {os.path.getsize(path):,} | {counts[0]:,} | {counts[1]:,} "
          f"| {median[path]:.0f} | {median[path] / floor:.2f} | {peak_kib(path):,} |")


def size(file):
    path = os.path.join(build, file)
    return f"{os.path.getsize(path):,}" if os.path.exists(path) else "—"


targets = sorted({f.removeprefix("exprcalc-").removesuffix("-clang") for f in os.listdir(build)
                  if f.startswith("exprcalc-")})  # hexagon has only a Clang build
def version(compiler):
    """The compiler's major version, as the builds used it: GCC 12, Clang 14."""
    said = subprocess.run([compiler, "-dumpversion"], capture_output=True, text=True).stdout.strip()
    return said.split(".")[0] or "?"


print(f"\n| exprcalc, stripped size (bytes) | GCC {version('g++')} | Clang {version('clang++')} |\n|---|---:|---:|")
for target in targets:
    print(f"| `{target}` | {size(f'exprcalc-{target}')} | {size(f'exprcalc-{target}-clang')} |")
