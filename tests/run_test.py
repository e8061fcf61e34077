#!/usr/bin/env python3
"""exprcalc run end to end, the way a user or a script runs it.

    run_test.py GROUP PROGRAM [EMULATOR ARGS...]

Natively every system call is traced by strace, which can also make a call
fail or fall short. Under an emulator (a cross build) the emulator's own
-strace log stands in, and the rows that need an injected fault are skipped.

A trace is written in shorthand, one word per call after the program starts:
  w56        write(1, 56 bytes), all taken    w56=10 / w56=EIO  another result
  r=2        read(0, 80 bytes) giving 2       r=EINTR           an error
  x0         exit(0)
"""
import errno
import os
import random
import re
import subprocess
import sys
import tempfile
import unittest

PROGRAM, EMULATOR = sys.argv[2], sys.argv[3:]
EXPR = "Вычисление выражения: y = (10x - 5)^2".encode()
PROMPT = "Введите значение x: ".encode()
RESULT = "Результат: ".encode()


def out(y):
    return EXPR + b"\n" + PROMPT + RESULT + b"%d\n" % y


def model(line):
    """An independent model of one run: x is the leading digits of the first 80 bytes."""
    digits = re.match(rb"[0-9]*", line[:80])[0]
    return out((10 * int(digits or b"0") - 5) ** 2 % 2**32)


def trace(read, y):
    """The calls of a run that meets no fault."""
    return f"w56 w1 w35 r={read} w20 " + "w1 " * (len(str(y)) + 1) + "x0"


def run(stdin=b"", redirect="", inject=None, stdout=subprocess.PIPE):
    """Runs the program once; gives its output, exit status and trace."""
    with tempfile.NamedTemporaryFile() as log:
        if EMULATOR:
            tracer, program = [], [*EMULATOR, "-strace", PROGRAM]
        else:
            tracer = ["strace", "-qq", "-s0", "-esignal=none", "-o", log.name]
            tracer += [f"-einject={inject}"] if inject else []
            program = [PROGRAM]
        if redirect:  # sh applies it, then execs: the trace starts at the last execve
            program = ["sh", "-c", f'exec "$@" {redirect}', "sh", *program]
        done = subprocess.run([*tracer, *program], input=stdin, stdout=stdout, stderr=subprocess.PIPE)
        text = done.stderr.decode() if EMULATOR else log.read().decode()
    return done.stdout or b"", done.returncode, parse(text)


CALL = re.compile(r"(?:\d+ )?(read|write|exit)\((\d+)(?:, ?\S+, ?(\d+))?\)"
                  r"(?: += (-?\d+)(?: errno=(\d+)| (E[A-Z]+))?)?")


def parse(text):
    calls = []
    for line in text.splitlines():
        if "execve(" in line:
            calls = []
        elif m := CALL.match(line):
            name, first, size, result, errno_number, errno_name = m.groups()
            if int(result or 0) < 0:
                result = errno_name or errno.errorcode[int(errno_number)]
            if name == "exit":
                calls.append(f"x{first}")
            elif name == "read":
                calls.append(f"r={result}")
            else:
                calls.append(f"w{size}" + ("" if result == size else f"={result}"))
    return " ".join(calls)


