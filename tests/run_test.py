#!/usr/bin/env python3
"""exprcalc end to end: run_test.py GROUP PROGRAM [EMULATOR ARGS...]

Natively strace traces the calls and injects faults; under an emulator, its
-strace log traces them, and strace injects faults into the emulator (see
emulated). The rows and the trace shorthand are in rows.py.
"""
import errno
import os
import random
import re
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

import common
from common import execute
from rows import ROWS, model, trace, word

PROGRAM, EMULATOR = sys.argv[2], sys.argv[3:]
CALL = re.compile(r"(?:\d+ )?(read|write|exit)\((\d+)(?:, ?\S+, ?(\d+))?\)"
                  r"(?: += (-?\d+)(?: errno=(\d+)| (E[A-Z]+))?)?")


def parse(log):
    calls = []
    for line in log.splitlines():
        if "execve(" in line:
            calls = []
        elif m := CALL.match(line):
            name, first, size, result, errno_number, errno_name = m.groups()
            if result is None:  # no result logged: the process ended inside the call
                result = "?"
            elif int(result) < 0:
                result = errno_name or errno.errorcode[int(errno_number)]
            calls.append(word(name, int(first), size and int(size), result))
    return " ".join(calls)


def emulated(command, stdin, inject):
    """Runs the program under its emulator with a fault; gives what run() gives.

    strace makes the emulator's call fail or fall short, and qemu hands the
    fault on to the program as its processor reports it, retrying nothing.
    -P limits strace, and its when=N, to the calls on the input and output
    files: the program's, not the emulator's own (its libraries, its log).
    """
    with tempfile.NamedTemporaryFile() as given, tempfile.NamedTemporaryFile() as taken:
        given.write(stdin)
        given.seek(0)  # the program reads and writes through these same file positions
        done = execute(["strace", "-f", "-qq", "-o", "/dev/null", "-P", given.name, "-P", taken.name,
                        f"-einject={inject}", *command], stdin=given, stdout=taken, stderr=subprocess.PIPE)
        taken.seek(0)
        return taken.read(), done.returncode, parse(done.stderr.decode())


def run(stdin=b"", redirect="", inject=None, stdout=subprocess.PIPE):
    """Runs the program once; gives its output, exit status and trace."""
    with tempfile.NamedTemporaryFile() as log:
        command = [*EMULATOR, "-strace", PROGRAM] if EMULATOR else [PROGRAM]
        if redirect:  # sh applies it, then execs: the trace starts at the last execve
            command = ["sh", "-c", f'exec "$@" {redirect}', "sh", *command]
        if EMULATOR and inject:
            return emulated(command, stdin, inject)
        if not EMULATOR:
            command = ["strace", "-qq", "-s0", "-esignal=none", "-o", log.name,
                       *([f"-einject={inject}"] if inject else []), *command]
        done = execute(command, input=stdin, stdout=stdout, stderr=subprocess.PIPE)
        return done.stdout or b"", done.returncode, parse((done.stderr if EMULATOR else log.read()).decode())


class Conformance(unittest.TestCase):
    faults = False

    def test_rows(self):
        for row in ROWS:
            if bool(row.inject) == self.faults and not row.leftover:
                with self.subTest(stdin=row.given, redirect=row.redirect, inject=row.inject):
                    self.assertEqual(run(row.given or b"", row.redirect, row.inject),
                                     (row.output, row.status, row.calls))


class Faults(Conformance):
    faults = True

    def test_closed_pipe_ends_the_run_by_sigpipe(self):
        reader, writer = os.pipe()
        os.close(reader)
        _, status, calls = run(b"3\n", stdout=writer)
        os.close(writer)
        # The one write fails, and the signal ends the run in it: qemu 7.2
        # logs the write's EPIPE, qemu 10 the call with no result.
        self.assertEqual(status, -13)
        self.assertIn(calls, ("w56=EPIPE", "w56=?"))


class Leftover(unittest.TestCase):
    def test_bytes_after_the_first_80_stay_for_the_next_reader(self):
        """The program's own calls are those of its row without a reader after it."""
        for row in ROWS:
            if row.leftover:
                done = execute(["sh", "-c", '"$@"; cat', "sh", *EMULATOR, PROGRAM], input=row.given,
                               capture_output=True)
                self.assertEqual((done.stdout, done.returncode), (row.output, row.status))


