#!/usr/bin/env python3
"""exprcalc on a real Linux kernel: kernel_test.py KERNEL PROCESSOR PROGRAM

Each row of rows.py that a shell can set up, on Debian's kernel flavour
KERNEL (guest.py): the exit status, the output's checksum, and the calls the
kernel's own tracepoints saw. `--boot-once RECORDS BUILD_DIR...` boots each
kernel once with the builds' programs and records what each did
(EXPRCALC_BOOTS=RECORDS then has their tests judge the records).
"""
import errno
import hashlib
import json
import os
import re
import subprocess
import sys
import time
import unittest

import common
import guest
from archive import Unavailable
from rows import ROWS, word

# What the kernel saw, by its raw_syscalls tracepoints (guest.py).
ENTER = re.compile(r"sys_enter: NR (\d+) \((\w+), \w+, (\w+)")
EXIT = re.compile(r"sys_exit: NR (\d+) = (-?\d+)")

# The numbers of read, write, exit and execve of each processor's programs:
# the kernel's own tables, not the program's.
NUMBERS = {
    "x86_64": (0, 1, 60, 59), "x32": tuple(0x40000000 | n for n in (0, 1, 60, 520)),
    "aarch64 riscv64 loongarch64": (63, 64, 93, 221), "i386 armhf armel ppc64el s390x": (3, 4, 1, 11),
    "mipsel": (4003, 4004, 4001, 4011), "mips64el": (5000, 5001, 5058, 5057), "mipsn32el": (6000, 6001, 6058, 6057),
}
NUMBERS = {processor: numbers for processors, numbers in NUMBERS.items() for processor in processors.split()}
# busybox, built for the kernel's architecture, starts the program with its
# own execve, and a 64-bit kernel reports the execve that starts a 32-bit
# program by either ABI's number: the kernel's as it enters, the program's
# as it leaves. No ABI's read, write or exit has another's execve number.
EXECVES = {numbers[3] for numbers in NUMBERS.values()}


def calls(lines, processor):
    """The calls after the last execve, in the shorthand of rows.py. A failed
    call's result is the negated errno on every processor, also where a flag
    register tells the program of failure (mips, powerpc): raw_syscalls
    shows what the kernel meant."""
    read, write, exit, _ = NUMBERS[processor]
    words, pending = [], None
    for line in lines:
        if m := ENTER.search(line):
            number, fd, count = int(m[1]), int(m[2], 16), int(m[3], 16)
            if number == exit:
                words.append(word("exit", fd))
            else:
                pending = number, fd, count
        elif m := EXIT.search(line):
            if int(m[1]) in EXECVES:
                words = []  # the program starts
            elif pending:
                number, fd, count = pending
                value = int(m[2])
                taken = errno.errorcode[-value] if -4096 < value < 0 else str(value)
                words.append(word({read: "read", write: "write"}.get(number, f"call{number}"), fd, count, taken))
            pending = None
    return " ".join(words)


# Every row that needs no injected fault, as the guest's shell runs it: the
# input and the command. A run that loops (a failure taken for a partial
# write, say) is killed after 20 seconds, and its status tells.
RUNS = [row for row in ROWS if not row.inject]
GUEST_ROWS = [(row.given or b"", ("{ %s; cat; }" if row.leftover else "%s") % "timeout -s KILL 20 @program@"
               + f" <@input@ >/out {row.redirect}") for row in RUNS]


def known(flavour):
    """The flavour, if tests/guest.py knows how to boot it: a toolchain file
    that names another (a typo, or one dropped from the table) fails its
    test, and never passes for a processor with no kernel."""
    if flavour not in guest.KERNELS:
        raise KeyError(f"no kernel flavour {flavour!r} in tests/guest.py's KERNELS ({', '.join(guest.KERNELS)})")
    return flavour


def boot_once(records, builds):
    """Boots each kernel that the builds' kernel tests name once, with every
    program those tests would run on it, two kernels at a time, and records
    for each program what its test would judge: the guest's lines, or why
    there are none."""
    wanted = {}  # flavour: [program]
    for build in builds:
        listed = subprocess.run(["ctest", "--test-dir", build, "--show-only=json-v1", "-R", "^kernel-"],
                                capture_output=True, text=True, check=True).stdout
        for test in json.loads(listed)["tests"]:
            flavour, _, program = test["command"][-3:]
            wanted.setdefault(known(flavour), []).append(program)

    def one(flavour):
        programs = wanted[flavour]
        started = time.monotonic()
        try:
            results = [{"lines": lines} for lines in guest.boot(flavour, programs, GUEST_ROWS)]
        except Unavailable as reason:
            results = [{"skip": str(reason)}] * len(programs)
        for program, result in zip(programs, results):
            common.write_record(records, program, result, flavour)
        return f"{flavour}: {len(programs)} programs, {time.monotonic() - started:.0f} s" + (
            f", not booted: {results[0]['skip']}" if "skip" in results[0] else "")

    return common.two_at_a_time(one, sorted(wanted, key=lambda f: -len(wanted[f])))


class OnKernel(unittest.TestCase):
    flavour, processor, program = sys.argv[1:4]
    lines = []  # what the guest printed

    def test_every_row(self):
        self.assertTrue("@@ end" in self.lines,
                        "the guest did not finish; its console's last lines:\n" + "\n".join(self.lines[-30:]))
        for n, row in enumerate(RUNS):
            with self.subTest(command=GUEST_ROWS[n][1], input=row.given):
                reported = [line.split()[3:] for line in self.lines if line.startswith(f"@@ {n} status ")]
                self.assertEqual(reported, [[str(row.status), hashlib.md5(row.output).hexdigest()]])
                traced = (line for line in self.lines if line.startswith(f"@@ {n} trace "))
                self.assertEqual(calls(traced, self.processor), row.calls)
        print(f"{len(RUNS)} rows on {self.flavour}")


def guest_lines(flavour, program):
    """What the guest printed for the program: from the matrix's one boot of
    this kernel, or from a boot of its own."""
    if record := common.read_record("EXPRCALC_BOOTS", program, flavour):
        if "skip" in record:
            raise Unavailable(record["skip"])
        print(f"booted once with the other programs for {flavour}")
        return record["lines"]
    return guest.boot(flavour, [program], GUEST_ROWS)[0]


if __name__ == "__main__":
    if sys.argv[1:2] == ["--boot-once"]:
        sys.exit(not boot_once(sys.argv[2], sys.argv[3:]))
    # With no flavour ("none"), the one test "kernel" says so.
    name = "kernel" if sys.argv[1] == "none" else f"kernel-{known(sys.argv[1])}"
    why_not = name == "kernel" and f"Debian ships no kernel for {sys.argv[2]} in an archive this machine can reach"
    try:
        OnKernel.lines = [] if why_not else guest_lines(OnKernel.flavour, OnKernel.program)
    except Unavailable as reason:
        why_not = str(reason)
    common.main(name, os.path.dirname(os.path.abspath(sys.argv[3])), OnKernel, why_not)