# (input line or None for a redirected one, redirection, fault to inject,
#  expected output, exit status, trace)
ROWS = [
    (b"3\n", "", None, out(625), 0, trace(2, 625)),
    (b"3", "", None, out(625), 0, trace(1, 625)),
    (b"", "", None, out(25), 0, trace(0, 25)),
    (b"\n", "", None, out(25), 0, trace(1, 25)),
    (b"0\n", "", None, out(25), 0, trace(2, 25)),
    (b"1\n", "", None, out(25), 0, trace(2, 25)),
    (b"-3\n", "", None, out(25), 0, trace(3, 25)),
    (b"+3\n", "", None, out(25), 0, trace(3, 25)),
    (b" 3\n", "", None, out(25), 0, trace(3, 25)),
    (b"007\n", "", None, out(4225), 0, trace(4, 4225)),
    (b"12x\n", "", None, out(13225), 0, trace(4, 13225)),
    (b"3\r\n", "", None, out(625), 0, trace(3, 625)),
    (b"3\x005\n", "", None, out(625), 0, trace(4, 625)),
    ("Ж7\n".encode(), "", None, out(25), 0, trace(4, 25)),
    (b"6554\n", "", None, out(4294836225), 0, trace(5, 4294836225)),
    (b"6555\n", "", None, out(1179729), 0, trace(5, 1179729)),
    (b"429496730\n", "", None, out(1), 0, trace(10, 1)),
    (b"4294967296\n", "", None, out(25), 0, trace(11, 25)),
    (b"1" * 80, "", None, out(583267201), 0, trace(80, 583267201)),
    (b"9" * 80 + b"123456\n", "", None, out(225), 0, trace(80, 225)),
    # Output or input that is not there: the run goes on, but says it failed.
    (b"3\n", ">&-", None, b"", 1, "w56=EBADF w1=EBADF w35=EBADF r=2 w20=EBADF"
     " w1=EBADF w1=EBADF w1=EBADF w1=EBADF x1"),
    (b"3\n", ">/dev/full", None, b"", 1, "w56=ENOSPC w1=ENOSPC w35=ENOSPC r=2"
     " w20=ENOSPC w1=ENOSPC w1=ENOSPC w1=ENOSPC w1=ENOSPC x1"),
    (None, "<&-", None, out(25), 1, trace("EBADF", 25).replace("x0", "x1")),
    (None, "</", None, out(25), 1, trace("EISDIR", 25).replace("x0", "x1")),
    (None, "</dev/null", None, out(25), 0, trace(0, 25)),
    # Faults: a short write is continued from where it stopped; an interrupted
    # call is made again; a write that fails or takes nothing is not retried.
    (b"3\n", "", "write:retval=10:when=1", out(625)[10:], 0, "w56=10 w46 " + trace(2, 625)[4:]),
    (b"3\n", "", "write:error=EINTR:when=3", out(625), 0, trace(2, 625).replace("w35", "w35=EINTR w35")),
    (b"3\n", "", "read:error=EINTR:when=1", out(625), 0, trace(2, 625).replace("r=2", "r=EINTR r=2")),
    (b"3\n", "", "write:error=EIO:when=6", out(625).replace(b"625", b"65"), 1,
     "w56 w1 w35 r=2 w20 w1 w1=EIO w1 w1 x1"),
    (b"3\n", "", "write:retval=0:when=1", out(625)[56:], 1, "w56=0 " + trace(2, 625)[4:-1] + "1"),
    (b"3\n", "", "read:error=EIO:when=1", out(25), 1, trace("EIO", 25).replace("x0", "x1")),
]


class Conformance(unittest.TestCase):
    faults = False

    def test_rows(self):
        for stdin, redirect, inject, expected, status, calls in ROWS:
            if bool(inject) != self.faults:
                continue
            with self.subTest(stdin=stdin, redirect=redirect, inject=inject):
                if inject and EMULATOR:
                    self.skipTest("faults are injected by strace, which cannot see emulated calls")
                self.assertEqual(run(stdin, redirect, inject), (expected, status, calls))


class Faults(Conformance):
    faults = True

    def test_closed_pipe_ends_the_run_by_sigpipe(self):
        reader, writer = os.pipe()
        os.close(reader)
        try:
            _, status, calls = run(b"3\n", stdout=writer)
        finally:
            os.close(writer)
        self.assertEqual((status, calls), (-13, "w56=EPIPE"))


class Leftover(unittest.TestCase):
    def test_bytes_after_the_first_80_stay_for_the_next_reader(self):
        line = b"9" * 80 + b"123456\n"
        done = subprocess.run(["sh", "-c", '"$@"; cat', "sh", *EMULATOR, PROGRAM],
                              input=line, capture_output=True)
        self.assertEqual(done.stdout, model(line) + b"123456\n")


class Random(unittest.TestCase):
    def test_random_lines_match_the_model(self):
        rng = random.Random(2026)
        pieces = [lambda: bytes(rng.choices(b"0123456789", k=rng.randint(1, 12))),
                  lambda: bytes([rng.choice(b"\0\r\n\t -+x")]),
                  lambda: bytes(rng.randrange(0x80, 0x100) for _ in range(rng.randint(1, 3))),
                  lambda: b"0" * rng.randint(60, 90) + b"12345"]
        for _ in range(500 if EMULATOR else 3000):
            line = b"".join(rng.choice(pieces)() for _ in range(rng.randint(0, 5)))
            line += b"\n" * rng.randint(0, 1)
            done = subprocess.run([*EMULATOR, PROGRAM], input=line, capture_output=True)
            self.assertEqual((done.stdout, done.returncode), (model(line), 0), line)


class Binary(unittest.TestCase):
    def test_static_with_nothing_executable_that_is_writable(self):
        headers = subprocess.run(["readelf", "-hlW", PROGRAM], capture_output=True,
                                 text=True, check=True).stdout
        self.assertRegex(headers, r"Type:\s+EXEC")
        segments = re.findall(r"^\s+([A-Z_]+)\s.*\s([R ][W ][E ])\s+0x[0-9a-f]+$", headers, re.M)
        self.assertEqual({t for t, _ in segments} & {"INTERP", "DYNAMIC"}, set())
        self.assertIn(("GNU_STACK", "RW "), segments)
        for kind, flags in segments:
            self.assertFalse("W" in flags and "E" in flags, f"{kind} is writable and executable")


if __name__ == "__main__":
    group = {"conformance": Conformance, "faults": Faults, "leftover": Leftover,
             "random": Random, "binary": Binary}[sys.argv[1]]
    suite = unittest.TestLoader().loadTestsFromTestCase(group)
    sys.exit(not unittest.TextTestRunner(verbosity=2).run(suite).wasSuccessful())