class Random(unittest.TestCase):
    def test_random_lines_match_the_model(self):
        """Each build its own lines, the same each run (docs/testing.md)."""
        rng = random.Random(f"2026 {os.path.basename(os.path.dirname(os.path.abspath(PROGRAM)))}")
        pieces = [lambda: bytes(rng.choices(b"0123456789", k=rng.randint(1, 12))),
                  lambda: bytes([rng.choice(b"\0\r\n\t -+x")]),
                  lambda: bytes(rng.randrange(0x80, 0x100) for _ in range(rng.randint(1, 3))),
                  lambda: b"0" * rng.randint(60, 90) + b"12345"]
        for _ in range(200 if EMULATOR else 3000):
            line = b"".join(rng.choice(pieces)() for _ in range(rng.randint(0, 5))) + b"\n" * rng.randint(0, 1)
            done = execute([*EMULATOR, PROGRAM], input=line, capture_output=True)
            self.assertEqual((done.stdout, done.returncode), (model(line), 0), line)


class Trace(unittest.TestCase):
    def test_show_run_gives_the_calls_and_the_numbers_of_the_guides_table(self):
        """scripts/show.py run: the program's calls given 3, and before each
        the number docs/kernel.md gives it on this processor. The script
        compiles the number from the header, so the table is held to the
        header; natively, strace -n holds both to the kernel's own."""
        done = subprocess.run([sys.executable, os.path.join(common.ROOT, "scripts", "show.py"), "run", "--build",
                               os.path.dirname(os.path.abspath(PROGRAM))], capture_output=True, text=True, timeout=120)
        self.assertEqual(done.returncode, 0, done.stderr)
        guide = Path(common.ROOT, "docs", "kernel.md").read_text(encoding="utf-8")
        number = r"(0x[0-9a-f]+|\d+)"
        table = {name: dict(zip(("read", "write", "exit"), (int(n, 0) for n in numbers))) for name, *numbers in
                 re.findall(rf"^\| `(\w+)` \| [^|]* \| {number} \| {number} \| {number} \|$", guide, re.M)}
        numbers = table[os.environ["EXPRCALC_PROCESSOR"]]
        calls, shown = [], {}
        for line in done.stdout.splitlines()[2:]:
            if m := re.match(r"\s*(\S+)\s+(read|write|exit)\((\d+)(?:,.*?,\s*(\d+))?\)(?:\s*= (\S+))?", line):
                number, name, fd, size, result = m.groups()
                calls.append(word(name, int(fd), size and int(size), result))
                shown.setdefault(name, set()).add(int(number, 0))
        self.assertEqual(" ".join(calls), trace(2, 625))
        self.assertEqual(shown, {name: {number} for name, number in numbers.items()})
        if not EMULATOR:
            with tempfile.NamedTemporaryFile() as log:
                execute(["strace", "-n", "-qq", "-o", log.name, PROGRAM], input=b"3\n", capture_output=True)
                kernels = set(re.findall(r"^\[\s*(\d+)\] (read|write|exit)\(", log.read().decode(), re.M))
            self.assertEqual(kernels, {(str(number), name) for name, number in numbers.items()})


class Binary(unittest.TestCase):
    def setUp(self):
        self.headers = execute(["readelf", "-hlW", PROGRAM], capture_output=True, text=True).stdout

    def test_static_with_nothing_executable_that_is_writable(self):
        self.assertRegex(self.headers, r"Type:\s+EXEC")
        segments = re.findall(r"^\s+([A-Z_]+)\s.*\s([R ][W ][E ])\s+(?:0x)?[0-9a-f]+$", self.headers, re.M)
        self.assertFalse({kind for kind, _ in segments} & {"INTERP", "DYNAMIC"})
        self.assertIn(("GNU_STACK", "RW "), segments)
        self.assertFalse([kind for kind, flags in segments if "W" in flags and "E" in flags])

    def test_no_two_segments_share_a_page(self):
        """Not even a page of the largest size a kernel that runs this
        processor's programs may use: the second mapping would replace the
        first (the code, with 16 KiB pages on arm64)."""
        page = int(os.environ.get("LARGEST_PAGE", "4096"))
        loads = re.findall(r"^\s+LOAD\s+0x\S+\s+(0x\S+)\s+0x\S+\s+0x\S+\s+(0x\S+)", self.headers, re.M)
        pages = [set(range(int(start, 16) // page, (int(start, 16) + int(size, 16) - 1) // page + 1))
                 for start, size in loads]
        self.assertEqual(len(pages), 2)
        self.assertFalse(pages[0] & pages[1], f"{loads} share a page of {page} bytes")


if __name__ == "__main__":
    group = sys.argv[1]
    cases = {"conformance": Conformance, "faults": Faults, "leftover": Leftover,
             "random": Random, "trace": Trace, "binary": Binary}[group]
    common.main(group, os.path.dirname(os.path.abspath(PROGRAM)), cases,
                None if cases is Binary else common.unrunnable(PROGRAM, EMULATOR))
